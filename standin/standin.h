// The stand-in host: what tests and benchmarks use to build arrays, watch the host
// calls a module makes, and call a built module file as MATLAB would.
//
// libmx holds the arrays and the call trace, libmex raises errors, libmat is empty
// (modules only declare it), and the loader opens module files and calls them.
#ifndef STANDIN_H
#define STANDIN_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mex_api.h"

#if defined(_WIN32)
#if defined(STANDIN_BUILDING_MX)
#define STANDIN_API __declspec(dllexport)
#else
#define STANDIN_API __declspec(dllimport)
#endif
#else
#define STANDIN_API __attribute__((visibility("default")))
#endif

namespace standin {

enum class Class { Double, Single, Int32, Logical, Char };

// A module's entry point, mexFunction.
using Gateway = void (*)(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

// What mexErrMsgTxt, or a host operation that cannot do its job, throws. It unwinds
// through the module back to the loader, which destroys the call's new arrays.
struct STANDIN_API HostError {
    std::string message;
};

struct STANDIN_API Destroy {
    void operator()(mxArray *a) const;
};
using Array = std::unique_ptr<mxArray, Destroy>;

// A zero-filled array of any class and any number of dimensions (at least two are
// kept: {} and {m} are padded with ones, as MATLAB does).
STANDIN_API Array create(Class cls, std::vector<size_t> dims, bool complex = false);
// A real double array holding `values` in column-major order.
STANDIN_API Array doubles(std::vector<size_t> dims, const std::vector<double> &values);
// An array over memory the caller owns and keeps alive; nothing is copied or freed.
STANDIN_API Array wrap(Class cls, std::vector<size_t> dims, void *real, void *imag = nullptr);
// A sparse double m x n array holding nz stored values; its data is only those nz
// values, not the full matrix.
STANDIN_API Array sparse(size_t m, size_t n, const std::vector<double> &nz);

STANDIN_API std::vector<size_t> dims(const mxArray *a);
STANDIN_API Class class_of(const mxArray *a);
STANDIN_API bool is_complex(const mxArray *a);
STANDIN_API void *real_data(const mxArray *a);
STANDIN_API void *imag_data(const mxArray *a);
STANDIN_API std::vector<double> values(const mxArray *a);   // real doubles, column-major

// Names an array in the trace ("in1", "in2", ...; new arrays are "new1", "new2", ...).
STANDIN_API void set_label(mxArray *a, std::string label);
// Arrays alive in the host, for leak checks.
STANDIN_API size_t live_arrays();

// The host calls made since trace_start, as "op(label)" strings.
STANDIN_API void trace_start();
STANDIN_API std::vector<std::string> trace_take();
STANDIN_API void trace_stop();
STANDIN_API void trace_record(const std::string &entry);

// The arrays created since call_begin; the loader destroys those it does not return.
STANDIN_API void call_begin();
STANDIN_API std::vector<mxArray *> call_created();

// Keeps destroyed data buffers for reuse by later creations of the same size, as a
// real host's allocator does; for benchmarks.
STANDIN_API void recycle_outputs(bool on);

// After fill_created_with_nan(true), every matrix a module creates starts out holding
// this quiet NaN, not MATLAB's zeros, so that an element the module never writes shows
// (arrays made by create, doubles and wrap stay as they are).
constexpr uint64_t kUnwrittenBits = 0x7ff80000deadbeefu;
STANDIN_API void fill_created_with_nan(bool on);
// Elements of a double array that hold kUnwrittenBits.
STANDIN_API size_t unwritten(const mxArray *a);

// Fails every matrix creation whose data would take more than `bytes`, as a host out
// of memory does: the request is traced, then "Out of memory." is raised. Lets tests
// see a module ask for outputs too large to make. SIZE_MAX (the default): no limit.
STANDIN_API void refuse_creations_over(size_t bytes);

} // namespace standin

#endif
