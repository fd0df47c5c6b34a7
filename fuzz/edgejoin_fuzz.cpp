// Fuzzes [E, W] = edgejoin(E1, E2): up to 40 edges a side over small node alphabets
// (so that nodes meet), with -0, NaN, infinities and near-equal nodes among them.
#include "fuzz_host.h"

using namespace fuzz;

namespace {

// Nodes from an alphabet whose size the input picks; values from any palette.
void fill_edges(Choices &in, Random &r, Arg &e, size_t alphabet)
{
    const double nodes[] = {1.0, 2.0, 0.0, -0.0, NAN, INFINITY, -INFINITY, 0.5,
                            1.0 + std::ldexp(1.0, -52), -3.0, 1e300, 7.0};
    Palette values = palette(in, 9);
    size_t rows = e.rows(), columns = e.columns();
    for (size_t i = 0; i < rows; ++i)
        for (size_t c = 0; c < columns; ++c)
            e.re[i + c * rows] = c < 2 ? nodes[r.below(alphabet)] : values.draw(r);
    patch(in, e.re);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Choices in(data, size);
    int nlhs = count(in, 2), nrhs = count(in, 2);
    size_t alphabet = 1 + in.below(12);
    Random r{in.u64()};
    std::vector<Arg> args;
    for (int i = 0; i < nrhs; ++i) {
        size_t rows = in.below(41);
        args.push_back(argument(in, r, {rows, 3},
                                [&](Arg &e) { fill_edges(in, r, e, alphabet); }));
    }
    run(nlhs, args, reference::edgejoin::outcome(nlhs, inputs(args)));
    return 0;
}
