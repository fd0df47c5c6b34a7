// Fuzzes p = permanent(A, P): orders 0 to 6 with full-size tables, inputs of every
// class and storage, shapes off by a little or a lot, entries that select no column.
#include <algorithm>
#include <numeric>

#include "fuzz_host.h"

using namespace fuzz;

namespace {

using reference::permanent::factorial;

// Every permutation of 1..n in a shuffled row order, entries that select some column
// (whole or fractional, 0.02 to n + 0.98), or the palette's values; then a few
// entries replaced.
void fill_table(Choices &in, Random &r, Arg &p)
{
    size_t rows = p.rows(), n = p.columns();
    size_t mode = in.below(8);
    Palette values = palette(in, int(n) + 1);
    if (mode < 4 && n <= 6 && rows == factorial(n)) {
        std::vector<std::vector<double>> perms;
        std::vector<double> perm(n);
        std::iota(perm.begin(), perm.end(), 1.0);
        do
            perms.push_back(perm);
        while (std::next_permutation(perm.begin(), perm.end()));
        for (size_t j = rows; j > 1; --j)
            std::swap(perms[j - 1], perms[r.below(j)]);
        for (size_t j = 0; j < rows; ++j)
            for (size_t k = 0; k < n; ++k)
                p.re[j + k * rows] = perms[j][k];
    } else {
        for (double &v : p.re) {
            if (mode < 6)
                v = double(1 + r.below(n));
            else if (mode == 6)
                v = double(r.below(n + 1)) + double(1 + r.below(63)) / 64.0;
            else
                v = values.draw(r);
        }
    }
    patch(in, p.re);
    // The edge of the last column: the double below n + 1 selects column n, n + 1 none.
    if (!p.re.empty() && in.below(4) == 3) {
        double edge = double(n + 1);
        p.re[in.u64() % p.re.size()] = in.below(2) ? edge : std::nextafter(edge, 0.0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Choices in(data, size);
    int nlhs = count(in, 1), nrhs = count(in, 2);
    size_t n = in.below(7);
    Random r{in.u64()};
    std::vector<Arg> args;
    for (int i = 0; i < nrhs; ++i) {
        if (i == 1) {
            args.push_back(argument(in, r, {factorial(n), n},
                                    [&](Arg &p) { fill_table(in, r, p); }));
        } else {
            Palette values = palette(in, 4);
            args.push_back(argument(in, r, {n, n}, [&](Arg &a) {
                for (double &v : a.re)
                    v = values.draw(r);
            }));
        }
    }
    run(nlhs, args, reference::permanent::outcome(nlhs, inputs(args)));
    return 0;
}
