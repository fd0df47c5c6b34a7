#include <cmath>
#include <limits>
#include <random>

#include "module_test.h"

namespace {

using namespace reference::expandTally;

void expect_expansion(std::vector<size_t> dims, std::vector<double> c,
                      std::vector<double> list, double f)
{
    expect_outcome("expandTally", 2, {doubles(dims, c).get()},
                   {nullptr, false, {{1, list.size()}, {1, 1}}, {list, {f}}});
}

TEST(ExpandTally, ShapesAreReadColumnByColumnAndGiveRows)
{
    expect_expansion({0, 0}, {}, {}, 1);
    expect_expansion({1, 0}, {}, {}, 1);
    expect_expansion({0, 5}, {}, {}, 1);
    expect_expansion({1, 3}, {2, 0, 3}, {1, 1, 3, 3, 3}, 12);
    expect_expansion({1, 5}, {1, 1, 1, 1, 1}, {1, 2, 3, 4, 5}, 1);
    expect_expansion({1, 1}, {4}, {1, 1, 1, 1}, 24);
    expect_expansion({2, 1}, {2, 1}, {1, 1, 2}, 2);
    expect_expansion({2, 2}, {1, 2, 3, 0}, {1, 2, 2, 3, 3, 3}, 12);
    expect_expansion({1, 2, 2}, {0, 1, 2, 0}, {2, 3, 3}, 2);
    expect_expansion({1, 2}, {0, 0}, {}, 1);
}

TEST(ExpandTally, FractionsTruncateTowardZero)
{
    expect_expansion({1, 2}, {2.7, 1.2}, {1, 1, 2}, 2);
    expect_expansion({1, 3}, {-0.5, 0.9, 2}, {3, 3}, 2);
    expect_expansion({1, 2}, {std::nextafter(-1.0, 0.0), -0.0}, {}, 1);
}

TEST(ExpandTally, FactorialProductIsOneRunningProduct)
{
    // 28! rounded step by step lands one unit in the last place below the nearest double.
    expect_expansion({1, 1}, {28}, std::vector<double>(28, 1), 3.0488834461171384e+29);
    expect_expansion({1, 1}, {170}, std::vector<double>(170, 1), 7.257415615307994e+306);
    expect_expansion({1, 1}, {171}, std::vector<double>(171, 1), INFINITY);
    std::vector<double> list(200, 1);
    std::fill(list.begin() + 100, list.end(), 2);
    expect_expansion({1, 2}, {100, 100}, list, INFINITY);
}

TEST(ExpandTally, BitExactAgainstPlainLoopsOnRandomCounts)
{
    std::mt19937_64 rng(7);
    for (int trial = 0; trial < 200; ++trial) {
        std::uniform_int_distribution<int> size(0, 60), big(0, trial % 4 == 0 ? 200 : 12);
        std::vector<double> c(size(rng));
        for (double &x : c)
            x = big(rng) + (trial % 3 == 0 ? 0.75 : 0.0);
        expect_as_reference("expandTally", outcome, 2, {{{1, c.size()}, c}});
    }
}

TEST(ExpandTally, ComplexInputUsesRealParts)
{
    Array c = standin::create(Class::Double, {1, 2}, true);
    double re[] = {2, 1}, im[] = {5, 5};
    std::memcpy(standin::real_data(c.get()), re, sizeof re);
    std::memcpy(standin::imag_data(c.get()), im, sizeof im);
    expect_outcome("expandTally", 2, {c.get()}, {nullptr, false, {{1, 3}, {1, 1}}, {{1, 1, 2}, {2}}});
}

TEST(ExpandTally, EachCheckGivesItsMessageInOrder)
{
    Array c = doubles({1, 2}, {1, 2});
    Array single = standin::create(Class::Single, {1, 2});
    EXPECT_EQ(error_of("expandTally", 0, {c.get()}), kCounts);
    EXPECT_EQ(error_of("expandTally", 1, {c.get()}), kCounts);
    EXPECT_EQ(error_of("expandTally", 3, {c.get()}), kCounts);
    EXPECT_EQ(error_of("expandTally", 2, {}), kCounts);
    EXPECT_EQ(error_of("expandTally", 2, {c.get(), c.get()}), kCounts);
    EXPECT_EQ(error_of("expandTally", 1, {single.get()}), kCounts);
    for (Class cls : {Class::Single, Class::Int32, Class::Logical, Class::Char}) {
        Array other = standin::create(cls, {1, 2});
        EXPECT_EQ(error_of("expandTally", 2, {other.get()}), kClass);
    }
    Array sparse = standin::sparse(1, 4, {2});
    EXPECT_EQ(error_of("expandTally", 2, {sparse.get()}), kFull);
}

TEST(ExpandTally, CountsOutsideTheLimitsAreRejectedBeforeAnyOutput)
{
    const double big = std::numeric_limits<double>::max();
    for (double bad : {-1.0, -1.5, -big, double(NAN), double(INFINITY), double(-INFINITY),
                       2147483648.0, 4294967296.0, big}) {
        // The bad count comes last, after counts the filling pass would already store.
        Array c = doubles({1, 3}, {2, 3, bad});
        EXPECT_EQ(error_of("expandTally", 2, {c.get()}), kRange) << bad;
    }
    Array pair = doubles({1, 2}, {1073741824, 1073741824});
    Array over = doubles({1, 3}, {2147483647, 0, 1});
    EXPECT_EQ(error_of("expandTally", 2, {pair.get()}), kTotal);
    EXPECT_EQ(error_of("expandTally", 2, {over.get()}), kTotal);
    // 2^31 elements: rejected from the element count alone, before any is read.
    Array huge = standin::wrap(Class::Double, {1, size_t(1) << 31}, nullptr);
    EXPECT_EQ(error_of("expandTally", 2, {huge.get()}), kElements);
}

TEST(ExpandTally, HostCallsFollowTheDocumentedOrder)
{
    Array c = doubles({1, 3}, {2, 0, 1});
    EXPECT_EQ(trace_of("expandTally", 2, {c.get()}),
              (Trace{"mxIsDouble(in1)", "mxIsSparse(in1)", "mxGetPr(in1)",
                     "mxGetNumberOfElements(in1)", "mxCreateDoubleMatrix_700(1,3,0)=new1",
                     "mxCreateDoubleMatrix_700(1,1,0)=new2", "mxGetPr(new1)", "mxGetPr(new2)"}));
    Array empty = doubles({0, 0}, {});
    EXPECT_EQ(trace_of("expandTally", 2, {empty.get()}),
              (Trace{"mxIsDouble(in1)", "mxIsSparse(in1)", "mxGetPr(in1)",
                     "mxGetNumberOfElements(in1)", "mxCreateDoubleMatrix_700(1,0,0)=new1",
                     "mxCreateDoubleMatrix_700(1,1,0)=new2", "mxGetPr(new1)", "mxGetPr(new2)"}));
    EXPECT_EQ(trace_of("expandTally", 1, {c.get()}),
              (Trace{std::string("mexErrMsgTxt(") + kCounts + ")"}));
    Array single = standin::create(Class::Single, {1, 2});
    EXPECT_EQ(trace_of("expandTally", 2, {single.get()}),
              (Trace{"mxIsDouble(in1)", std::string("mexErrMsgTxt(") + kClass + ")"}));
    Array bad = doubles({1, 2}, {1, NAN});
    EXPECT_EQ(trace_of("expandTally", 2, {bad.get()}),
              (Trace{"mxIsDouble(in1)", "mxIsSparse(in1)", "mxGetPr(in1)",
                     "mxGetNumberOfElements(in1)", std::string("mexErrMsgTxt(") + kRange + ")"}));
    Array over = doubles({1, 2}, {2147483647, 2147483647});
    EXPECT_EQ(trace_of("expandTally", 2, {over.get()}),
              (Trace{"mxIsDouble(in1)", "mxIsSparse(in1)", "mxGetPr(in1)",
                     "mxGetNumberOfElements(in1)", std::string("mexErrMsgTxt(") + kTotal + ")"}));
}

} // namespace
