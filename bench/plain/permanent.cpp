// The plain loops of permanent, for comparison in the benchmarks: the reference's,
// entries trusted, as is the rest of the input.
#include "mex_api.h"

#include "../../tests/reference.h"

void mexFunction(int, mxArray *plhs[], int, const mxArray *prhs[])
{
    const uint64_t n = mxGetN(prhs[1]), rows = mxGetM(prhs[1]);
    plhs[0] = mxCreateDoubleMatrix_700(1, 1, mxREAL);
    reference::permanent::sum<true>(mxGetPr(prhs[0]), n, mxGetPr(prhs[1]), rows,
                                    mxGetPr(plhs[0]));
}
