// Each module's reference, written once for the unit suites, the fuzzers and the bench's
// plain builds: its messages, its checks in their order, and its plain loops in the
// order of operations the module promises. Plain C++ over raw arrays, so that a plain
// module (bench/plain) needs nothing else.
#ifndef REFERENCE_H
#define REFERENCE_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace reference {

// What the checks see of an input, as the host shows it.
struct Input {
    bool is_double = true;
    bool sparse = false;
    std::vector<size_t> dims;    // at least two
    const double *re = nullptr;  // real parts, column-major
    bool backed = true;          // false: no data behind it, so it may not be read

    uint64_t rows() const { return dims[0]; }
    uint64_t columns() const   // mxGetN: every dimension past the first
    {
        uint64_t n = 1;
        for (size_t d = 1; d < dims.size(); ++d)
            n *= dims[d];
        return n;
    }
};

// A call's outcome: the message of the check that fails, or the outputs ({message},
// {nullptr, true} or {nullptr, false, dims, values}).
struct Outcome {
    const char *message = nullptr;
    bool unread = false;   // it would read an input without data
    std::vector<std::vector<size_t>> dims;
    std::vector<std::vector<double>> values;
};

namespace permanent {

const char *const kCounts = "Needs 2 inputs and 1 output";
const char *const kClass = "Input 1 and 2 need to be double type";
const char *const kFull = "Input 1 and 2 need to be full matrices";
const char *const kSquare = "Input 1 needs to be a square matrix and needs to have the same "
                            "number of rows as the number of column of the second argument";
const char *const kColumns = "Input 2 should have the same number of column as Input 1 "
                             "(# of rows not checked)";
const char *const kRows = "Input 2 should have fact(n) rows";
const char *const kEntry = "Input 2 entries need to select a column of Input 1";
const char *const kMessages[] = {kCounts, kClass, kFull, kSquare, kColumns, kRows, kEntry};

// n!, for n up to 20 (the largest that 64 bits hold).
inline uint64_t factorial(uint64_t n)
{
    uint64_t f = 1;
    for (uint64_t k = 2; k <= n; ++k)
        f *= k;
    return f;
}

// The checks that read no entry, in order: null when all pass.
inline const char *check(int nlhs, const std::vector<Input> &in)
{
    if (nlhs != 1 || in.size() != 2)
        return kCounts;
    const Input &a = in[0], &p = in[1];
    if (!a.is_double || !p.is_double)
        return kClass;
    if (a.sparse || p.sparse)
        return kFull;
    if (a.dims.size() != 2 || a.rows() != p.columns())
        return kSquare;
    if (p.columns() != a.columns())
        return kColumns;
    if (p.columns() > 20 || p.rows() != factorial(p.columns()))
        return kRows;
    return nullptr;
}

// Each row's product in column order from 1, the rows' sum in row order from 0.
// Entry v selects column trunc(v - 1) + 1; false at an entry that selects none, unless
// the entries are trusted (the bench's plain build).
template <bool kTrusted = false>
inline bool sum(const double *a, uint64_t n, const double *p, uint64_t rows, double *sum)
{
    double s = 0.0;
    for (uint64_t j = 0; j < rows; ++j) {
        double product = 1.0;
        for (uint64_t k = 0; k < n; ++k) {
            const double column = p[j + k * rows] - 1.0;
            if (!kTrusted && !(column > -1.0 && column < (double)n))   // NaN fails too
                return false;
            product = product * a[k + (uint64_t)(int32_t)column * n];
        }
        s = product + s;
    }
    *sum = s;
    return true;
}

inline Outcome outcome(int nlhs, const std::vector<Input> &in)
{
    if (const char *message = check(nlhs, in))
        return {message};
    const Input &a = in[0], &p = in[1];
    if (!a.backed || !p.backed)
        return {nullptr, true};
    double s;
    if (!sum(a.re, a.rows(), p.re, p.rows(), &s))
        return {kEntry};
    return {nullptr, false, {{1, 1}}, {{s}}};
}

} // namespace permanent

