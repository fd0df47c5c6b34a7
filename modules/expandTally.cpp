// [L, F] = expandTally(c)
//
// Expands counts into an index list: L holds position k (of c, read column by column)
// as many times as c(k), truncated toward zero, says; F is the product of the counts'
// factorials, one running product multiplied by 1, 2, ..., c(k) for k in order.
#include <stdint.h>

#include "mex_api.h"

enum { IN_C, IN_END };
enum { OUT_L, OUT_F, OUT_END };

// Sum of the counts, or -1 when a count lies outside 0..2^31-1 (NaN and infinities
// included) and -2 when the sum does. Each element's range is known before it is
// converted.
static int64_t total_count(const double *c, int64_t n)
{
    int64_t total = 0;
    for (int64_t k = 0; k < n; ++k) {
        if (!(c[k] > -1.0 && c[k] < 2147483648.0))
            return -1;
        total += (int32_t)c[k];
        if (total > INT32_MAX)
            return -2;
    }
    return total;
}

// Writes c(k) copies of k for each k in order, and multiplies *f by 1..c(k).
static void expand(const double *c, int64_t n, double *list, double *f)
{
    double product = *f;
    int64_t w = 0;
    for (int64_t k = 0; k < n; ++k) {
        int32_t count = (int32_t)c[k];
        double position = (double)(k + 1);
        for (int32_t l = 0; l < count; ++l)
            list[w + l] = position;
        if (count > 0)
            w += count;
        // Multiplying by 1, or multiplying Inf, leaves the product unchanged.
        for (int32_t l = 2; l <= count && product != __builtin_inf(); ++l)
            product = product * (double)l;
    }
    *f = product;
}

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    // Check the arguments
    if (nlhs != OUT_END || nrhs != IN_END)
        mexErrMsgTxt("Needs 1 inputs and 2 outputs");
    const mxArray *C = prhs[IN_C];
    if (!mxIsDouble(C))
        mexErrMsgTxt("Inputs needs to be double type");
    if (mxIsSparse(C))
        mexErrMsgTxt("Input needs to be a full matrix");

    // Get the counts and their total
    const double *c = mxGetPr(C);
    size_t elements = mxGetNumberOfElements(C);
    if (elements > INT32_MAX)
        mexErrMsgTxt("Input needs to have at most 2^31-1 elements");
    int64_t n = (int64_t)elements;
    int64_t total = total_count(c, n);
    if (total == -1)
        mexErrMsgTxt("Input counts need to be between 0 and 2^31-1");
    if (total == -2)
        mexErrMsgTxt("Input counts need to sum to at most 2^31-1");

    // Create the outputs
    plhs[OUT_L] = mxCreateDoubleMatrix_700(1, (int)total, mxREAL);
    plhs[OUT_F] = mxCreateDoubleMatrix_700(1, 1, mxREAL);
    double *list = mxGetPr(plhs[OUT_L]);
    double *f = mxGetPr(plhs[OUT_F]);
    *f = 1.0;

    // Do the job
    expand(c, n, list, f);
}
