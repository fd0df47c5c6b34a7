// The exact limits, in every build (those under test and those compared with them): a
// host out of memory for outputs over 1 GB shows the first matrix a module asks for at
// the largest size it accepts, and the error just past it.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "module_test.h"

namespace {

// Calls each build (asking for 2 outputs) on a host with no memory for outputs over
// 1 GB, and checks the first matrix it asks for ("" for none) and the error that ends
// the call.
void expect_outcome(const std::string &what, const std::string &name,
                    std::vector<const mxArray *> in, const std::string &creation,
                    const std::string &error)
{
    standin::refuse_creations_over(size_t(1) << 30);
    for (const std::string &dir : every_build()) {
        standin::trace_start();
        standin::Result r = standin::call(module_in(dir, name), 2, in);
        Trace t = standin::trace_take();
        standin::trace_stop();
        auto made = std::find_if(t.begin(), t.end(), [](const std::string &c) {
            return c.rfind("mxCreateDoubleMatrix_700", 0) == 0;
        });
        EXPECT_EQ(made == t.end() ? "" : *made, creation) << what << " (" << dir << ")";
        EXPECT_EQ(r.error, error) << what << " (" << dir << ")";
    }
    standin::refuse_creations_over(SIZE_MAX);
}

TEST(Limits, ExpandTallyAcceptsCountsSummingToExactly2To31Minus1)
{
    const std::string L = "mxCreateDoubleMatrix_700(1,2147483647,0)=new1";
    expect_outcome("one count", "expandTally", {scalar(2147483647.5).get()}, L,
                   "Out of memory.");
    // One block of the vector totalling pass.
    std::vector<double> c(4096, 1.0);
    c.back() = 2147483647.0 - 4095;
    expect_outcome("4096 counts", "expandTally", {doubles({1, c.size()}, c).get()}, L,
                   "Out of memory.");
    c.back() += 1;
    expect_outcome("4096 counts, 2^31", "expandTally", {doubles({1, c.size()}, c).get()}, "",
                   reference::expandTally::kTotal);
}

TEST(Limits, EdgejoinAcceptsExactly2To31Minus1Joins)
{
    // Keys 0, 1 and 2 meet 46340, 1087 and 1 rows of E2, and 46340^2 + 81 * 1087 is
    // 2^31 - 1. The count meets the border at the last key: with 46421 or 46422 keys,
    // in a last group of four keys that NaN pads, or at the end of a full group, with
    // NaN keys (which match nothing) in front.
    std::vector<double> e2(46340, 0.0);
    e2.insert(e2.end(), 1087, 1.0);
    e2.push_back(2.0);
    const size_t q = e2.size();
    e2.resize(3 * q, 1.0);
    auto e1 = [](size_t nans, size_t twos) {
        std::vector<double> keys(nans, NAN);
        keys.insert(keys.end(), 46340, 0.0);
        keys.insert(keys.end(), 81, 1.0);
        keys.insert(keys.end(), twos, 2.0);
        const size_t p = keys.size();
        std::vector<double> e(p, 1.0);
        e.insert(e.end(), keys.begin(), keys.end());
        e.insert(e.end(), p, 1.0);
        return doubles({p, 3}, e);
    };
    Array E2 = doubles({q, 3}, e2);
    const std::string E = "mxCreateDoubleMatrix_700(2147483647,3,0)=new1";
    const std::string refused = reference::edgejoin::kJoins;
    expect_outcome("tail", "edgejoin", {e1(0, 0).get(), E2.get()}, E, "Out of memory.");
    expect_outcome("group", "edgejoin", {e1(3, 0).get(), E2.get()}, E, "Out of memory.");
    expect_outcome("tail, 2^31", "edgejoin", {e1(0, 1).get(), E2.get()}, "", refused);
    expect_outcome("group, 2^31", "edgejoin", {e1(2, 1).get(), E2.get()}, "", refused);
}

} // namespace