namespace expandTally {

const char *const kCounts = "Needs 1 inputs and 2 outputs";
const char *const kClass = "Inputs needs to be double type";
const char *const kFull = "Input needs to be a full matrix";
const char *const kElements = "Input needs to have at most 2^31-1 elements";
const char *const kRange = "Input counts need to be between 0 and 2^31-1";
const char *const kTotal = "Input counts need to sum to at most 2^31-1";
const char *const kMessages[] = {kCounts, kClass, kFull, kElements, kRange, kTotal};

// The checks that read no count, in order: null when all pass.
inline const char *check(int nlhs, const std::vector<Input> &in)
{
    if (nlhs != 2 || in.size() != 1)
        return kCounts;
    if (!in[0].is_double)
        return kClass;
    if (in[0].sparse)
        return kFull;
    if (in[0].rows() * in[0].columns() > INT32_MAX)
        return kElements;
    return nullptr;
}

// The counts' sum, truncated toward zero, or the message of the first limit met count
// by count: a count outside 0..2^31-1 (NaN too), or the sum past 2^31-1. Each count's
// range is known before it is converted, unless the counts are trusted.
struct Total {
    int64_t total;
    const char *message;
};
template <bool kTrusted = false> inline Total total(const double *c, uint64_t elements)
{
    int64_t total = 0;
    for (uint64_t k = 0; k < elements; ++k) {
        if (!kTrusted && !(c[k] > -1.0 && c[k] < 2147483648.0))
            return {total, kRange};
        total += (int32_t)c[k];
        if (!kTrusted && total > INT32_MAX)
            return {total, kTotal};
    }
    return {total, nullptr};
}

// Position k (from 1) c(k) times into list, and the product of the counts' factorials:
// one running product times 1, 2, ..., c(k) for k in order.
inline double expand(const double *c, uint64_t elements, double *list)
{
    double product = 1.0;
    uint64_t written = 0;
    for (uint64_t k = 0; k < elements; ++k) {
        const int32_t count = (int32_t)c[k];
        for (int32_t l = 1; l <= count; ++l) {
            list[written++] = (double)(k + 1);
            product = product * (double)l;
        }
    }
    return product;
}

// A list longer than largest_list is not built (unread), to keep callers quick.
inline Outcome outcome_upto(int nlhs, const std::vector<Input> &in, int64_t largest_list)
{
    if (const char *message = check(nlhs, in))
        return {message};
    const Input &c = in[0];
    if (!c.backed)
        return {nullptr, true};
    const uint64_t elements = c.rows() * c.columns();
    const Total t = total(c.re, elements);
    if (t.message)
        return {t.message};
    if (t.total > largest_list)
        return {nullptr, true};
    std::vector<double> list((size_t)t.total);
    const double f = expand(c.re, elements, list.data());
    return {nullptr, false, {{1, list.size()}, {1, 1}}, {list, {f}}};
}

inline Outcome outcome(int nlhs, const std::vector<Input> &in)
{
    return outcome_upto(nlhs, in, INT32_MAX);
}

} // namespace expandTally

namespace edgejoin {

const char *const kCounts = "Needs 2 inputs and 2 outputs";
const char *const kClass = "Inputs need to be double type";
const char *const kFull = "Inputs need to be full matrices";
const char *const kColumns = "Inputs need to be nEdges x 3 matrices";
const char *const kDims = "Inputs need to be 2-D matrices";
const char *const kJoins = "Inputs need to give at most 2^31-1 joined edges";
const char *const kMessages[] = {kCounts, kClass, kFull, kColumns, kDims, kJoins};

// The checks that read no node, in order: null when all pass.
inline const char *check(int nlhs, const std::vector<Input> &in)
{
    if (nlhs != 2 || in.size() != 2)
        return kCounts;
    const Input &e1 = in[0], &e2 = in[1];
    if (!e1.is_double || !e2.is_double)
        return kClass;
    if (e1.sparse || e2.sparse)
        return kFull;
    if (e1.columns() != 3 || e2.columns() != 3)
        return kColumns;
    if (e1.dims.size() != 2 || e2.dims.size() != 2)
        return kDims;
    return nullptr;
}

// Rows of E1 and E2 whose nodes meet (E1's second, E2's first, IEEE equality), every
// pair in order i then j.
inline uint64_t count(const double *e1, uint64_t rows1, const double *e2, uint64_t rows2)
{
    uint64_t joined = 0;
    for (uint64_t i = 0; i < rows1; ++i)
        for (uint64_t j = 0; j < rows2; ++j)
            joined += e1[i + rows1] == e2[j];
    return joined;
}

// The joined rows in the same order: E = [E1 first node, E2 second node, 0],
// W = [E1 value, E2 value], each a column-major matrix of `joined` rows.
inline void fill(const double *e1, uint64_t rows1, const double *e2, uint64_t rows2,
                 double *e, double *w, uint64_t joined)
{
    uint64_t row = 0;
    for (uint64_t i = 0; i < rows1; ++i)
        for (uint64_t j = 0; j < rows2; ++j)
            if (e1[i + rows1] == e2[j]) {
                e[row] = e1[i];
                e[row + joined] = e2[j + rows2];
                e[row + 2 * joined] = 0.0;
                w[row] = e1[i + 2 * rows1];
                w[row + joined] = e2[j + 2 * rows2];
                ++row;
            }
}

inline Outcome outcome(int nlhs, const std::vector<Input> &in)
{
    if (const char *message = check(nlhs, in))
        return {message};
    const Input &e1 = in[0], &e2 = in[1];
    if (!e1.backed || !e2.backed)
        return {nullptr, true};
    const uint64_t joined = count(e1.re, e1.rows(), e2.re, e2.rows());
    if (joined > INT32_MAX)
        return {kJoins};
    std::vector<double> e(3 * joined), w(2 * joined);
    fill(e1.re, e1.rows(), e2.re, e2.rows(), e.data(), w.data(), joined);
    return {nullptr, false, {{(size_t)joined, 3}, {(size_t)joined, 2}}, {e, w}};
}

} // namespace edgejoin

} // namespace reference

#endif
