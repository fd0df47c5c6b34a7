#include <cmath>
#include <random>

#include "module_test.h"

namespace {

using namespace reference::edgejoin;

void expect_join(const Array &e1, const Array &e2, const Array &e, const Array &w)
{
    expect_outcome("edgejoin", 2, {e1.get(), e2.get()},
                   {nullptr, false, {standin::dims(e.get()), standin::dims(w.get())},
                    {standin::values(e.get()), standin::values(w.get())}});
}

Array none(size_t columns) { return doubles({0, columns}, {}); }

TEST(Edgejoin, WorkedExamples)
{
    expect_join(matrix({{1, 2, 10}}), matrix({{2, 3, 20}, {2, 4, 30}}),
                matrix({{1, 3, 0}, {1, 4, 0}}), matrix({{10, 20}, {10, 30}}));
    expect_join(matrix({{1, 5, 10}, {2, 5, 20}}), matrix({{5, 7, 30}, {5, 8, 40}}),
                matrix({{1, 7, 0}, {1, 8, 0}, {2, 7, 0}, {2, 8, 0}}),
                matrix({{10, 30}, {10, 40}, {20, 30}, {20, 40}}));
    // The non-matching E2 row is skipped; rows keep E2's order, not the nodes' order.
    expect_join(matrix({{1, 2, 7}}), matrix({{2, 9, 1}, {3, 4, 5}, {2, 8, 2}}),
                matrix({{1, 9, 0}, {1, 8, 0}}), matrix({{7, 1}, {7, 2}}));
    // An edge whose nodes are equal joins with itself.
    Array loop = matrix({{4, 4, 1}, {1, 2, 3}});
    expect_join(loop, loop, matrix({{4, 4, 0}}), matrix({{1, 1}}));
}

TEST(Edgejoin, EmptyResultsKeepTheirColumnCounts)
{
    Array some = matrix({{1, 2, 3}});
    Array other = matrix({{7, 8, 9}});
    expect_join(none(3), none(3), none(3), none(2));
    expect_join(none(3), some, none(3), none(2));
    expect_join(some, none(3), none(3), none(2));
    expect_join(some, other, none(3), none(2));
}

TEST(Edgejoin, NodesMatchByIeeeEquality)
{
    expect_join(matrix({{1, -0.0, 5}}), matrix({{0.0, 2, 6}}), matrix({{1, 2, 0}}),
                matrix({{5, 6}}));
    expect_join(matrix({{1, NAN, 5}}), matrix({{NAN, 2, 6}}), none(3), none(2));
    expect_join(matrix({{1, 0.5, 5}}), matrix({{0.5, 2, 6}}), matrix({{1, 2, 0}}),
                matrix({{5, 6}}));
    expect_join(matrix({{1, 1, 5}}), matrix({{1 + std::ldexp(1.0, -52), 2, 6}}), none(3),
                none(2));
    expect_join(matrix({{1, INFINITY, 5}}), matrix({{INFINITY, 2, 6}, {-INFINITY, 3, 7}}),
                matrix({{1, 2, 0}}), matrix({{5, 6}}));
    // Copied values arrive unchanged: NaN, infinities and -0 in nodes and values.
    expect_join(matrix({{NAN, 3, -0.0}}), matrix({{3, -INFINITY, NAN}}),
                matrix({{NAN, -INFINITY, 0}}), matrix({{-0.0, NAN}}));
}

TEST(Edgejoin, ComplexInputsUseRealParts)
{
    Array e1 = standin::create(Class::Double, {1, 3}, true);
    Array e2 = standin::create(Class::Double, {1, 3}, true);
    double r1[] = {1, 2, 3}, r2[] = {2, 5, 6}, im[] = {9, 9, 9};
    std::memcpy(standin::real_data(e1.get()), r1, sizeof r1);
    std::memcpy(standin::real_data(e2.get()), r2, sizeof r2);
    std::memcpy(standin::imag_data(e1.get()), im, sizeof im);
    std::memcpy(standin::imag_data(e2.get()), im, sizeof im);
    expect_join(e1, e2, matrix({{1, 5, 0}}), matrix({{3, 6}}));
}

TEST(Edgejoin, BitExactAgainstPlainLoopsOnSmallAlphabets)
{
    std::mt19937_64 rng(42);
    const double alphabet[] = {0.0, -0.0, 1.0, 2.5, -3.0, NAN, INFINITY, 1e300};
    for (int trial = 0; trial < 100; ++trial) {
        std::uniform_int_distribution<size_t> size(0, 70);
        std::uniform_int_distribution<int> node(0, 2 + trial % 6);
        std::normal_distribution<double> value;
        size_t p = size(rng), q = size(rng);
        std::vector<double> e1(3 * p), e2(3 * q);
        for (size_t i = 0; i < p; ++i)
            e1[i] = alphabet[node(rng)], e1[i + p] = alphabet[node(rng)], e1[i + 2 * p] = value(rng);
        for (size_t j = 0; j < q; ++j)
            e2[j] = alphabet[node(rng)], e2[j + q] = alphabet[node(rng)], e2[j + 2 * q] = value(rng);
        expect_as_reference("edgejoin", outcome, 2, {{{p, 3}, e1}, {{q, 3}, e2}});
    }
}

TEST(Edgejoin, EachCheckGivesItsMessageInOrder)
{
    Array e = matrix({{1, 2, 3}});
    Array single = standin::create(Class::Single, {2, 3});
    EXPECT_EQ(error_of("edgejoin", 0, {e.get(), e.get()}), kCounts);
    EXPECT_EQ(error_of("edgejoin", 1, {e.get(), e.get()}), kCounts);
    EXPECT_EQ(error_of("edgejoin", 3, {e.get(), e.get()}), kCounts);
    EXPECT_EQ(error_of("edgejoin", 2, {e.get()}), kCounts);
    EXPECT_EQ(error_of("edgejoin", 2, {e.get(), e.get(), e.get()}), kCounts);
    for (Class cls : {Class::Single, Class::Int32, Class::Logical, Class::Char}) {
        Array other = standin::create(cls, {2, 3});
        EXPECT_EQ(error_of("edgejoin", 2, {other.get(), e.get()}), kClass);
        EXPECT_EQ(error_of("edgejoin", 2, {e.get(), other.get()}), kClass);
    }
    Array sparse = standin::sparse(2, 3, {1});
    EXPECT_EQ(error_of("edgejoin", 2, {sparse.get(), single.get()}), kClass);
    EXPECT_EQ(error_of("edgejoin", 2, {e.get(), sparse.get()}), kFull);
    for (auto shape : std::vector<std::vector<size_t>>{{2, 2}, {2, 4}, {3, 1}, {0, 0}, {2, 3, 2}}) {
        Array bad = standin::create(Class::Double, shape);
        EXPECT_EQ(error_of("edgejoin", 2, {bad.get(), e.get()}), kColumns);
        EXPECT_EQ(error_of("edgejoin", 2, {e.get(), bad.get()}), kColumns);
    }
    // Column count 3 but three dimensions: the column test passes, the dimension test fails.
    Array deep = standin::create(Class::Double, {2, 1, 3});
    EXPECT_EQ(error_of("edgejoin", 2, {deep.get(), e.get()}), kDims);
    EXPECT_EQ(error_of("edgejoin", 2, {e.get(), deep.get()}), kDims);
    // The whole 64-bit column count: 2^32 + 3 columns is not 3.
    Array wide = standin::wrap(Class::Double, {0, (size_t(1) << 32) + 3}, nullptr);
    EXPECT_EQ(error_of("edgejoin", 2, {wide.get(), e.get()}), kColumns);
}

// Two billion comparisons take minutes under Valgrind.
SLOW_TEST(Edgejoin, JoinCountsBeyond32BitsAreRejectedBeforeAnyOutput, "valgrind penryn")
{
    // 46341^2 = 2,147,488,281 joins, just past 2^31 - 1.
    const size_t p = 46341;
    std::vector<double> ones(3 * p, 1.0);
    Array e = doubles({p, 3}, ones);
    Trace t = trace_of("edgejoin", 2, {e.get(), e.get()});
    EXPECT_EQ(t.back(), std::string("mexErrMsgTxt(") + kJoins + ")");
    for (auto &call : t)
        EXPECT_EQ(call.find("mxCreateDoubleMatrix_700"), std::string::npos) << call;
    // 46340^2 = 2,147,395,600 fits; it is counted but not built here.
}

TEST(Edgejoin, HostCallsFollowTheDocumentedOrder)
{
    Array e1 = matrix({{1, 2, 10}}), e2 = matrix({{2, 3, 20}, {2, 4, 30}});
    const Trace head = {"mxIsDouble(in1)", "mxIsDouble(in2)", "mxIsSparse(in1)",
                        "mxIsSparse(in2)", "mxGetN(in1)", "mxGetN(in2)",
                        "mxGetNumberOfDimensions_700(in1)", "mxGetNumberOfDimensions_700(in2)",
                        "mxGetM(in1)", "mxGetM(in2)", "mxGetPr(in1)", "mxGetPr(in2)"};
    Trace valid = head;
    valid.insert(valid.end(), {"mxCreateDoubleMatrix_700(2,3,0)=new1",
                               "mxCreateDoubleMatrix_700(2,2,0)=new2", "mxGetPr(new1)",
                               "mxGetPr(new2)"});
    EXPECT_EQ(trace_of("edgejoin", 2, {e1.get(), e2.get()}), valid);

    auto upto = [&](size_t n, const char *message) {
        Trace t(head.begin(), head.begin() + n);
        t.push_back(std::string("mexErrMsgTxt(") + message + ")");
        return t;
    };
    Array single = standin::create(Class::Single, {1, 3});
    Array sparse = standin::sparse(1, 3, {1});
    Array two = standin::create(Class::Double, {1, 2});
    Array deep = standin::create(Class::Double, {1, 1, 3});
    EXPECT_EQ(trace_of("edgejoin", 1, {e1.get(), e2.get()}), upto(0, kCounts));
    EXPECT_EQ(trace_of("edgejoin", 2, {single.get(), e2.get()}), upto(1, kClass));
    EXPECT_EQ(trace_of("edgejoin", 2, {e1.get(), single.get()}), upto(2, kClass));
    EXPECT_EQ(trace_of("edgejoin", 2, {sparse.get(), e2.get()}), upto(3, kFull));
    EXPECT_EQ(trace_of("edgejoin", 2, {two.get(), e2.get()}), upto(5, kColumns));
    EXPECT_EQ(trace_of("edgejoin", 2, {e1.get(), two.get()}), upto(6, kColumns));
    EXPECT_EQ(trace_of("edgejoin", 2, {deep.get(), e2.get()}), upto(7, kDims));
    EXPECT_EQ(trace_of("edgejoin", 2, {e1.get(), deep.get()}), upto(8, kDims));
}

} // namespace
