// The plain loops of expandTally, for comparison in the benchmarks: the reference's
// totalling pass, counts trusted, then its list and running product.
#include "mex_api.h"

#include "../../tests/reference.h"

void mexFunction(int, mxArray *plhs[], int, const mxArray *prhs[])
{
    const double *c = mxGetPr(prhs[0]);
    const uint64_t n = mxGetNumberOfElements(prhs[0]);
    const int64_t total = reference::expandTally::total<true>(c, n).total;
    plhs[0] = mxCreateDoubleMatrix_700(1, (int)total, mxREAL);
    plhs[1] = mxCreateDoubleMatrix_700(1, 1, mxREAL);
    *mxGetPr(plhs[1]) = reference::expandTally::expand(c, n, mxGetPr(plhs[0]));
}
