// Fuzzes [L, F] = expandTally(c): counts of any shape, fractional, negative, NaN,
// infinite or beyond 32 bits, totals past 2^31-1, element counts past 2^31-1.
#include "fuzz_host.h"

using namespace fuzz;

namespace {

using namespace reference::expandTally;

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

// Where the counts pass 2^31-1 before a count out of range, either message is a fair
// answer.
const char *also(const reference::Outcome &want, const std::vector<Arg> &args)
{
    if (want.message == kTotal)
        for (double v : args[0].re)
            if (!(v > -1.0 && v < 2147483648.0))
                return kRange;
    return nullptr;
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
    const reference::Outcome want = outcome_upto(nlhs, inputs(args), kLargestList);
    run(nlhs, args, want, also(want, args));
    return 0;
}
