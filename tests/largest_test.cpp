// The largest inputs each module serves, far beyond memory: virtual arrays whose
// address ranges repeat a few pieces of one small shared-memory file. Every offset
// past 2^31 (or 2^32 bytes) lands on known data, and a wrong offset reads other data
// or unmapped guard space. A case "in every build" also runs the builds compared with
// those under test. Scans of 2^31 elements and more take minutes under emulation, and
// under the sanitizers, which see nothing of a mapped array: they are slow there
// (SLOW_TEST), but for those at the limits of the arm64 paths (an E2 past 2^32 rows,
// the last of an odd number of keys past offset 2^31) under emulation, and one per
// module under the sanitizers.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <stdexcept>

#include "module_test.h"

namespace {

const size_t kPage = 4096;

// An address range of `bytes` between two guard pages, inaccessible until pieces of
// a memfd of `file_bytes` are mapped into it.
class Virtual {
public:
    Virtual(size_t bytes, size_t file_bytes) : bytes_(round_up(bytes) + 2 * kPage)
    {
        fd_ = memfd_create("virtual-array", 0);
        if (fd_ < 0 || ftruncate(fd_, off_t(file_bytes)) != 0)
            throw std::runtime_error("memfd");
        file_bytes_ = file_bytes;
        void *f = mmap(nullptr, file_bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
        void *r = mmap(nullptr, bytes_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                       -1, 0);
        if (f == MAP_FAILED || r == MAP_FAILED)
            throw std::runtime_error("mmap");
        file_ = static_cast<double *>(f);
        reserved_ = static_cast<char *>(r);
    }
    ~Virtual()
    {
        munmap(reserved_, bytes_);
        munmap(file_, file_bytes_);
        close(fd_);
    }
    Virtual(const Virtual &) = delete;
    Virtual &operator=(const Virtual &) = delete;

    // The array's first element, after the leading guard page.
    double *data() const { return reinterpret_cast<double *>(reserved_ + kPage); }
    // The file's contents, as doubles, to fill before mapping.
    double *file() const { return file_; }
    // Shows `count` doubles of the file, from double `from`, at element `at` of the array.
    void map(size_t at, size_t from, size_t count)
    {
        void *want = data() + at;
        void *got = mmap(want, count * sizeof(double), PROT_READ, MAP_SHARED | MAP_FIXED, fd_,
                         off_t(from * sizeof(double)));
        if (got != want)
            throw std::runtime_error("mmap at a fixed address");
    }

private:
    static size_t round_up(size_t b) { return (b + kPage - 1) / kPage * kPage; }
    size_t bytes_, file_bytes_;
    int fd_;
    double *file_;
    char *reserved_;
};

SLOW_TEST(Largest, PermanentOfOrder12ReadsAllOfItsTableAt64BitOffsets, "sanitized emulated")
{
    // 12! rows in 1,925 repeats of a block of 248,832 random permutations. Each column
    // is one contiguous range that maps the column's own block again and again.
    const size_t n = 12, rows = 479001600, block = 248832, repeats = rows / block;
    ASSERT_EQ(repeats * block, rows);
    std::mt19937_64 rng(12);
    Virtual table(n * rows * sizeof(double), n * block * sizeof(double));
    std::vector<int> perm(n);
    std::vector<std::vector<int>> perms(block);
    for (size_t r = 0; r < block; ++r) {
        std::iota(perm.begin(), perm.end(), 0);
        std::shuffle(perm.begin(), perm.end(), rng);
        perms[r] = perm;
        for (size_t k = 0; k < n; ++k)
            table.file()[k * block + r] = perm[k] + 1;
    }
    for (size_t k = 0; k < n; ++k)
        for (size_t rep = 0; rep < repeats; ++rep)
            table.map(k * rows + rep * block, k * block, block);

    // Entries 1, 2 or 4: each product is a power of two of at most 2^24, so every
    // partial sum is a whole number below 2^53 and exact in any order.
    std::vector<int> exponent(n * n);
    std::vector<double> a(n * n);
    for (size_t i = 0; i < n * n; ++i) {
        exponent[i] = int(rng() % 3);
        a[i] = double(1 << exponent[i]);
    }
    uint64_t block_sum = 0;
    for (size_t r = 0; r < block; ++r) {
        int e = 0;
        for (size_t k = 0; k < n; ++k)
            e += exponent[k + size_t(perms[r][k]) * n];
        block_sum += uint64_t(1) << e;
    }
    const uint64_t want = block_sum * repeats;
    ASSERT_LT(want, uint64_t(1) << 53);

    Array A = doubles({n, n}, a);
    Array P = standin::wrap(Class::Double, {rows, n}, table.data());
    standin::Result r = call("permanent", 1, {A.get(), P.get()});
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_SAME_DOUBLE(standin::values(r.outputs[0].get())[0], double(want));
}

SLOW_TEST(Largest, PermanentChecksEntriesPastOffset2To32InEveryBuild, "emulated")
{
    // The plain loop reads row 1 across all 12 columns first, those from the 10th on
    // past offset 2^32; its 12th entry, at 11 * 12!, selects no column. Only the first
    // 2048 rows of each column (the AVX2 kernel's first block) are mapped: a read
    // anywhere else faults.
    const size_t n = 12, rows = 479001600, head = 2048;
    Virtual table(n * rows * sizeof(double), n * head * sizeof(double));
    for (size_t k = 0; k < n; ++k) {
        for (size_t r = 0; r < head; ++r)
            table.file()[k * head + r] = r == 0 ? double(k + 1) : 1.0;
        table.map(k * rows, k * head, head);
    }
    table.file()[(n - 1) * head] = 13;
    Array A = doubles({n, n}, std::vector<double>(n * n, 1.0));
    Array P = standin::wrap(Class::Double, {rows, n}, table.data());
    for (const std::string &dir : every_build())
        EXPECT_EQ(standin::call(module_in(dir, "permanent"), 1, {A.get(), P.get()}).error,
                  reference::permanent::kEntry) << dir;
}

// An edge list of 2^31 + 2^20 rows (or more): only the last 2^20 hold data of their
// own, and only there are the other node and the values mapped; the node the join
// compares (column `key`: 1 for E1, 0 for E2) is 0 elsewhere.
class HugeEdgeList {
public:
    static const size_t kTail = size_t(1) << 20;
    static const size_t kRows = (size_t(1) << 31) + kTail;

