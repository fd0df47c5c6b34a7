// The straightforward loops of permanent, for comparison in the benchmarks: products
// in column order from 1.0, the sum in row order from 0. Inputs are trusted.
#include <stdint.h>

#include "mex_api.h"

void mexFunction(int, mxArray *plhs[], int, const mxArray *prhs[])
{
    const double *a = mxGetPr(prhs[0]);
    const double *p = mxGetPr(prhs[1]);
    uint64_t rows = mxGetM(prhs[1]);
    int n = (int)mxGetN(prhs[1]);
    plhs[0] = mxCreateDoubleMatrix_700(1, 1, mxREAL);
    double sum = 0.0;
    for (uint64_t j = 0; j < rows; ++j) {
        double product = 1.0;
        for (int k = 0; k < n; ++k) {
            int32_t c = (int32_t)(p[j + (uint64_t)k * rows] - 1.0);
            product = product * a[(uint64_t)k + (uint64_t)c * (uint64_t)n];
        }
        sum = product + sum;
    }
    *mxGetPr(plhs[0]) = sum;
}
