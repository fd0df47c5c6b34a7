#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>

#include "module_test.h"

namespace {

using namespace reference::permanent;

double permanent(const mxArray *a, const mxArray *p)
{
    standin::Result r = call("permanent", 1, {a, p});
    EXPECT_FALSE(r.failed) << r.error;
    if (r.failed)
        return NAN;
    EXPECT_EQ(standin::dims(r.outputs[0].get()), (std::vector<size_t>{1, 1}));
    return standin::values(r.outputs[0].get())[0];
}

// Every permutation of 1..n, one per row, rows in a random order.
std::vector<double> shuffled_table(size_t n, std::mt19937_64 &rng, size_t *rows)
{
    std::vector<std::vector<double>> perms;
    std::vector<double> perm(n);
    std::iota(perm.begin(), perm.end(), 1.0);
    do
        perms.push_back(perm);
    while (std::next_permutation(perm.begin(), perm.end()));
    std::shuffle(perms.begin(), perms.end(), rng);
    *rows = perms.size();
    std::vector<double> table(perms.size() * n);
    for (size_t j = 0; j < perms.size(); ++j)
        for (size_t k = 0; k < n; ++k)
            table[j + k * perms.size()] = perms[j][k];
    return table;
}

TEST(Permanent, WorkedExamples)
{
    EXPECT_EQ(permanent(matrix({{1, 2}, {3, 4}}).get(), matrix({{1, 2}, {2, 1}}).get()), 10);
    EXPECT_EQ(permanent(scalar(-2.5).get(), scalar(1).get()), -2.5);
    // A repeating table is summed all the same: 1*3 + 1*3.
    EXPECT_EQ(permanent(matrix({{1, 2}, {3, 4}}).get(), matrix({{1, 1}, {1, 1}}).get()), 6);
    // Entries are truncated after subtracting 1: 0.5 and 1.9 select column 1, 2.5 column 2.
    EXPECT_EQ(permanent(matrix({{1, 2}, {3, 4}}).get(), matrix({{0.5, 2.5}, {1.9, 1}}).get()),
              1 * 4 + 1 * 3);
    // A 2 x 1 x 2 table counts as 2 rows and 2 columns.
    Array table3d = doubles({2, 1, 2}, {1, 2, 2, 1});
    EXPECT_EQ(permanent(matrix({{1, 2}, {3, 4}}).get(), table3d.get()), 10);
    // Order 0: one row of no columns gives the empty product.
    EXPECT_EQ(permanent(doubles({0, 0}, {}).get(), doubles({1, 0}, {}).get()), 1);
}

TEST(Permanent, IeeeValuesAndComplexInputs)
{
    EXPECT_TRUE(std::isnan(permanent(matrix({{NAN, 2}, {3, 4}}).get(),
                                     matrix({{1, 2}, {2, 1}}).get())));
    // Inf * 0 in one row's product gives NaN.
    EXPECT_TRUE(std::isnan(permanent(matrix({{INFINITY, 2}, {3, 0}}).get(),
                                     matrix({{1, 2}, {2, 1}}).get())));
    EXPECT_EQ(permanent(matrix({{INFINITY, 2}, {3, 1}}).get(), matrix({{1, 2}, {2, 1}}).get()),
              INFINITY);
    // Only real parts are read.
    Array a = standin::create(Class::Double, {2, 2}, true);
    Array p = standin::create(Class::Double, {2, 2}, true);
    double ar[] = {1, 3, 2, 4}, ai[] = {9, 9, 9, 9}, pr[] = {1, 2, 2, 1}, pi[] = {7, 7, 7, 7};
    std::memcpy(standin::real_data(a.get()), ar, sizeof ar);
    std::memcpy(standin::imag_data(a.get()), ai, sizeof ai);
    std::memcpy(standin::real_data(p.get()), pr, sizeof pr);
    std::memcpy(standin::imag_data(p.get()), pi, sizeof pi);
    EXPECT_EQ(permanent(a.get(), p.get()), 10);
}

TEST(Permanent, BitExactAgainstPlainLoopsOnShuffledTables)
{
    std::mt19937_64 rng(20261208);
    std::uniform_real_distribution<double> unit(-1, 1);
    std::uniform_int_distribution<int> scale(-40, 40);
    for (size_t n = 0; n <= 9; ++n) {
        size_t rows;
        std::vector<double> table = shuffled_table(n, rng, &rows);
        std::vector<double> a(n * n);
        for (double &x : a)
            x = std::ldexp(unit(rng), scale(rng));
        SCOPED_TRACE("n = " + std::to_string(n));
        expect_as_reference("permanent", outcome, 1, {{{n, n}, a}, {{rows, n}, table}});
    }
}

struct Rejected {
    const char *what;
    int nlhs;
    std::vector<Array> inputs;
    const char *message;
};

TEST(Permanent, EachCheckGivesItsMessageInOrder)
{
    std::vector<Rejected> cases;
    auto add = [&](const char *what, int nlhs, std::vector<Array> in, const char *message) {
        cases.push_back({what, nlhs, std::move(in), message});
    };
    auto A2 = [] { return matrix({{1, 2}, {3, 4}}); };
    auto P2 = [] { return matrix({{1, 2}, {2, 1}}); };
    auto single = [] { return standin::create(Class::Single, {2, 2}); };
    add("no output assigned", 0, arrays(A2(), P2()), kCounts);
    add("two outputs", 2, arrays(A2(), P2()), kCounts);
    add("one input", 1, arrays(A2()), kCounts);
    add("three inputs", 1, arrays(A2(), P2(), P2()), kCounts);
    add("counts before class", 0, arrays(single(), single()), kCounts);
    add("single A", 1, arrays(single(), P2()), kClass);
    add("single table", 1, arrays(A2(), single()), kClass);
    add("int32 A", 1, arrays(standin::create(Class::Int32, {2, 2}), P2()), kClass);
    add("logical table", 1, arrays(A2(), standin::create(Class::Logical, {2, 2})), kClass);
    add("char A", 1, arrays(standin::create(Class::Char, {2, 2}), P2()), kClass);
    add("class before sparse", 1, arrays(standin::sparse(2, 2, {1}), single()), kClass);
    add("sparse A", 1, arrays(standin::sparse(2, 2, {1, 2}), P2()), kFull);
    add("sparse table", 1, arrays(A2(), standin::sparse(2, 2, {1})), kFull);
    add("2 x 2 x 2 A", 1, arrays(doubles({2, 2, 2}, std::vector<double>(8, 1)), P2()), kSquare);
    add("3 x 3 A, 2-column table", 1, arrays(doubles({3, 3}, std::vector<double>(9, 1)), P2()),
        kSquare);
    add("2 x 3 A, 2-column table", 1, arrays(doubles({2, 3}, std::vector<double>(6, 1)), P2()),
        kColumns);
    add("5-row table for n = 3", 1,
        arrays(doubles({3, 3}, std::vector<double>(9, 1)),
               doubles({5, 3}, std::vector<double>(15, 1))),
        kRows);
    add("empty table for n = 0", 1, arrays(doubles({0, 0}, {}), doubles({0, 0}, {})), kRows);
    add("table without rows", 1, arrays(A2(), doubles({0, 2}, {})), kRows);
    for (auto &c : cases) {
        EXPECT_EQ(error_of("permanent", c.nlhs, handles(c.inputs)), c.message) << c.what;
    }
}

TEST(Permanent, OrderOf21FailsTheRowCheckWithoutReadingTheTable)
{
    // 21! modulo 2^64 rows: a count that only an unchecked 64-bit factorial would match.
    const size_t wrapped = 14197454024290336768u;
    Array a = doubles({21, 21}, std::vector<double>(441, 1));
    for (size_t rows : {size_t(0), size_t(1), wrapped}) {
        Array p = standin::wrap(Class::Double, {rows, 21}, nullptr);
        EXPECT_EQ(error_of("permanent", 1, {a.get(), p.get()}), kRows) << rows;
    }
}

TEST(Permanent, EntriesThatSelectNoColumnAreRejected)
{
    const double tiny = std::ldexp(1.0, -60), big = std::numeric_limits<double>::max();
    for (double bad : {0.0, -0.0, -0.5, 3.0, 4.0, 1e300, big, -big, tiny, double(NAN),
                       double(INFINITY), double(-INFINITY), 2147483649.0, -2147483649.0}) {
        // The bad entry sits in the last row, so a partial sum exists when it is met.
        Array a = matrix({{1, 2}, {3, 4}});
        Array table = doubles({2, 2}, {1, 2, 2, bad});
        EXPECT_EQ(error_of("permanent", 1, {a.get(), table.get()}), kEntry) << bad;
    }
    // The largest entries that still select column 2 of an order-2 matrix.
    Array a = matrix({{1, 2}, {3, 4}});
    EXPECT_EQ(permanent(a.get(), matrix({{1, 2.999}, {2, 1}}).get()), 10);
    EXPECT_EQ(permanent(a.get(), matrix({{1, std::nextafter(3.0, 0.0)}, {2, 1}}).get()), 10);
    // Just above 2^-53, v - 1 rounds above -1 and selects column 1.
    EXPECT_EQ(permanent(a.get(), matrix({{std::ldexp(1.0, -52), 2}, {2, 1}}).get()), 10);
}

TEST(Permanent, HostCallsFollowTheDocumentedOrder)
{
    const Trace head = {"mxIsDouble(in1)", "mxIsDouble(in2)", "mxIsSparse(in1)",
                        "mxIsSparse(in2)", "mxGetNumberOfDimensions_700(in1)", "mxGetM(in1)",
                        "mxGetN(in2)", "mxGetN(in2)", "mxGetN(in1)", "mxGetM(in2)",
                        "mxGetN(in2)"};
    Trace valid = head;
    valid.insert(valid.end(), {"mxCreateDoubleMatrix_700(1,1,0)=new1", "mxGetPr(new1)",
                               "mxGetPr(in1)", "mxGetPr(in2)", "mxGetM(in2)", "mxGetN(in2)"});
    Array a = matrix({{1, 2}, {3, 4}}), p = matrix({{1, 2}, {2, 1}});
    EXPECT_EQ(trace_of("permanent", 1, {a.get(), p.get()}), valid);

    auto upto = [&](size_t n, const char *message) {
        Trace t(head.begin(), head.begin() + n);
        t.push_back(std::string("mexErrMsgTxt(") + message + ")");
        return t;
    };
    Array single = standin::create(Class::Single, {2, 2});
    Array sparse = standin::sparse(2, 2, {1});
    Array cube = doubles({2, 2, 2}, std::vector<double>(8, 1));
    Array wide = doubles({2, 3}, std::vector<double>(6, 1));
    Array short_table = doubles({1, 2}, {1, 2});
    Array bad_table = matrix({{1, 2}, {2, 9}});
    EXPECT_EQ(trace_of("permanent", 0, {a.get(), p.get()}), upto(0, kCounts));
    EXPECT_EQ(trace_of("permanent", 1, {single.get(), p.get()}), upto(1, kClass));
    EXPECT_EQ(trace_of("permanent", 1, {a.get(), single.get()}), upto(2, kClass));
    EXPECT_EQ(trace_of("permanent", 1, {sparse.get(), p.get()}), upto(3, kFull));
    EXPECT_EQ(trace_of("permanent", 1, {a.get(), sparse.get()}), upto(4, kFull));
    EXPECT_EQ(trace_of("permanent", 1, {cube.get(), p.get()}), upto(5, kSquare));
    EXPECT_EQ(trace_of("permanent", 1, {wide.get(), p.get()}), upto(9, kColumns));
    EXPECT_EQ(trace_of("permanent", 1, {a.get(), short_table.get()}), upto(11, kRows));
    Trace entry = valid;
    entry.push_back(std::string("mexErrMsgTxt(") + kEntry + ")");
    EXPECT_EQ(trace_of("permanent", 1, {a.get(), bad_table.get()}), entry);
}

} // namespace