    explicit HugeEdgeList(size_t rows = kRows, size_t key = 1)
        : edges_(3 * rows * sizeof(double), 4 * kTail * sizeof(double))
    {
        // The file: zeros, then the tail's other nodes, compared nodes and values.
        double *f = edges_.file();
        for (size_t r = 0; r < kTail; ++r) {
            f[kTail + r] = 1000.0 + double(r);
            f[3 * kTail + r] = -0.5 - double(r);
        }
        for (size_t r : matched)
            f[2 * kTail + r] = 5.0;
        const size_t start = rows - kTail;
        for (size_t at = 0; at < start; at += kTail)
            edges_.map(key * rows + at, 0, kTail);
        edges_.map((1 - key) * rows + start, kTail, kTail);
        edges_.map(key * rows + start, 2 * kTail, kTail);
        edges_.map(2 * rows + start, 3 * kTail, kTail);
        array_ = standin::wrap(Class::Double, {rows, 3}, edges_.data());
    }
    const mxArray *get() const { return array_.get(); }

    // Rows of the tail whose compared node is 5, the last row of all among them.
    const std::vector<size_t> matched = {0, 777, kTail - 1};

private:
    Virtual edges_;
    Array array_;
};

SLOW_TEST(Largest, EdgejoinReadsMoreThan2To31EdgesAt64BitOffsets, "sanitized emulated")
{
    HugeEdgeList e1;
    Array e2 = matrix({{5, 8, 0.25}});
    standin::Result r = call("edgejoin", 2, {e1.get(), e2.get()});
    ASSERT_FALSE(r.failed) << r.error;
    size_t n = e1.matched.size();
    std::vector<double> e(3 * n, 0.0), w(2 * n);
    for (size_t k = 0; k < n; ++k) {
        e[k] = 1000.0 + double(e1.matched[k]);
        e[k + n] = 8;
        w[k] = -0.5 - double(e1.matched[k]);
        w[k + n] = 0.25;
    }
    EXPECT_EQ(standin::dims(r.outputs[0].get()), (std::vector<size_t>{n, 3}));
    EXPECT_EQ(standin::values(r.outputs[0].get()), e);
    EXPECT_EQ(standin::values(r.outputs[1].get()), w);
}

SLOW_TEST(Largest, EdgejoinWritesMatchesPastRow2To32OfE2, "sanitized")
{
    // Two keys, which the filling pass could take in one sweep, but E2's row numbers
    // past 2^32 do not fit the 32-bit lists that sweep holds matches in.
    HugeEdgeList e2((size_t(1) << 32) + HugeEdgeList::kTail, 0);
    Array e1 = matrix({{1, 5, 0.25}, {2, 5, 0.5}});
    standin::Result r = call("edgejoin", 2, {e1.get(), e2.get()});
    ASSERT_FALSE(r.failed) << r.error;
    std::vector<double> from, to, v1, v2;
    for (double i : {1, 2})
        for (size_t j : e2.matched) {
            from.push_back(i), to.push_back(1000.0 + double(j));
            v1.push_back(i / 4), v2.push_back(-0.5 - double(j));
        }
    std::vector<double> e = from, w = v1;
    e.insert(e.end(), to.begin(), to.end());
    e.insert(e.end(), from.size(), 0.0);
    w.insert(w.end(), v2.begin(), v2.end());
    EXPECT_EQ(standin::values(r.outputs[0].get()), e);
    EXPECT_EQ(standin::values(r.outputs[1].get()), w);
}

SLOW_TEST(Largest, EdgejoinJoinsTheLastOfAnOddNumberOfKeysPastOffset2To31, "sanitized")
{
    // Keys come in pairs but the last of an odd number alone; 2^30 + 1 keys put that
    // key at offset 2^31 + 1 of E1. Every element is 0 but the last key, 5.
    const size_t p = (size_t(1) << 30) + 1, piece = size_t(1) << 20, page = kPage / 8;
    Virtual e1(3 * p * sizeof(double), (piece + page) * sizeof(double));
    const size_t key = 2 * p - 1, key_page = key / page * page;
    e1.file()[piece + key - key_page] = 5.0;
    for (size_t at = 0; at < 3 * p; at += piece)
        e1.map(at, 0, std::min(piece, 3 * p - at));
    e1.map(key_page, piece, page);
    Array E1 = standin::wrap(Class::Double, {p, 3}, e1.data());
    Array E2 = matrix({{5, 8, 0.25}});
    for (const std::string &dir : every_build()) {
        standin::Result r = standin::call(module_in(dir, "edgejoin"), 2, {E1.get(), E2.get()});
        ASSERT_FALSE(r.failed) << r.error << " (" << dir << ")";
        EXPECT_EQ(standin::values(r.outputs[0].get()), (std::vector<double>{0, 8, 0})) << dir;
        EXPECT_EQ(standin::values(r.outputs[1].get()), (std::vector<double>{0, 0.25})) << dir;
    }
}

SLOW_TEST(Largest, EdgejoinRefusesMoreThan2To31Minus1JoinsBeforeCreatingOutputs, "emulated")
{
    // Node 0 meets the 2^31 + 2^20 - 3 edges whose second node is 0.
    HugeEdgeList e1;
    Array e2 = matrix({{0, 1, 1}});
    Trace t = trace_of("edgejoin", 2, {e1.get(), e2.get()});
    EXPECT_EQ(t.back(), std::string("mexErrMsgTxt(") + reference::edgejoin::kJoins + ")");
    for (auto &call : t)
        EXPECT_EQ(call.find("mxCreateDoubleMatrix_700"), std::string::npos) << call;
}

SLOW_TEST(Largest, ExpandTallyReads2To31Minus1CountsAt64BitOffsets, "emulated")
{
    // All counts 0 but three in the last 2^20; the element just past the end is NaN,
    // which any read beyond the array would report.
    const size_t n = INT32_MAX, tail = size_t(1) << 20, start = (size_t(1) << 31) - tail;
    Virtual counts(n * sizeof(double), 2 * tail * sizeof(double));
    double *f = counts.file();
    f[tail + (n - 1 - start)] = 2;
    f[tail + (n - 2 - start)] = 1;
    f[tail + 5] = 3.5;
    f[tail + (n - start)] = NAN;
    for (size_t at = 0; at < start; at += tail)
        counts.map(at, 0, tail);
    counts.map(start, tail, tail);
    Array c = standin::wrap(Class::Double, {1, n}, counts.data());
    standin::Result r = call("expandTally", 2, {c.get()});
    ASSERT_FALSE(r.failed) << r.error;
    const double first = double(start + 6), last = double(n);
    EXPECT_EQ(standin::values(r.outputs[0].get()),
              (std::vector<double>{first, first, first, last - 1, last, last}));
    EXPECT_EQ(standin::values(r.outputs[1].get())[0], 6.0 * 1.0 * 2.0);
}

} // namespace
