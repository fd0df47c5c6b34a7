// [E, W] = edgejoin(E1, E2)
//
// Joins every edge (a, b, v) of E1 to every edge (b, c, u) of E2 whose first node
// equals b, giving the edge (a, c, 0) in E and the values (v, u) in W. Rows follow
// E1's order, then E2's. Nodes match by IEEE equality: -0 matches +0, NaN matches
// nothing.
#include <stdint.h>

#include "mex_api.h"

enum { IN_E1, IN_E2, IN_END };
enum { OUT_E, OUT_W, OUT_END };

// Number of matching pairs, or -1 once it passes 2^31-1, the most rows the host
// can create.
static int64_t count_joins(const double *second1, uint64_t p, const double *first2,
                           uint64_t q)
{
    int64_t joins = 0;
    for (uint64_t i = 0; i < p; ++i) {
        const double key = second1[i];
        int64_t matches = 0;
        for (uint64_t j = 0; j < q; ++j)
            matches += first2[j] == key;
        joins += matches;
        if (joins > INT32_MAX)
            return -1;
    }
    return joins;
}

static void fill_joins(const double *e1, uint64_t p, const double *e2, uint64_t q,
                       double *e, double *w, uint64_t n)
{
    uint64_t k = 0;
    for (uint64_t i = 0; i < p; ++i) {
        const double key = e1[i + p];
        for (uint64_t j = 0; j < q; ++j) {
            if (e2[j] == key) {
                e[k] = e1[i];
                e[k + n] = e2[j + q];
                e[k + 2 * n] = 0.0;
                w[k] = e1[i + 2 * p];
                w[k + n] = e2[j + 2 * q];
                ++k;
            }
        }
    }
}

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    // Check the arguments; each test queries E2 only when E1 passes
    if (nlhs != OUT_END || nrhs != IN_END)
        mexErrMsgTxt("Needs 2 inputs and 2 outputs");
    const mxArray *E1 = prhs[IN_E1];
    const mxArray *E2 = prhs[IN_E2];
    if (!mxIsDouble(E1) || !mxIsDouble(E2))
        mexErrMsgTxt("Inputs need to be double type");
    if (mxIsSparse(E1) || mxIsSparse(E2))
        mexErrMsgTxt("Inputs need to be full matrices");
    if (mxGetN(E1) != 3 || mxGetN(E2) != 3)
        mexErrMsgTxt("Inputs need to be nEdges x 3 matrices");
    if (mxGetNumberOfDimensions_700(E1) != 2 || mxGetNumberOfDimensions_700(E2) != 2)
        mexErrMsgTxt("Inputs need to be 2-D matrices");

    // Get the data and count the joins
    uint64_t p = mxGetM(E1);
    uint64_t q = mxGetM(E2);
    const double *e1 = mxGetPr(E1);
    const double *e2 = mxGetPr(E2);
    int64_t joins = count_joins(e1 + p, p, e2, q);
    if (joins < 0)
        mexErrMsgTxt("Inputs need to give at most 2^31-1 joined edges");

    // Create the outputs
    plhs[OUT_E] = mxCreateDoubleMatrix_700((int)joins, 3, mxREAL);
    plhs[OUT_W] = mxCreateDoubleMatrix_700((int)joins, 2, mxREAL);
    double *e = mxGetPr(plhs[OUT_E]);
    double *w = mxGetPr(plhs[OUT_W]);

    // Do the job
    fill_joins(e1, p, e2, q, e, w, (uint64_t)joins);
}
