// The plain loops of edgejoin, for comparison in the benchmarks: the reference's
// counting and filling passes over every pair, i then j. Inputs are trusted.
#include "mex_api.h"

#include "../../tests/reference.h"

void mexFunction(int, mxArray *plhs[], int, const mxArray *prhs[])
{
    const uint64_t p = mxGetM(prhs[0]), q = mxGetM(prhs[1]);
    const double *e1 = mxGetPr(prhs[0]), *e2 = mxGetPr(prhs[1]);
    const uint64_t n = reference::edgejoin::count(e1, p, e2, q);
    plhs[0] = mxCreateDoubleMatrix_700((int)n, 3, mxREAL);
    plhs[1] = mxCreateDoubleMatrix_700((int)n, 2, mxREAL);
    reference::edgejoin::fill(e1, p, e2, q, mxGetPr(plhs[0]), mxGetPr(plhs[1]), n);
}
