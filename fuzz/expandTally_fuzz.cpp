// Fuzzes [L, F] = expandTally(c): counts of any shape, fractional, negative, NaN,
// infinite or beyond 32 bits, totals past 2^31-1, element counts past 2^31-1.
#include "fuzz_host.h"
#include "messages.h"

using namespace fuzz;

namespace {

using namespace messages::expandTally;

// Larger lists are correct too, but slow every run down.
const int64_t kLargestList = 1 << 14;

// Counts around the interesting values: small, fractional, just above -1, the
// factorial product's overflow, and beyond the 32-bit range.
double count_value(Random &r, unsigned kinds)
{
    const double near[] = {-0.0, -0.5, -0.99, 28, 170, 171, 100, 1 << 30, 2147483647.0};
    switch (kinds ? r.below(4) : 0) {
    case 0: return double(r.below(6));
    case 1: return double(r.below(6)) + double(r.below(64)) / 64.0;
    case 2: return near[r.below(sizeof near / sizeof near[0])];
    default: return special(r.next());
    }
}

// The limits in their documented order, then the plain loops: position k repeated
// c(k) times, and one running product 1 * 1..c(1) * 1..c(2) ...
Expected expected(int nlhs, const std::vector<Arg> &args)
{
    if (nlhs != 2 || args.size() != 1)
        return failure(kCounts);
    const Arg &c = args[0];
    if (c.cls != Class::Double)
        return failure(kClass);
    if (c.sparse)
        return failure(kFull);
    if (c.elements() > size_t(INT32_MAX))
        return failure(kElements);
    if (c.unbacked)
        return {true, {}, {}, {}};
    // A count out of range is reported, unless the counts before it already sum past
    // 2^31-1: either message is then a fair answer.
    int64_t total = 0;
    bool over = false;
    for (double v : c.re) {
        double whole = std::trunc(v);
        if (!(whole >= 0 && whole <= double(INT32_MAX))) {
            if (over)
                return {false, {kRange, kTotal}, {}, {}};
            return failure(kRange);
        }
        total += int64_t(whole);
        over = over || total > INT32_MAX;
    }
    if (over)
        return failure(kTotal);
    if (total > kLargestList)
        return {true, {}, {}, {}};
    std::vector<double> list;
    double f = 1.0;
    for (size_t k = 0; k < c.re.size(); ++k)
        for (int64_t l = 1; l <= int64_t(c.re[k]); ++l) {
            list.push_back(double(k + 1));
            f = f * double(l);
        }
    return {false, {}, {{1, list.size()}, {1, 1}}, {list, {f}}};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Choices in(data, size);
    int nlhs = count(in, 2), nrhs = count(in, 1);
    size_t length = in.below(48);
    Random r{in.u64()};
    std::vector<Arg> args;
    for (int i = 0; i < nrhs; ++i) {
        unsigned kinds = in.byte() >= 128;
        args.push_back(argument(in, r, {1, length}, [&](Arg &c) {
            for (double &v : c.re)
                v = count_value(r, kinds);
            patch(in, c.re);
        }));
    }
    run(nlhs, args, expected(nlhs, args));
    return 0;
}
