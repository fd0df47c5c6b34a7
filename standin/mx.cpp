// libmx: the stand-in host's arrays and the array operations modules call.
#define STANDIN_BUILDING_MX
#include "standin.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

struct mxArray_tag {
    standin::Class cls;
    std::vector<size_t> dims;
    void *real;
    void *imag;
    size_t bytes;       // size of each of real and imag
    bool owned;         // false when wrapping caller memory
    bool sparse;
    std::string label;
};

namespace standin {
namespace {

std::set<const mxArray *> live;
std::vector<mxArray *> created;
size_t created_count = 0;
bool tracing = false;
std::vector<std::string> trace;
bool recycling = false;
std::multimap<size_t, void *> spare;   // recycled data buffers by size
size_t creation_limit = SIZE_MAX;
bool filling_with_nan = false;

void fill(void *data, size_t bytes)
{
    for (size_t i = 0; i < bytes / sizeof(uint64_t); ++i)
        static_cast<uint64_t *>(data)[i] = kUnwrittenBits;
}

size_t element_size(Class c)
{
    switch (c) {
    case Class::Double: return 8;
    case Class::Single: return 4;
    case Class::Int32: return 4;
    case Class::Logical: return 1;
    case Class::Char: return 2;
    }
    return 8;
}

[[noreturn]] void fail(const std::string &message)
{
    throw HostError{message};
}

// Product of sizes, or fail: the host cannot describe an array that large.
size_t checked_product(const std::vector<size_t> &d, size_t from, size_t to)
{
    size_t p = 1;
    for (size_t i = from; i < to; ++i)
        if (__builtin_mul_overflow(p, d[i], &p))
            fail("Maximum variable size allowed by the program is exceeded.");
    return p;
}

void *allocate(size_t bytes)
{
    if (bytes > creation_limit)
        fail("Out of memory.");
    if (recycling) {
        auto it = spare.find(bytes);
        if (it != spare.end()) {
            void *p = it->second;
            spare.erase(it);
            std::memset(p, 0, bytes);
            return p;
        }
    }
    void *p = std::calloc(bytes ? bytes : 1, 1);
    if (!p)
        fail("Out of memory.");
    return p;
}

void release(void *p, size_t bytes)
{
    if (!p)
        return;
    if (recycling)
        spare.emplace(bytes, p);
    else
        std::free(p);
}

mxArray *make(Class cls, std::vector<size_t> d, bool complex, void *real, void *imag,
              bool owned)
{
    while (d.size() < 2)
        d.push_back(1);
    // Wrapped memory may be virtual and larger than anything allocated; its size is
    // only needed for owned data.
    size_t bytes = 0;
    if (owned) {
        size_t n = checked_product(d, 0, d.size());
        if (__builtin_mul_overflow(n, element_size(cls), &bytes))
            fail("Maximum variable size allowed by the program is exceeded.");
    }
    // The data first, so that a failed allocation leaves nothing behind.
    if (owned) {
        real = allocate(bytes);
        try {
            imag = complex ? allocate(bytes) : nullptr;
        } catch (...) {
            release(real, bytes);
            throw;
        }
    }
    auto *a = new mxArray_tag{cls, std::move(d), real, imag, bytes, owned, false, ""};
    a->label = "new" + std::to_string(++created_count);
    live.insert(a);
    created.push_back(a);
    return a;
}

const mxArray_tag *checked(const mxArray *a)
{
    if (!live.count(a))
        fail("Invalid array handle.");
    return a;
}

void record(const char *op, const mxArray *a)
{
    if (tracing)
        trace.push_back(std::string(op) + "(" + a->label + ")");
}

} // namespace

void Destroy::operator()(mxArray *a) const
{
    if (!a || !live.erase(a))
        return;
    if (a->owned) {
        release(a->real, a->bytes);
        release(a->imag, a->bytes);
    } else if (a->sparse) {
        std::free(a->real);
    }
    delete a;
}

Array create(Class cls, std::vector<size_t> d, bool complex)
{
    return Array(make(cls, std::move(d), complex, nullptr, nullptr, true));
}

Array doubles(std::vector<size_t> d, const std::vector<double> &v)
{
    Array a = create(Class::Double, std::move(d));
    if (v.size() * sizeof(double) != a->bytes)
        fail("doubles: value count does not match the dimensions");
    if (!v.empty())
        std::memcpy(a->real, v.data(), a->bytes);
    return a;
}

Array wrap(Class cls, std::vector<size_t> d, void *real, void *imag)
{
    return Array(make(cls, std::move(d), imag != nullptr, real, imag, false));
}

Array sparse(size_t m, size_t n, const std::vector<double> &nz)
{
    // The data holds only the stored values, as in a real sparse array.
    auto *data = static_cast<double *>(std::malloc(nz.size() ? nz.size() * sizeof(double) : 1));
    if (!nz.empty())
        std::memcpy(data, nz.data(), nz.size() * sizeof(double));
    mxArray *a = make(Class::Double, {m, n}, false, data, nullptr, false);
    a->sparse = true;
    return Array(a);
}

std::vector<size_t> dims(const mxArray *a) { return checked(a)->dims; }
Class class_of(const mxArray *a) { return checked(a)->cls; }
bool is_complex(const mxArray *a) { return checked(a)->imag != nullptr; }
void *real_data(const mxArray *a) { return checked(a)->real; }
void *imag_data(const mxArray *a) { return checked(a)->imag; }

std::vector<double> values(const mxArray *a)
{
    checked(a);
    if (a->cls != Class::Double || a->sparse)
        fail("values: not a full double array");
    const double *p = static_cast<const double *>(a->real);
    return std::vector<double>(p, p + checked_product(a->dims, 0, a->dims.size()));
}

void set_label(mxArray *a, std::string label) { a->label = std::move(label); }
size_t live_arrays() { return live.size(); }

void trace_start()
{
    trace.clear();
    tracing = true;
}

std::vector<std::string> trace_take()
{
    std::vector<std::string> t;
    t.swap(trace);
    return t;
}

void trace_stop()
{
    tracing = false;
    trace.clear();
}

void trace_record(const std::string &entry)
{
    if (tracing)
        trace.push_back(entry);
}

void call_begin()
{
    created.clear();
    created_count = 0;
}

std::vector<mxArray *> call_created()
{
    std::vector<mxArray *> c;
    c.swap(created);
    return c;
}

size_t unwritten(const mxArray *a)
{
    size_t count = 0;
    for (double v : values(a)) {
        uint64_t b;
        std::memcpy(&b, &v, sizeof b);
        count += b == kUnwrittenBits;
    }
    return count;
}

void refuse_creations_over(size_t bytes) { creation_limit = bytes; }

void fill_created_with_nan(bool on) { filling_with_nan = on; }

void recycle_outputs(bool on)
{
    recycling = on;
    if (!on) {
        for (auto &s : spare)
            std::free(s.second);
        spare.clear();
    }
}

} // namespace standin

