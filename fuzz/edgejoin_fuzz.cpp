// Fuzzes [E, W] = edgejoin(E1, E2): up to 40 edges a side over small node alphabets
// (so that nodes meet), with -0, NaN, infinities and near-equal nodes among them.
#include "fuzz_host.h"
#include "messages.h"

using namespace fuzz;

namespace {

using namespace messages::edgejoin;

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

// The checks in their documented order, then the plain nested loops: rows in E1's
// order, then E2's.
Expected expected(int nlhs, const std::vector<Arg> &args)
{
    if (nlhs != 2 || args.size() != 2)
        return failure(kCounts);
    const Arg &e1 = args[0], &e2 = args[1];
    if (e1.cls != Class::Double || e2.cls != Class::Double)
        return failure(kClass);
    if (e1.sparse || e2.sparse)
        return failure(kFull);
    if (e1.columns() != 3 || e2.columns() != 3)
        return failure(kColumns);
    if (e1.dims.size() != 2 || e2.dims.size() != 2)
        return failure(kDims);
    if (e1.unbacked || e2.unbacked)
        return {true, {}, {}, {}};
    size_t p = e1.rows(), q = e2.rows();
    std::vector<double> from, to, v1, v2;
    for (size_t i = 0; i < p; ++i)
        for (size_t j = 0; j < q; ++j)
            if (e1.re[i + p] == e2.re[j]) {
                from.push_back(e1.re[i]);
                to.push_back(e2.re[j + q]);
                v1.push_back(e1.re[i + 2 * p]);
                v2.push_back(e2.re[j + 2 * q]);
            }
    if (from.size() > size_t(INT32_MAX))
        return failure(kJoins);
    size_t n = from.size();
    std::vector<double> e = from, w = v1;
    e.insert(e.end(), to.begin(), to.end());
    e.insert(e.end(), n, 0.0);
    w.insert(w.end(), v2.begin(), v2.end());
    return {false, {}, {{n, 3}, {n, 2}}, {e, w}};
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
    run(nlhs, args, expected(nlhs, args));
    return 0;
}
