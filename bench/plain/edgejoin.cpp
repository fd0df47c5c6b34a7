// The straightforward loops of edgejoin, for comparison in the benchmarks: a counting
// pass and a filling pass over every pair, i then j. Inputs are trusted.
#include <stdint.h>

#include "mex_api.h"

void mexFunction(int, mxArray *plhs[], int, const mxArray *prhs[])
{
    int32_t p = (int32_t)mxGetM(prhs[0]);
    int32_t q = (int32_t)mxGetM(prhs[1]);
    const double *e1 = mxGetPr(prhs[0]);
    const double *e2 = mxGetPr(prhs[1]);
    int32_t n = 0;
    for (int32_t i = 0; i < p; ++i)
        for (int32_t j = 0; j < q; ++j)
            if (e1[i + (int64_t)p] == e2[j])
                ++n;
    plhs[0] = mxCreateDoubleMatrix_700(n, 3, mxREAL);
    plhs[1] = mxCreateDoubleMatrix_700(n, 2, mxREAL);
    double *e = mxGetPr(plhs[0]);
    double *w = mxGetPr(plhs[1]);
    int64_t k = 0;
    for (int32_t i = 0; i < p; ++i)
        for (int32_t j = 0; j < q; ++j)
            if (e1[i + (int64_t)p] == e2[j]) {
                e[k] = e1[i];
                e[k + n] = e2[j + (int64_t)q];
                e[k + 2 * (int64_t)n] = 0.0;
                w[k] = e1[i + 2 * (int64_t)p];
                w[k + n] = e2[j + 2 * (int64_t)q];
                ++k;
            }
}
