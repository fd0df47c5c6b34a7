// Shared helpers for the module suites: load a built module through the stand-in
// host, call it, and compare doubles bit for bit.
#ifndef MODULE_TEST_H
#define MODULE_TEST_H

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "loader.h"
#include "reference.h"

using standin::Array;
using standin::Class;
using Trace = std::vector<std::string>;

namespace harness {

// The builds a run calls, from its command line (suite_main.cpp).
struct Options {
    std::string modules;                 // the builds under test, NAME + suffix
    std::string suffix;                  // ".mexa64", ".mexw64", ".mexmaci64", ...
    std::vector<std::string> compared;   // builds of the same sources, without paths
    std::string misbound;                // a bundle the Mach-O loader must refuse
};
const Options &options();

// Declares a case slow in some kinds of run ("sanitized", "emulated", "valgrind"):
// there CTest labels it `slow`, and runs that leave slow cases out skip it.
bool slow_in(const char *name, const char *kinds);

} // namespace harness

// A GoogleTest case that takes minutes in the kinds of run named (a string of words).
#define SLOW_TEST(suite, name, kinds)                                                     \
    [[maybe_unused]] static const bool suite##_##name##_slow =                            \
        harness::slow_in(#suite "." #name, kinds);                                        \
    TEST(suite, name)

// A module file of a folder, loaded once for the whole run.
inline const standin::Module &module_in(const std::string &dir, const std::string &name)
{
    static std::map<std::string, std::unique_ptr<standin::Module>> loaded;
    const std::string path = dir + "/" + name + harness::options().suffix;
    auto &m = loaded[path];
    if (!m)
        m = std::make_unique<standin::Module>(path);
    return *m;
}

// A module of the builds under test.
inline const standin::Module &module(const std::string &name)
{
    return module_in(harness::options().modules, name);
}

// The builds under test first, then those compared with them.
inline std::vector<std::string> every_build()
{
    std::vector<std::string> builds{harness::options().modules};
    for (const std::string &dir : harness::options().compared)
        builds.push_back(dir);
    return builds;
}

inline uint64_t bits(double d)
{
    uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

inline Array doubles(std::vector<size_t> dims, std::vector<double> v)
{
    return standin::doubles(std::move(dims), v);
}

// Arrays are move-only, so lists of them are built here rather than from braces.
template <class... A> std::vector<Array> arrays(A &&...a)
{
    std::vector<Array> v;
    (v.push_back(std::move(a)), ...);
    return v;
}

inline std::vector<const mxArray *> handles(const std::vector<Array> &v)
{
    std::vector<const mxArray *> h;
    for (auto &a : v)
        h.push_back(a.get());
    return h;
}

inline Array scalar(double v) { return doubles({1, 1}, {v}); }

// A column-major m x n matrix from its rows, as written in MATLAB.
inline Array matrix(std::initializer_list<std::initializer_list<double>> rows)
{
    size_t m = rows.size(), n = m ? rows.begin()->size() : 0;
    std::vector<double> v(m * n);
    size_t i = 0;
    for (auto &row : rows) {
        size_t j = 0;
        for (double x : row)
            v[i + j++ * m] = x;
        ++i;
    }
    return doubles({m, n}, v);
}

// Calls a module and checks the host's rules on the way: no array outlives a failed
// call, a successful one leaves exactly its outputs behind, and (with a host that
// does not zero-fill) the module wrote every element of them.
inline standin::Result call(const std::string &name, int nlhs,
                            std::vector<const mxArray *> inputs)
{
    size_t before = standin::live_arrays();
    standin::Result r = standin::call(module(name), nlhs, inputs);
    size_t kept = 0;
    for (size_t o = 0; o < r.outputs.size(); ++o)
        if (r.outputs[o]) {
            ++kept;
            EXPECT_EQ(standin::unwritten(r.outputs[o].get()), 0u) << name << " output " << o + 1;
        }
    EXPECT_EQ(standin::live_arrays(), before + kept);
    if (r.failed)
        EXPECT_EQ(kept, 0u);
    return r;
}

// The host calls of one module call.
inline Trace trace_of(const std::string &name, int nlhs, std::vector<const mxArray *> inputs)
{
    standin::trace_start();
    call(name, nlhs, inputs);
    Trace t = standin::trace_take();
    standin::trace_stop();
    return t;
}

// Runs the call and returns its error message, or "" on success.
inline std::string error_of(const std::string &name, int nlhs,
                            std::vector<const mxArray *> inputs)
{
    return call(name, nlhs, inputs).error;
}

inline std::vector<uint64_t> all_bits(const std::vector<double> &v)
{
    std::vector<uint64_t> b;
    for (double x : v)
        b.push_back(bits(x));
    return b;
}

// Calls the module and expects the message, or these outputs, bit for bit.
inline void expect_outcome(const std::string &name, int nlhs, std::vector<const mxArray *> in,
                           const reference::Outcome &want)
{
    standin::Result r = call(name, nlhs, in);
    ASSERT_EQ(r.error, want.message ? want.message : "");
    if (r.failed)
        return;
    ASSERT_EQ(r.outputs.size(), want.values.size());
    for (size_t o = 0; o < r.outputs.size(); ++o) {
        EXPECT_EQ(standin::dims(r.outputs[o].get()), want.dims[o]) << "output " << o + 1;
        EXPECT_EQ(all_bits(standin::values(r.outputs[o].get())), all_bits(want.values[o]))
            << "output " << o + 1;
    }
}

// Full double inputs, given alike to a module and to its reference.
struct Doubles {
    std::vector<size_t> dims;
    std::vector<double> re;
};
using Reference = reference::Outcome (*)(int, const std::vector<reference::Input> &);

// Calls the module and expects its reference's outcome.
inline void expect_as_reference(const std::string &name, Reference ref, int nlhs,
                                const std::vector<Doubles> &in)
{
    std::vector<Array> arrays;
    std::vector<reference::Input> inputs(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        arrays.push_back(doubles(in[i].dims, in[i].re));
        inputs[i].dims = in[i].dims;
        inputs[i].re = in[i].re.data();
    }
    expect_outcome(name, nlhs, handles(arrays), ref(nlhs, inputs));
}

#define EXPECT_SAME_DOUBLE(a, b) EXPECT_EQ(bits(a), bits(b)) << (a) << " vs " << (b)

#endif