using standin::checked;
using standin::record;

extern "C" {

MEX_EXPORT bool mxIsDouble(const mxArray *a)
{
    record("mxIsDouble", checked(a));
    return a->cls == standin::Class::Double;
}

MEX_EXPORT bool mxIsSparse(const mxArray *a)
{
    record("mxIsSparse", checked(a));
    return a->sparse;
}

MEX_EXPORT size_t mxGetM(const mxArray *a)
{
    record("mxGetM", checked(a));
    return a->dims[0];
}

MEX_EXPORT size_t mxGetN(const mxArray *a)
{
    record("mxGetN", checked(a));
    return standin::checked_product(a->dims, 1, a->dims.size());
}

MEX_EXPORT int mxGetNumberOfDimensions_700(const mxArray *a)
{
    record("mxGetNumberOfDimensions_700", checked(a));
    return static_cast<int>(a->dims.size());
}

MEX_EXPORT size_t mxGetNumberOfElements(const mxArray *a)
{
    record("mxGetNumberOfElements", checked(a));
    return standin::checked_product(a->dims, 0, a->dims.size());
}

MEX_EXPORT double *mxGetPr(const mxArray *a)
{
    record("mxGetPr", checked(a));
    return static_cast<double *>(a->real);
}

MEX_EXPORT mxArray *mxCreateDoubleMatrix_700(int m, int n, mxComplexity flag)
{
    if (standin::tracing)
        standin::trace.push_back("mxCreateDoubleMatrix_700(" + std::to_string(m) + "," +
                                 std::to_string(n) + "," + std::to_string(int(flag)) +
                                 ")=new" + std::to_string(standin::created_count + 1));
    if (m < 0 || n < 0)
        standin::fail("Matrix dimensions must be non-negative.");
    mxArray *a = standin::make(standin::Class::Double, {size_t(m), size_t(n)},
                               flag == mxCOMPLEX, nullptr, nullptr, true);
    if (standin::filling_with_nan) {
        standin::fill(a->real, a->bytes);
        if (a->imag)
            standin::fill(a->imag, a->bytes);
    }
    return a;
}

} // extern "C"
