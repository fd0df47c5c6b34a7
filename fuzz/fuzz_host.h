// Shared by the fuzz drivers: decode a fuzz input into a call (counts, and inputs of
// any class, shape, complexity and storage), run it through the stand-in host, and
// check the outcome against an expected one worked out by the driver.
//
// The input is read as a stream of choices; once it runs out every choice is 0, and
// choice 0 always means "the call as intended", so short inputs give valid calls.
#ifndef FUZZ_HOST_H
#define FUZZ_HOST_H

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "loader.h"
#include "reference.h"

namespace fuzz {

using standin::Class;

class Choices {
public:
    Choices(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    size_t below(size_t n) { return n ? byte() % n : 0; }   // n <= 256
    uint64_t u64()
    {
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i)
            v = v << 8 | byte();
        return v;
    }

private:
    const uint8_t *data_;
    size_t size_, at_ = 0;
};

// A small deterministic generator for bulk data, seeded from the input.
struct Random {
    uint64_t state;
    uint64_t next()
    {
        uint64_t z = (state += 0x9e3779b97f4a7c15u);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    }
    size_t below(size_t n) { return n ? next() % n : 0; }
};

// Doubles at the edges of what the modules convert or compare.
inline double special(size_t i)
{
    const double max = std::numeric_limits<double>::max();
    const double table[] = {0.0, -0.0, 1.0, -1.0, NAN, INFINITY, -INFINITY, max, -max,
                            1e300, std::numeric_limits<double>::denorm_min(),
                            std::ldexp(1.0, -60), std::ldexp(1.0, -53), std::ldexp(1.0, -52),
                            std::nextafter(1.0, 0.0), std::nextafter(1.0, 2.0), 0.5, -0.5,
                            std::nextafter(-1.0, 0.0), 1.9, 2.5, 2147483647.0, 2147483648.0,
                            -2147483648.0, -2147483649.0, 4294967296.0, 4294967299.0,
                            9007199254740993.0, 9223372036854775808.0, 28.0, 170.0, 171.0};
    return table[i % (sizeof table / sizeof table[0])];
}

inline double raw_double(uint64_t bits)
{
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// Replaces a few elements, at places the input picks, by special values.
inline void patch(Choices &in, std::vector<double> &v)
{
    for (size_t patches = in.below(4); patches > 0 && !v.empty(); --patches)
        v[in.u64() % v.size()] = special(in.byte());
}

// Each array draws its values from a mix of kinds chosen by the input: small whole
// numbers up to `small`, fractions, special values, or any bit pattern.
struct Palette {
    unsigned kinds;   // bit 0 small, 1 fractions, 2 specials, 3 raw
    int small;
    double draw(Random &r) const
    {
        unsigned k = kinds ? kinds : 1;
        int pick;
        do
            pick = int(r.below(4));
        while (!(k >> pick & 1));
        switch (pick) {
        case 0: return double(r.below(size_t(small) + 1));
        case 1: return double(int(r.below(size_t(small) + 2)) - 1) + double(r.below(64)) / 64.0;
        case 2: return special(r.next());
        default: return raw_double(r.next());
        }
    }
};

inline Palette palette(Choices &in, int small)
{
    unsigned b = in.byte();
    // Mostly small whole numbers; any other mix when the input asks.
    return {b < 128 ? 1u : b & 15u, small};
}

// One input argument, kept so that the expected outcome can be worked out from it.
struct Arg {
    Class cls = Class::Double;
    std::vector<size_t> dims;
    bool complex = false;
    bool sparse = false;
    bool unbacked = false;   // virtual: no data behind it, so the module may not read it
    std::vector<double> re;  // full double: every element; sparse: the stored values
    standin::Array array;

    size_t rows() const { return dims[0]; }
    size_t columns() const
    {
        size_t n = 1;
        for (size_t i = 1; i < dims.size(); ++i)
            n *= dims[i];
        return n;
    }
    size_t elements() const { return dims[0] * columns(); }
    bool full_double() const { return cls == Class::Double && !sparse; }
};

// What the host shows the module: at least two dimensions, and no trailing
// singleton beyond the second, as MATLAB stores them.
inline std::vector<size_t> normalized(std::vector<size_t> d)
{
    while (d.size() < 2)
        d.push_back(1);
    while (d.size() > 2 && d.back() == 1)
        d.pop_back();
    return d;
}

// A shape: mostly the intended one, else a variation of it, a small random one, or
// one with a dimension far too large to hold (unbacked).
inline std::vector<size_t> shape(Choices &in, std::vector<size_t> intended, bool *unbacked)
{
    *unbacked = false;
    std::vector<size_t> d = intended;
    switch (in.below(16)) {
    case 10: {   // the same columns spread over more dimensions
        size_t n = d[1], a = 1 + in.below(4);
        if (n % a == 0)
            d = {d[0], a, n / a};
        else
            d = {d[0], 1, n};
        break;
    }
    case 11:   // one dimension off by one
        d[in.below(2)] += 1;
        break;
    case 12:
        if (d[0] > 0)
            d[0] -= 1;
        break;
    case 13:
    case 14: {   // small and random, 2 to 4 dimensions, empty included
        d.assign(2 + in.below(3), 0);
        for (size_t &x : d)
            x = in.below(5);
        break;
    }
    case 15: {
        const size_t huge[] = {size_t(INT32_MAX), size_t(1) << 31, (size_t(1) << 32) + 3,
                               size_t(1) << 40};
        d[in.below(2)] = huge[in.below(4)];
        *unbacked = true;
        break;
    }
    default:
        break;
    }
    return normalized(d);
}

inline Class class_choice(Choices &in)
{
    const Class others[] = {Class::Single, Class::Int32, Class::Logical, Class::Char};
    size_t b = in.below(32);
    return b < 28 ? Class::Double : others[b - 28];
}

// Builds the argument's host array. Imaginary parts and other classes' data hold
// values that would change any result if the module read them.
inline void build(Arg &a, Random &r)
{
    if (a.unbacked) {
        a.array = standin::wrap(a.cls, a.dims, nullptr);
        return;
    }
    if (a.sparse) {
        a.array = standin::sparse(a.dims[0], a.columns(), a.re);
        return;
    }
    a.array = standin::create(a.cls, a.dims, a.complex);
    if (a.cls == Class::Double) {
        if (!a.re.empty())
            std::memcpy(standin::real_data(a.array.get()), a.re.data(),
                        a.re.size() * sizeof(double));
        if (a.complex) {
            double *im = static_cast<double *>(standin::imag_data(a.array.get()));
            for (size_t i = 0; i < a.re.size(); ++i)
                im[i] = NAN;
        }
    } else {
        size_t bytes = a.cls == Class::Logical ? 1 : a.cls == Class::Char ? 2 : 4;
        auto *p = static_cast<unsigned char *>(standin::real_data(a.array.get()));
        for (size_t i = 0; i < a.elements() * bytes; ++i)
            p[i] = static_cast<unsigned char>(r.next());
    }
}

// The class, storage and shape of one argument; `fill` gives a full double's values.
template <class Fill>
Arg argument(Choices &in, Random &r, std::vector<size_t> intended, Fill fill)
{
    Arg a;
    a.cls = class_choice(in);
    a.dims = shape(in, intended, &a.unbacked);
    uint8_t storage = in.byte();
    a.complex = storage >= 224 && !a.unbacked;
    a.sparse = storage >= 208 && storage < 224 && !a.unbacked && a.cls == Class::Double;
    if (a.sparse) {
        // A sparse array holds only its stored values, so it is always 2-D.
        a.dims = {a.dims[0], a.columns()};
        size_t nz = in.below(std::min<size_t>(a.elements(), 8) + 1);
        for (size_t i = 0; i < nz; ++i)
            a.re.push_back(1.0 + double(i));
    } else if (a.cls == Class::Double && !a.unbacked) {
        a.re.resize(a.elements());
        fill(a);
    }
    build(a, r);
    return a;
}

// Argument and output counts: mostly as intended, else 0 to 3.
inline int count(Choices &in, int intended)
{
    size_t b = in.below(32);
    return b < 28 ? intended : int(b - 28);
}

// The arguments as the module's reference sees them.
inline std::vector<reference::Input> inputs(const std::vector<Arg> &args)
{
    std::vector<reference::Input> in(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        in[i].is_double = args[i].cls == Class::Double;
        in[i].sparse = args[i].sparse;
        in[i].dims = args[i].dims;
        in[i].re = args[i].re.data();
        in[i].backed = !args[i].unbacked;
    }
    return in;
}

inline std::vector<const mxArray *> handles(const std::vector<Arg> &args)
{
    std::vector<const mxArray *> h;
    for (auto &a : args)
        h.push_back(a.array.get());
    return h;
}

// Equal bits, or both NaN: a NaN's payload may depend on operand order, which
// compilers are free to swap in a multiplication.
inline bool same(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

[[noreturn]] inline void fail(const std::string &what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

inline void check(bool ok, const std::string &what)
{
    if (!ok)
        fail(what);
}

// The module under test, loaded from MODULE_PATH before the first input.
const standin::Module &module();

// Calls the module and checks: the reference's message (or `also`, where either is a
// fair answer) or its outputs, bit for bit; no array left behind after an error; inputs
// unchanged. A call that would read an unbacked input, or that the reference did not
// work out, is not made.
inline void run(int nlhs, const std::vector<Arg> &args, const reference::Outcome &want,
                const char *also = nullptr)
{
    if (want.unread)
        return;
    size_t before = standin::live_arrays();
    standin::Result r = standin::call(module(), nlhs, handles(args));
    for (auto &a : args)
        if (a.full_double() && !a.unbacked)
            check(a.re.empty() || std::memcmp(standin::real_data(a.array.get()), a.re.data(),
                                              a.re.size() * sizeof(double)) == 0,
                  "an input was written");
    if (r.failed) {
        check(standin::live_arrays() == before, "arrays left after the error: " + r.error);
        if ((want.message && r.error == want.message) || (also && r.error == also))
            return;
        fail("unexpected error: " + r.error + " (expected " +
             (want.message ? want.message : "success") + ")");
    }
    check(!want.message, std::string("succeeded, expected ") + (want.message ? want.message : ""));
    check(r.outputs.size() == want.dims.size(), "output slot count");
    check(standin::live_arrays() == before + r.outputs.size(), "arrays left behind");
    for (size_t i = 0; i < r.outputs.size(); ++i) {
        const mxArray *o = r.outputs[i].get();
        check(o && standin::class_of(o) == Class::Double && !standin::is_complex(o),
              "output " + std::to_string(i + 1) + " is no real double matrix");
        check(standin::dims(o) == want.dims[i], "output " + std::to_string(i + 1) + " shape");
        std::vector<double> v = standin::values(o);
        for (size_t k = 0; k < v.size(); ++k)
            check(same(v[k], want.values[i][k]),
                  "output " + std::to_string(i + 1) + " element " + std::to_string(k));
    }
}

} // namespace fuzz

#endif
