// The straightforward loops of expandTally, for comparison in the benchmarks: a
// totalling pass, then the list and one running product 1*1..c(1)*1..c(2)...
// Inputs are trusted.
#include <stdint.h>

#include "mex_api.h"

void mexFunction(int, mxArray *plhs[], int, const mxArray *prhs[])
{
    const double *c = mxGetPr(prhs[0]);
    int32_t n = (int32_t)mxGetNumberOfElements(prhs[0]);
    int32_t total = 0;
    for (int32_t k = 0; k < n; ++k)
        total += (int32_t)c[k];
    plhs[0] = mxCreateDoubleMatrix_700(1, total, mxREAL);
    plhs[1] = mxCreateDoubleMatrix_700(1, 1, mxREAL);
    double *list = mxGetPr(plhs[0]);
    double *f = mxGetPr(plhs[1]);
    double product = 1.0;
    int32_t w = 0;
    for (int32_t k = 0; k < n; ++k) {
        int32_t count = (int32_t)c[k];
        for (int32_t l = 1; l <= count; ++l) {
            list[w++] = (double)(k + 1);
            product = product * (double)l;
        }
    }
    *f = product;
}
