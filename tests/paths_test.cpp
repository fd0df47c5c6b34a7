// The vector paths against the same sources built without them (--compared), on
// inputs large enough that the modules under test take those paths, and with the
// awkward values in the places the vector code treats specially: the portable loops
// (MEX_PORTABLE) everywhere, and on x86-64 also the SSE2 baseline (MEX_NO_AVX2) and the
// AVX2 paths (MEX_NO_AVX512), beside the widest paths the delivered modules take on
// this processor. And the test that chooses a path, on the registers of other
// processors.
#include <cmath>
#include <random>

#include <sys/mman.h>
#include <unistd.h>

#include "cpu_features.h"
#include "module_test.h"

namespace {

// Every build gives the same error, or outputs equal bit for bit (any NaN equal to any
// NaN where sums are compared: which operand's NaN survives is not fixed).
void expect_same(const std::string &name, int nlhs, std::vector<const mxArray *> in,
                 bool any_nan, const std::string &what)
{
    ASSERT_FALSE(harness::options().compared.empty()) << "no --compared builds given";
    standin::Result fast = call(name, nlhs, in);
    for (const std::string &dir : harness::options().compared) {
        standin::Result base = standin::call(module_in(dir, name), nlhs, in);
        const std::string where = what + " (" + dir + ")";
        ASSERT_EQ(fast.failed, base.failed) << where << ": " << fast.error << base.error;
        EXPECT_EQ(fast.error, base.error) << where;
        for (size_t o = 0; o < fast.outputs.size(); ++o) {
            EXPECT_EQ(standin::dims(fast.outputs[o].get()), standin::dims(base.outputs[o].get()));
            std::vector<double> a = standin::values(fast.outputs[o].get());
            std::vector<double> b = standin::values(base.outputs[o].get());
            ASSERT_EQ(a.size(), b.size()) << where;
            size_t differ = 0;
            for (size_t i = 0; i < a.size(); ++i)
                differ += !(bits(a[i]) == bits(b[i]) ||
                            (any_nan && std::isnan(a[i]) && std::isnan(b[i])));
            EXPECT_EQ(differ, 0u) << where << ", output " << o + 1;
        }
    }
}

TEST(Paths, PermanentOnRandomTables)
{
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> unit(-1, 1);
    std::uniform_int_distribution<int> scale(-30, 30);
    // AVX2 (n = 8..16): one lookup register per half of A's rows for n = 8, two from 9
    // on, which 9 fills partly. NEON (n = 2..16): (n + 1) / 2 lookup registers, those
    // past the fourth (n = 9 on) in a second lookup; rows past a multiple of four (n = 3)
    // go to the plain loop. Tables of random entries (repeats, fractions, not
    // permutations).
    for (int n : {3, 5, 8, 9}) {
        size_t rows = 1;
        for (int k = 2; k <= n; ++k)
            rows *= k;
        std::uniform_real_distribution<double> entry(std::ldexp(1.0, -50), n + 0.999);
        std::vector<double> a(n * n), p(rows * n);
        for (double &x : a)
            x = std::ldexp(unit(rng), scale(rng));
        for (double &x : p)
            x = entry(rng);
        std::string what = "n = " + std::to_string(n);
        Array A = doubles({size_t(n), size_t(n)}, a);
        Array P = doubles({rows, size_t(n)}, p);
        expect_same("permanent", 1, {A.get(), P.get()}, true, what);
        // Entries of one magnitude, where any change in the order of the additions shows.
        std::vector<double> even(n * n);
        for (double &x : even)
            x = unit(rng);
        expect_same("permanent", 1, {doubles({size_t(n), size_t(n)}, even).get(), P.get()},
                    true, what + ", entries in [-1, 1]");
        // Every product -0 (A's first row -0, the others positive): the sum of them is
        // +0, as it starts from +0.
        std::vector<double> minus(n * n);
        for (int i = 0; i < n * n; ++i)
            minus[i] = i % n == 0 ? -0.0 : 0.5 + std::fabs(unit(rng));
        expect_same("permanent", 1, {doubles({size_t(n), size_t(n)}, minus).get(), P.get()},
                    true, what + ", every product -0");
        // Special values, each of which takes over the whole sum.
        for (double special : {-0.0, 1e-310, double(INFINITY), double(NAN)}) {
            std::vector<double> b = a;
            b[n + 1] = special, b[n * n - 1] = -special;
            expect_same("permanent", 1, {doubles({size_t(n), size_t(n)}, b).get(), P.get()},
                        true, what + " with " + std::to_string(special));
        }
        // An entry that selects no column, early, late and in the last row.
        for (double bad : {0.0, double(n) + 1.0, double(NAN), -1e300, 3e9})
            for (size_t at : {size_t(0), p.size() / 2 + 3, p.size() - 1}) {
                std::vector<double> q = p;
                q[at] = bad;
                expect_same("permanent", 1, {A.get(), doubles({rows, size_t(n)}, q).get()},
                            true, what + ", bad entry at " + std::to_string(at));
            }
    }
}

TEST(Paths, EdgejoinOnSmallAlphabets)
{
    std::mt19937_64 rng(5);
    const double alphabet[] = {0.0, -0.0, 1.0, 2.5, -3.0, NAN, INFINITY, -INFINITY, 1e300};
    std::normal_distribution<double> value;
    // Sizes around the vector steps (4 or 2 keys, 4, 8 or 16 nodes), with p * q past 2^16.
    for (size_t p : {256, 259, 301, 1000})
        for (size_t q : {256, 263, 517}) {
            std::uniform_int_distribution<int> node(0, 1 + int(p + q) % 8);
            std::vector<double> e1(3 * p), e2(3 * q);
            for (size_t i = 0; i < p; ++i)
                e1[i] = value(rng), e1[i + p] = alphabet[node(rng)], e1[i + 2 * p] = value(rng);
            for (size_t j = 0; j < q; ++j)
                e2[j] = alphabet[node(rng)], e2[j + q] = alphabet[node(rng)], e2[j + 2 * q] = value(rng);
            e1[0] = NAN, e2[q + 1] = -INFINITY, e1[2 * p + 2] = -0.0;
            // E1's first value, just past the last key in memory, matches nodes: a sweep
            // that read one key too many would join it.
            e1[2 * p] = 0.0;
            expect_same("edgejoin", 2, {doubles({p, 3}, e1).get(), doubles({q, 3}, e2).get()},
                        false, std::to_string(p) + " x " + std::to_string(q));
        }
}

#if MEX_AVX512
// The comparisons reach the delivered modules' AVX-512 paths only on a processor that
// has them; elsewhere this case says so. One table whose lookups need a second
// register, and one join with matches in every lane of a step and in the tail.
TEST(Paths, Avx512PathsOnThisProcessor)
{
    if (cpu_widest_path() != PATH_AVX512)
        GTEST_SKIP() << "this processor or system gives no AVX-512: its paths are not compared";
    std::mt19937_64 rng(17);
    std::uniform_real_distribution<double> unit(-1, 1), entry(1.0, 9.999);
    std::vector<double> a(81), p(362880 * 9);
    for (double &x : a)
        x = unit(rng);
    for (double &x : p)
        x = entry(rng);
    expect_same("permanent", 1, {doubles({9, 9}, a).get(), doubles({362880, 9}, p).get()},
                true, "n = 9");
    const size_t q = 517, rows = 300;
    std::vector<double> e1(3 * rows), e2(3 * q);
    for (size_t j = 0; j < q; ++j)
        e2[j] = double(j % 33), e2[j + q] = unit(rng), e2[j + 2 * q] = unit(rng);
    for (size_t i = 0; i < rows; ++i)
        e1[i] = unit(rng), e1[i + rows] = double(i % 34), e1[i + 2 * rows] = unit(rng);
    expect_same("edgejoin", 2, {doubles({rows, 3}, e1).get(), doubles({q, 3}, e2).get()}, false,
                "every lane");
}
#endif

// The filling pass takes keys in pairs and holds back the second key's rows in a fixed
// list: odd key counts, equal and NaN keys in a pair, matches in the last node of a
// step and in the tail, and keys with more matches than the list holds (their pair
// falls back to one sweep per key), next to pairs that fit.
TEST(Paths, EdgejoinKeyPairs)
{
    std::mt19937_64 rng(9);
    std::normal_distribution<double> value;
    for (size_t p : {257, 300})
        for (size_t q : {1000, 1007}) {
            std::vector<double> e1(3 * p), e2(3 * q);
            for (size_t j = 0; j < q; ++j)
                e2[j] = j % 2 == 0 ? 7.0 : j % 16 == 15 ? 2.0 : double(j),
                e2[j + q] = value(rng), e2[j + 2 * q] = value(rng);
            e2[q - 1] = 2.0, e2[q - 2] = -0.0, e2[q / 2] = NAN;
            for (size_t i = 0; i < p; ++i) {
                const double keys[] = {7.0, 2.0, 0.0, -0.0, NAN, double(i), double(q - 1), 5.0};
                e1[i] = value(rng), e1[i + p] = keys[(i * 5 + i / 8) % 8], e1[i + 2 * p] = value(rng);
            }
            e1[p] = e1[p + 1] = 7.0, e1[p + 2] = e1[p + 3] = 2.0;
            expect_same("edgejoin", 2, {doubles({p, 3}, e1).get(), doubles({q, 3}, e2).get()},
                        false, "pairs, " + std::to_string(p) + " x " + std::to_string(q));
        }
    // Key 7 with one match more than its list holds, the last of them in the tail past
    // the vector steps, first and second in its pairs; key 2's rows fit.
    const size_t p = 80, q = 1007;
    std::vector<double> e1(3 * p), e2(3 * q);
    for (size_t j = 0; j < q; ++j)
        e2[j] = j < 768 && j % 2 == 0 ? 7.0 : j % 3 == 0 ? 2.0 : 0.5,
        e2[j + q] = value(rng), e2[j + 2 * q] = value(rng);
    e2[q - 1] = 7.0;
    for (size_t i = 0; i < p; ++i)
        e1[i] = value(rng), e1[i + p] = i % 4 == 0 || i % 4 == 3 ? 7.0 : 2.0,
        e1[i + 2 * p] = value(rng);
    expect_same("edgejoin", 2, {doubles({p, 3}, e1).get(), doubles({q, 3}, e2).get()}, false,
                "385 matches of one key");
}

// The totalling pass goes over blocks of counts at a time and the filling pass stores
// four copies at a time; both against the plain loops, across block boundaries.
TEST(Paths, ExpandTallyLongInputs)
{
    std::mt19937_64 rng(3);
    for (int top : {1, 3, 7, 200})
        for (size_t n : {4095, 4096, 9001}) {
            std::uniform_int_distribution<int> count(0, top);
            std::vector<double> c(n), list;
            double f = 1.0;
            for (size_t k = 0; k < n; ++k) {
                c[k] = count(rng) + (k % 5 == 0 ? 0.5 : 0.0);
                for (int l = 1; l <= int(c[k]); ++l)
                    list.push_back(double(k + 1)), f *= l;
            }
            Array C = doubles({1, n}, c);
            standin::Result r = call("expandTally", 2, {C.get()});
            ASSERT_FALSE(r.failed) << r.error;
            EXPECT_EQ(standin::values(r.outputs[0].get()), list) << top << ", " << n;
            EXPECT_SAME_DOUBLE(standin::values(r.outputs[1].get())[0], f);
            expect_same("expandTally", 2, {C.get()}, false,
                        std::to_string(top) + ", " + std::to_string(n));
        }
    // The first failure in order wins, wherever the blocks fall.
    const char *range = "Input counts need to be between 0 and 2^31-1";
    const char *sum = "Input counts need to sum to at most 2^31-1";
    std::vector<double> c(9000, 1.0);
    c[5000] = 2147483000.0;
    c[6000] = NAN;
    EXPECT_EQ(error_of("expandTally", 2, {doubles({1, c.size()}, c).get()}), sum);
    expect_same("expandTally", 2, {doubles({1, c.size()}, c).get()}, false, "sum first");
    c[4999] = -1.0;
    EXPECT_EQ(error_of("expandTally", 2, {doubles({1, c.size()}, c).get()}), range);
    expect_same("expandTally", 2, {doubles({1, c.size()}, c).get()}, false, "range first");
}

// A ends where a page ends, and the next page cannot be read: a kernel that reads past
// A, even into a lane that no entry selects, faults. Orders that fill their lookup
// registers exactly, partly, and with a second register.
TEST(Paths, PermanentReadsNothingPastA)
{
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    std::mt19937_64 rng(13);
    std::uniform_real_distribution<double> unit(-1, 1);
    for (int n : {3, 5, 8, 9}) {
        const size_t bytes = size_t(n) * n * sizeof(double);
        const size_t span = (bytes + page - 1) / page * page;
        char *base = static_cast<char *>(mmap(nullptr, span + page, PROT_READ | PROT_WRITE,
                                              MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        ASSERT_NE(base, MAP_FAILED);
        ASSERT_EQ(mprotect(base + span, page, PROT_NONE), 0);
        double *a = reinterpret_cast<double *>(base + span - bytes);
        for (int i = 0; i < n * n; ++i)
            a[i] = unit(rng);
        size_t rows = 1;
        for (int k = 2; k <= n; ++k)
            rows *= k;
        std::uniform_real_distribution<double> entry(1.0, n + 0.999);
        std::vector<double> p(rows * n);
        for (double &x : p)
            x = entry(rng);
        Array A = standin::wrap(Class::Double, {size_t(n), size_t(n)}, a);
        expect_same("permanent", 1, {A.get(), doubles({rows, size_t(n)}, p).get()}, false,
                    "A before an unreadable page, n = " + std::to_string(n));
        A.reset();
        munmap(base, span + page);
    }
}

// Registers of a processor that is not this one, and the questions asked of them.
struct OtherProcessor {
    static uint32_t leaf7_ebx, leaf1_ecx, xcr0;
    static std::string asked;
    static uint32_t cpuid_ebx(uint32_t leaf)
    {
        asked += " ebx" + std::to_string(leaf);
        return leaf == 7 ? leaf7_ebx : 0;
    }
    static uint32_t cpuid_ecx(uint32_t leaf)
    {
        asked += " ecx" + std::to_string(leaf);
        return leaf == 1 ? leaf1_ecx : 0;
    }
    static uint32_t xgetbv0()
    {
        asked += " xgetbv";
        return xcr0;
    }
};
uint32_t OtherProcessor::leaf7_ebx, OtherProcessor::leaf1_ecx, OtherProcessor::xcr0;
std::string OtherProcessor::asked;

// The feature test on the registers of processors and systems that this machine is
// not, and the questions in their order: leaf 7 first, and xgetbv, which faults
// without OSXSAVE, only where leaf 1 says the system saves AVX state.
TEST(Paths, CpuFeaturesChooseOnlyWhatRuns)
{
    struct Case {
        const char *what;
        uint32_t leaf7_ebx, leaf1_ecx, xcr0;
        VectorPath path;
        const char *asked;
    };
    const uint32_t haswell7 = 0xfbb, haswell1 = 0x7ffafbff;
    const uint32_t zen5_7 = 0xf1bf07ab, zen5_1 = 0x7ef8320b;
    const uint32_t f = 1u << 16, dq = 1u << 17;
    const Case cases[] = {
        {"Haswell", haswell7, haswell1, 0x7, PATH_AVX2, " ebx7 ecx1 xgetbv"},
        {"Zen 5", zen5_7, zen5_1, 0xe7, PATH_AVX512, " ebx7 ecx1 xgetbv"},
        {"Sandy Bridge, no leaf 7", 0, 0x1fbae3ff, 0x7, PATH_SSE2, " ebx7"},
        {"a Pentium: leaf 7 without AVX2, with the bits beside it", haswell7 & ~0x20u,
         haswell1, 0x7, PATH_SSE2, " ebx7"},
        {"a system without XSAVE", haswell7, haswell1 & ~(1u << 27), 0x7, PATH_SSE2, " ebx7 ecx1"},
        {"a hypervisor hiding AVX", haswell7, haswell1 & ~(1u << 28), 0x7, PATH_SSE2, " ebx7 ecx1"},
        {"a hypervisor hiding POPCNT", zen5_7, zen5_1 & ~(1u << 23), 0xe7, PATH_SSE2, " ebx7 ecx1"},
        {"a system that saves no AVX state", haswell7, haswell1, 0x3, PATH_SSE2,
         " ebx7 ecx1 xgetbv"},
        {"AVX state without SSE state", haswell7, haswell1, 0x5, PATH_SSE2, " ebx7 ecx1 xgetbv"},
        {"AVX-512 state without SSE state", zen5_7, zen5_1, 0xe5, PATH_SSE2, " ebx7 ecx1 xgetbv"},
        {"macOS before a thread's first AVX-512 instruction", zen5_7, zen5_1, 0x7, PATH_AVX2,
         " ebx7 ecx1 xgetbv"},
        {"no opmask state", zen5_7, zen5_1, 0xc7, PATH_AVX2, " ebx7 ecx1 xgetbv"},
        {"no upper halves of zmm0-15", zen5_7, zen5_1, 0xa7, PATH_AVX2, " ebx7 ecx1 xgetbv"},
        {"no zmm16-31", zen5_7, zen5_1, 0x67, PATH_AVX2, " ebx7 ecx1 xgetbv"},
        {"Knights Landing: AVX-512 F without DQ", zen5_7 & ~dq, zen5_1, 0xe7, PATH_AVX2,
         " ebx7 ecx1 xgetbv"},
        {"DQ without F", zen5_7 & ~f, zen5_1, 0xe7, PATH_AVX2, " ebx7 ecx1 xgetbv"},
        {"AVX-512 bits without AVX2", zen5_7 & ~0x20u, zen5_1, 0xe7, PATH_SSE2, " ebx7"},
    };
    for (const Case &c : cases) {
        OtherProcessor::leaf7_ebx = c.leaf7_ebx;
        OtherProcessor::leaf1_ecx = c.leaf1_ecx;
        OtherProcessor::xcr0 = c.xcr0;
        OtherProcessor::asked.clear();
        EXPECT_EQ(widest_path<OtherProcessor>(), c.path) << c.what;
        EXPECT_EQ(OtherProcessor::asked, c.asked) << c.what;
    }
}

} // namespace
