/* The host operations the modules call, and the entry point the host calls.
 *
 * MATLAB builds: our own declarations of the MEX interface, in the variant whose
 * matrix-creation and dimension-count operations take and give 32-bit counts. The
 * stand-in host (standin/) implements exactly these.
 *
 * Octave builds (MEX_HOST_OCTAVE): the same names mapped onto Octave's own mex.h,
 * which has no _700 variants.
 *
 * MATLAB's own mex builds (MEX_HOST_MATLAB, by build_modules.m): MATLAB's mex.h, which
 * under -compatibleArrayDims (MX_COMPAT_32) declares the creation and dimension-count
 * operations by their _700 names.
 */
#ifndef MEX_API_H
#define MEX_API_H

#include <stddef.h>

#if !defined(__GNUC__)
#error "mexmodules builds with GCC or Clang only"
#endif

#if defined(MEX_HOST_MATLAB)

#include <mex.h>

#if !defined(MX_COMPAT_32)
#error "build with mex -compatibleArrayDims: the modules call the _700 operations"
#endif

#elif defined(MEX_HOST_OCTAVE)

#include <mex.h>

static inline int mxGetNumberOfDimensions_700(const mxArray *a)
{
    return (int)mxGetNumberOfDimensions(a);
}

static inline mxArray *mxCreateDoubleMatrix_700(int m, int n, mxComplexity flag)
{
    return mxCreateDoubleMatrix(m, n, flag);
}

#else

#if defined(_WIN32)
#if defined(MEX_HOST_BUILD) /* the stand-in host's own libmx and libmex */
#define MEX_IMPORT __declspec(dllexport)
#else
#define MEX_IMPORT __declspec(dllimport)
#endif
#define MEX_EXPORT __declspec(dllexport)
#else
#define MEX_IMPORT
#define MEX_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define MEX_NORETURN [[noreturn]]
extern "C" {
#else
#define MEX_NORETURN _Noreturn
#include <stdbool.h>
#endif

/* A host array; only the host looks inside. */
typedef struct mxArray_tag mxArray;

typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;

MEX_IMPORT bool mxIsDouble(const mxArray *a);
MEX_IMPORT bool mxIsSparse(const mxArray *a);
MEX_IMPORT size_t mxGetM(const mxArray *a);
/* Product of all dimensions after the first. */
MEX_IMPORT size_t mxGetN(const mxArray *a);
MEX_IMPORT int mxGetNumberOfDimensions_700(const mxArray *a);
MEX_IMPORT size_t mxGetNumberOfElements(const mxArray *a);
/* Real part, column-major. */
MEX_IMPORT double *mxGetPr(const mxArray *a);
/* Zero-filled; raises a host error instead of returning without a matrix. */
MEX_IMPORT mxArray *mxCreateDoubleMatrix_700(int m, int n, mxComplexity flag);

/* Raises an error in the caller; never returns to the module. */
MEX_IMPORT MEX_NORETURN void mexErrMsgTxt(const char *message);

MEX_EXPORT void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

#ifdef __cplusplus
}
#endif

#endif /* which host */

#endif /* MEX_API_H */
