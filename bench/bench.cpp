// `make bench`: each module, loaded through the stand-in host, against its plain loops
// built with -O2, against this machine's limit for the same work, and against the
// idiom an Octave user would write instead. Runs are interleaved and medians kept, as
// the machine is shared.
//
//   bench MODULE_DIR PLAIN_DIR OCTAVE_DIR OUT_DIR [LABEL=DIR ...]
//
// Each LABEL=DIR is another build of the modules (say AVX2=build/release/modules_avx2),
// timed as the delivered one is, in a column "LABEL build ms" of its own.
// Writes OUT_DIR/bench.csv, crossover.csv, limits.csv (each limit part's time in each
// vector width) and table.md (bench/chart.sh draws the chart).
#include <algorithm>
#include <chrono>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <immintrin.h>
#include <iostream>
#include <memory>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "loader.h"

namespace {

using standin::Array;
using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// ---- The limits: the least work the same job needs on this machine ----
//
// Each vector limit in every width the processor has (AVX-512, AVX2; SSE2 where it
// lacks AVX2), each timed, and the fastest kept: a wider form is not always the faster.
// noipa on each: the compiler must not merge two calls with the same arguments, nor
// fold one limit's work into another's.

// Every table entry loaded once, 64, 32 or 16 bytes per load. Every lane is reduced,
// so that no lane's loads are dead.
__attribute__((target("avx512f"), noipa)) double read_all_avx512(const double *x,
                                                                uint64_t count)
{
    __m512i a0 = _mm512_setzero_si512(), a1 = a0, a2 = a0, a3 = a0;
    uint64_t i = 0;
    for (; i + 32 <= count; i += 32) {
        a0 = _mm512_or_si512(a0, _mm512_loadu_si512(x + i));
        a1 = _mm512_or_si512(a1, _mm512_loadu_si512(x + i + 8));
        a2 = _mm512_or_si512(a2, _mm512_loadu_si512(x + i + 16));
        a3 = _mm512_or_si512(a3, _mm512_loadu_si512(x + i + 24));
    }
    uint64_t r = _mm512_reduce_or_epi64(_mm512_or_si512(_mm512_or_si512(a0, a1),
                                                        _mm512_or_si512(a2, a3)));
    for (; i < count; ++i)
        r |= (uint64_t)x[i];
    return (double)r;
}

__attribute__((target("avx2"), noipa)) double read_all_avx2(const double *x, uint64_t count)
{
    __m256i a0 = _mm256_setzero_si256(), a1 = a0, a2 = a0, a3 = a0;
    uint64_t i = 0;
    for (; i + 16 <= count; i += 16) {
        a0 = _mm256_or_si256(a0, _mm256_loadu_si256((const __m256i *)(x + i)));
        a1 = _mm256_or_si256(a1, _mm256_loadu_si256((const __m256i *)(x + i + 4)));
        a2 = _mm256_or_si256(a2, _mm256_loadu_si256((const __m256i *)(x + i + 8)));
        a3 = _mm256_or_si256(a3, _mm256_loadu_si256((const __m256i *)(x + i + 12)));
    }
    __m256i a = _mm256_or_si256(_mm256_or_si256(a0, a1), _mm256_or_si256(a2, a3));
    uint64_t r = _mm256_extract_epi64(a, 0) | _mm256_extract_epi64(a, 1) |
                 _mm256_extract_epi64(a, 2) | _mm256_extract_epi64(a, 3);
    for (; i < count; ++i)
        r |= (uint64_t)x[i];
    return (double)r;
}

__attribute__((noipa)) double read_all_sse2(const double *x, uint64_t count)
{
    __m128i a0 = _mm_setzero_si128(), a1 = a0, a2 = a0, a3 = a0;
    uint64_t i = 0;
    for (; i + 8 <= count; i += 8) {
        a0 = _mm_or_si128(a0, _mm_loadu_si128((const __m128i *)(x + i)));
        a1 = _mm_or_si128(a1, _mm_loadu_si128((const __m128i *)(x + i + 2)));
        a2 = _mm_or_si128(a2, _mm_loadu_si128((const __m128i *)(x + i + 4)));
        a3 = _mm_or_si128(a3, _mm_loadu_si128((const __m128i *)(x + i + 6)));
    }
    __m128i a = _mm_or_si128(_mm_or_si128(a0, a1), _mm_or_si128(a2, a3));
    uint64_t r = (uint64_t)_mm_cvtsi128_si64(a) | (uint64_t)_mm_cvtsi128_si64(_mm_unpackhi_epi64(a, a));
    for (; i < count; ++i)
        r |= (uint64_t)x[i];
    return (double)r;
}

// One dependent addition per table row: scalar, as no width shortens a chain.
__attribute__((noipa)) double add_chain(double x, uint64_t rows)
{
    double s = 0.0;
    for (uint64_t j = 0; j < rows; ++j)
        s = x + s;
    return s;
}

// L created through the host and filled with 64-, 32- or 16-byte stores.
__attribute__((target("avx512f"), noipa)) void create_and_fill_avx512(int total)
{
    Array l(mxCreateDoubleMatrix_700(1, total, mxREAL));
    double *x = mxGetPr(l.get());
    __m512d v = _mm512_set1_pd(1.0);
    int i = 0;
    for (; i + 8 <= total; i += 8)
        _mm512_storeu_pd(x + i, v);
    for (; i < total; ++i)
        x[i] = 1.0;
}

__attribute__((target("avx2"), noipa)) void create_and_fill_avx2(int total)
{
    Array l(mxCreateDoubleMatrix_700(1, total, mxREAL));
    double *x = mxGetPr(l.get());
    __m256d v = _mm256_set1_pd(1.0);
    int i = 0;
    for (; i + 4 <= total; i += 4)
        _mm256_storeu_pd(x + i, v);
    for (; i < total; ++i)
        x[i] = 1.0;
}

__attribute__((noipa)) void create_and_fill_sse2(int total)
{
    Array l(mxCreateDoubleMatrix_700(1, total, mxREAL));
    double *x = mxGetPr(l.get());
    __m128d v = _mm_set1_pd(1.0);
    int i = 0;
    for (; i + 2 <= total; i += 2)
        _mm_storeu_pd(x + i, v);
    for (; i < total; ++i)
        x[i] = 1.0;
}

// p times q comparisons counted, four keys per loaded vector of nodes (tails of p and
// q left out; the workloads' sizes are multiples of eight). AVX-512 compares into mask
// registers and adds one under each mask.
__attribute__((target("avx512f"), noipa)) int64_t count_pairs_avx512(const double *keys,
                                                                    uint64_t p,
                                                                    const double *nodes,
                                                                    uint64_t q)
{
    const __m512i one = _mm512_set1_epi64(1);
    __m512i m0 = _mm512_setzero_si512(), m1 = m0, m2 = m0, m3 = m0;
    for (uint64_t i = 0; i + 4 <= p; i += 4) {
        __m512d k0 = _mm512_set1_pd(keys[i]), k1 = _mm512_set1_pd(keys[i + 1]);
        __m512d k2 = _mm512_set1_pd(keys[i + 2]), k3 = _mm512_set1_pd(keys[i + 3]);
        for (uint64_t j = 0; j + 8 <= q; j += 8) {
            __m512d v = _mm512_loadu_pd(nodes + j);
            m0 = _mm512_mask_add_epi64(m0, _mm512_cmp_pd_mask(v, k0, _CMP_EQ_OQ), m0, one);
            m1 = _mm512_mask_add_epi64(m1, _mm512_cmp_pd_mask(v, k1, _CMP_EQ_OQ), m1, one);
            m2 = _mm512_mask_add_epi64(m2, _mm512_cmp_pd_mask(v, k2, _CMP_EQ_OQ), m2, one);
            m3 = _mm512_mask_add_epi64(m3, _mm512_cmp_pd_mask(v, k3, _CMP_EQ_OQ), m3, one);
        }
    }
    return _mm512_reduce_add_epi64(_mm512_add_epi64(_mm512_add_epi64(m0, m1),
                                                    _mm512_add_epi64(m2, m3)));
}

__attribute__((target("avx2"), noipa)) int64_t count_pairs_avx2(const double *keys, uint64_t p,
                                                               const double *nodes, uint64_t q)
{
    __m256i m0 = _mm256_setzero_si256(), m1 = m0, m2 = m0, m3 = m0;
    for (uint64_t i = 0; i + 4 <= p; i += 4) {
        __m256d k0 = _mm256_set1_pd(keys[i]), k1 = _mm256_set1_pd(keys[i + 1]);
        __m256d k2 = _mm256_set1_pd(keys[i + 2]), k3 = _mm256_set1_pd(keys[i + 3]);
        for (uint64_t j = 0; j + 4 <= q; j += 4) {
            __m256d v = _mm256_loadu_pd(nodes + j);
            m0 = _mm256_sub_epi64(m0, _mm256_castpd_si256(_mm256_cmp_pd(v, k0, _CMP_EQ_OQ)));
            m1 = _mm256_sub_epi64(m1, _mm256_castpd_si256(_mm256_cmp_pd(v, k1, _CMP_EQ_OQ)));
            m2 = _mm256_sub_epi64(m2, _mm256_castpd_si256(_mm256_cmp_pd(v, k2, _CMP_EQ_OQ)));
            m3 = _mm256_sub_epi64(m3, _mm256_castpd_si256(_mm256_cmp_pd(v, k3, _CMP_EQ_OQ)));
        }
    }
    __m256i m = _mm256_add_epi64(_mm256_add_epi64(m0, m1), _mm256_add_epi64(m2, m3));
    return _mm256_extract_epi64(m, 0) + _mm256_extract_epi64(m, 1) +
           _mm256_extract_epi64(m, 2) + _mm256_extract_epi64(m, 3);
}

__attribute__((noipa)) int64_t count_pairs_sse2(const double *keys, uint64_t p,
                                                const double *nodes, uint64_t q)
{
    __m128i m0 = _mm_setzero_si128(), m1 = m0, m2 = m0, m3 = m0;
    for (uint64_t i = 0; i + 4 <= p; i += 4) {
        __m128d k0 = _mm_set1_pd(keys[i]), k1 = _mm_set1_pd(keys[i + 1]);
        __m128d k2 = _mm_set1_pd(keys[i + 2]), k3 = _mm_set1_pd(keys[i + 3]);
        for (uint64_t j = 0; j + 2 <= q; j += 2) {
            __m128d v = _mm_loadu_pd(nodes + j);
            m0 = _mm_sub_epi64(m0, _mm_castpd_si128(_mm_cmpeq_pd(v, k0)));
            m1 = _mm_sub_epi64(m1, _mm_castpd_si128(_mm_cmpeq_pd(v, k1)));
            m2 = _mm_sub_epi64(m2, _mm_castpd_si128(_mm_cmpeq_pd(v, k2)));
            m3 = _mm_sub_epi64(m3, _mm_castpd_si128(_mm_cmpeq_pd(v, k3)));
        }
    }
    __m128i m = _mm_add_epi64(_mm_add_epi64(m0, m1), _mm_add_epi64(m2, m3));
    return _mm_cvtsi128_si64(m) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(m, m));
}

// The widths this processor has, widest first: SSE2, which every x86-64 processor
// has, only where it lacks AVX2. The bench is not shipped, so the compiler's own
// run-time test serves.
std::vector<std::string> widths()
{
    std::vector<std::string> w;
    if (__builtin_cpu_supports("avx512f"))
        w.push_back("AVX-512");
    if (__builtin_cpu_supports("avx2"))
        w.push_back("AVX2");
    if (w.empty())
        w.push_back("SSE2");
    return w;
}

// One part of a workload's limit, in each width: its time is its fastest form's.
struct Form {
    std::string width;
    std::function<void()> run;
};
struct Limit {
    std::string what;
    std::vector<Form> forms;
};

// FORM(width) gives the form of that width.
template <class Form> Limit limit_in_widths(const std::string &what, Form form)
{
    Limit l{what, {}};
    for (const std::string &w : widths())
        l.forms.push_back({w, form(w)});
    return l;
}

template <class F> F *pick(const std::string &width, F *avx512, F *avx2, F *sse2)
{
    return width == "AVX-512" ? avx512 : width == "AVX2" ? avx2 : sse2;
}

volatile double sink;

// ---- Workloads ----

struct Workload {
    std::string module, name;
    std::vector<Array> inputs;
    int nlhs;
    std::vector<Limit> limits;   // the limit is the slowest of these
    int reps;
    std::string idiom;   // arguments of bench_idiom, or "" where Octave is not timed
};

Array doubles(size_t m, size_t n, std::vector<double> v)
{
    return standin::doubles({m, n}, v);
}

// Every permutation of 1..n, one per row, in lexicographic order.
Array permutation_table(int n, uint64_t *rows)
{
    uint64_t m = 1;
    for (int k = 2; k <= n; ++k)
        m *= k;
    *rows = m;
    Array t = standin::create(standin::Class::Double, {m, (size_t)n});
    double *x = static_cast<double *>(standin::real_data(t.get()));
    std::vector<int> perm(n);
    std::iota(perm.begin(), perm.end(), 1);
    uint64_t j = 0;
    do {
        for (int k = 0; k < n; ++k)
            x[j + k * m] = perm[k];
        ++j;
    } while (std::next_permutation(perm.begin(), perm.end()));
    return t;
}

Workload permanent(int n, int reps, bool octave)
{
    std::mt19937_64 rng(n);
    std::uniform_real_distribution<double> unit(-1, 1);
    std::vector<double> a(n * n);
    for (double &x : a)
        x = unit(rng);
    uint64_t rows;
    Workload w{"permanent", "n = " + std::to_string(n) + ", full table", {}, 1, {}, reps,
               octave ? "'permanent', " + std::to_string(n) : ""};
    w.inputs.push_back(doubles(n, n, a));
    w.inputs.push_back(permutation_table(n, &rows));
    const double *p = static_cast<const double *>(standin::real_data(w.inputs[1].get()));
    w.limits.push_back(limit_in_widths("table read", [=](const std::string &width) {
        auto f = pick(width, read_all_avx512, read_all_avx2, read_all_sse2);
        return [=] { sink = f(p, rows * n); };
    }));
    w.limits.push_back({"addition chain", {{"scalar", [rows] { sink = add_chain(sink, rows); }}}});
    return w;
}

Workload expand_tally(int n, int top, int reps)
{
    std::mt19937_64 rng(top);
    std::uniform_int_distribution<int> count(0, top);
    std::vector<double> c(n);
    int total = 0;
    for (double &x : c)
        total += (int)(x = count(rng));
    std::ostringstream name;
    name << n << " counts in 0.." << top << " (T = " << total << ")";
    Workload w{"expandTally", name.str(), {}, 2, {}, reps,
               "'expandTally', [" + std::to_string(n) + " " + std::to_string(top) + "]"};
    w.inputs.push_back(doubles(1, n, c));
    w.limits.push_back(limit_in_widths("L filled", [=](const std::string &width) {
        auto f = pick(width, create_and_fill_avx512, create_and_fill_avx2, create_and_fill_sse2);
        return [=] { f(total); };
    }));
    return w;
}

Workload edgejoin(int p, int nodes, int reps)
{
    std::mt19937_64 rng(p + nodes);
    std::uniform_int_distribution<int> node(1, nodes);
    std::normal_distribution<double> value;
    std::vector<double> e1(3 * p), e2(3 * p);
    for (int i = 0; i < p; ++i) {
        e1[i] = node(rng), e1[i + p] = node(rng), e1[i + 2 * p] = value(rng);
        e2[i] = node(rng), e2[i + p] = node(rng), e2[i + 2 * p] = value(rng);
    }
    std::ostringstream name;
    name << "p = q = " << p << ", about " << p / nodes << (p == nodes ? " match" : " matches")
         << " per row";
    Workload w{"edgejoin", name.str(), {}, 2, {}, reps,
               "'edgejoin', [" + std::to_string(p) + " " + std::to_string(nodes) + "]"};
    w.inputs.push_back(doubles(p, 3, e1));
    w.inputs.push_back(doubles(p, 3, e2));
    const double *keys = static_cast<const double *>(standin::real_data(w.inputs[0].get())) + p;
    const double *first = static_cast<const double *>(standin::real_data(w.inputs[1].get()));
    w.limits.push_back(limit_in_widths("two counting sweeps", [=](const std::string &width) {
        auto f = pick(width, count_pairs_avx512, count_pairs_avx2, count_pairs_sse2);
        return [=] { sink = (double)(f(keys, p, first, p) + f(keys, p, first, p)); };
    }));
    return w;
}

// ---- Running ----

std::string octave_cli;   // empty when Octave is not installed
std::string bench_dir;

std::string run(const std::string &command)
{
    std::string out;
    FILE *f = popen(command.c_str(), "r");
    if (!f)
        return out;
    char buf[4096];
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, got);
    pclose(f);
    return out;
}

// Octave with the bench's scripts and the examples (the sort-based join users copy) on
// its path, besides PATHS.
std::string octave(const std::string &paths, const std::string &eval)
{
    return run(octave_cli + " --no-gui --norc --quiet --no-history --path " + bench_dir +
               "/octave --path " + bench_dir + "/../examples " + paths + " --eval \"" + eval +
               "\" 2>&1");
}

double idiom_ms(const Workload &w)
{
    if (octave_cli.empty() || w.idiom.empty())
        return NAN;
    std::string out = octave("", "bench_idiom (" + w.idiom + ", " +
                                     std::to_string(std::min(w.reps, 5)) + ")");
    size_t at = out.rfind("ms = ");
    if (at == std::string::npos) {
        std::cerr << "octave: " << out;
        return NAN;
    }
    return std::stod(out.substr(at + 5));
}

std::string octave_text(double ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", ms);
    return std::isnan(ms) ? "-" : text;
}

struct Row {
    std::string module, name;
    double module_ms, plain_ms, limit_ms, octave_ms;
    std::vector<double> build_ms;   // one per compared build
};

// A build of the modules timed beside the delivered one: LABEL=DIR on the command line.
struct Build {
    std::string label, dir;
    std::unique_ptr<standin::Module> module;   // the one of the module being timed
};

// Each limit part's time in each width, as limits.csv gets them.
std::ostringstream limit_lines;

Row measure(Workload &w, const standin::Module &fast, const standin::Module &plain,
            const std::vector<Build> &builds)
{
    std::vector<const mxArray *> in;
    for (auto &a : w.inputs)
        in.push_back(a.get());
    // Every build agrees with the plain loops before they are timed.
    {
        standin::Result b = standin::call(plain, w.nlhs, in);
        std::vector<const standin::Module *> others{&fast};
        for (auto &c : builds)
            others.push_back(c.module.get());
        for (const standin::Module *m : others) {
            standin::Result a = standin::call(*m, w.nlhs, in);
            if (a.failed || b.failed || standin::values(a.outputs[0].get()) !=
                                            standin::values(b.outputs[0].get())) {
                std::cerr << w.module << ", " << w.name << ": results differ\n";
                std::exit(1);
            }
        }
    }
    // Kinds: 0 the module, 1 the plain loops, 2 the limit, 3... the compared builds.
    const int kinds = 3 + (int)builds.size();
    std::vector<std::vector<double>> tk(kinds);
    std::vector<std::vector<std::vector<double>>> tl(w.limits.size());
    for (size_t l = 0; l < w.limits.size(); ++l)
        tl[l].resize(w.limits[l].forms.size());
    for (int r = 0; r < w.reps; ++r) {
        // Rotate the order, so that no kind or width always runs right after another.
        for (int s = 0; s < kinds; ++s) {
            int kind = (r + s) % kinds;
            Clock::time_point t0 = Clock::now();
            if (kind == 0) {
                standin::call(fast, w.nlhs, in);
            } else if (kind == 1) {
                standin::call(plain, w.nlhs, in);
            } else if (kind == 2) {
                for (size_t l = 0; l < w.limits.size(); ++l) {
                    size_t forms = w.limits[l].forms.size();
                    for (size_t f = 0; f < forms; ++f) {
                        size_t at = (r + f) % forms;
                        t0 = Clock::now();
                        w.limits[l].forms[at].run();
                        tl[l][at].push_back(ms_since(t0));
                    }
                }
                continue;
            } else {
                standin::call(*builds[kind - 3].module, w.nlhs, in);
            }
            tk[kind].push_back(ms_since(t0));
        }
    }
    // Each part takes its fastest width; the limit is the slowest part.
    double limit = 0;
    std::string parts;
    char text[128];
    for (size_t l = 0; l < w.limits.size(); ++l) {
        double part = INFINITY;
        std::string width;
        parts += (l ? "; " : "") + w.limits[l].what;
        for (size_t f = 0; f < w.limits[l].forms.size(); ++f) {
            double ms = median(tl[l][f]);
            const std::string &form = w.limits[l].forms[f].width;
            std::snprintf(text, sizeof text, "%s,\"%s\",%s,%s,%.4f\n", w.module.c_str(),
                          w.name.c_str(), w.limits[l].what.c_str(), form.c_str(), ms);
            limit_lines << text;
            std::snprintf(text, sizeof text, "%s %s %.3f", f ? " /" : "", form.c_str(), ms);
            parts += text;
            if (ms < part)
                part = ms, width = form;
        }
        limit = std::max(limit, part);
        if (w.limits[l].forms.size() > 1)
            parts += " (" + width + ")";
    }
    Row row{w.module, w.name, median(tk[0]), median(tk[1]), limit, idiom_ms(w), {}};
    for (size_t c = 0; c < builds.size(); ++c)
        row.build_ms.push_back(median(tk[3 + c]));
    std::printf("%-12s %-44s %10.3f", row.module.c_str(), row.name.c_str(), row.module_ms);
    for (double ms : row.build_ms)
        std::printf(" %10.3f", ms);
    std::printf(" %10.3f %10.3f %8.2f %8.2f %10.3f\n", row.plain_ms, row.limit_ms,
                row.plain_ms / row.module_ms, row.module_ms / row.limit_ms, row.octave_ms);
    std::printf("%12s limit ms: %s\n", "", parts.c_str());
    std::fflush(stdout);
    return row;
}

// "AVX2 build ms" gives "avx2_build_ms".
std::string csv_name(const std::string &header)
{
    std::string name;
    for (char c : header)
        name += std::isalnum((unsigned char)c) ? (char)std::tolower((unsigned char)c) : '_';
    return name;
}

} // namespace

int main(int argc, char **argv)
{
    const char *usage = "usage: bench MODULE_DIR PLAIN_DIR OCTAVE_DIR OUT_DIR [LABEL=DIR ...]\n";
    if (argc < 5) {
        std::cerr << usage;
        return 2;
    }
    std::string module_dir = argv[1], plain_dir = argv[2], octave_dir = argv[3], out = argv[4];
    std::vector<Build> builds;
    for (int a = 5; a < argc; ++a) {
        std::string arg = argv[a];
        size_t eq = arg.find('=');
        if (eq == 0 || eq == std::string::npos || eq + 1 == arg.size()) {
            std::cerr << usage;
            return 2;
        }
        builds.push_back({arg.substr(0, eq), arg.substr(eq + 1), nullptr});
    }
    bench_dir = BENCH_DIR;
    if (!run("command -v octave-cli").empty())
        octave_cli = "octave-cli";
    standin::recycle_outputs(true);

    std::printf("%-12s %-44s %10s", "module", "workload", "module ms");
    for (auto &c : builds)
        std::printf(" %10s", (c.label + " ms").c_str());
    std::printf(" %10s %10s %8s %8s %10s\n", "plain ms", "limit ms", "speedup", "/limit",
                "octave ms");
    std::vector<Row> rows;
    auto bench = [&](const std::string &name, std::vector<std::function<Workload()>> make) {
        standin::Module fast(module_dir + "/" + name + ".mexa64");
        standin::Module plain(plain_dir + "/" + name + ".mexa64");
        for (auto &c : builds)
            c.module = std::make_unique<standin::Module>(c.dir + "/" + name + ".mexa64");
        for (auto &m : make) {
            Workload w = m();   // one workload's inputs alive at a time
            rows.push_back(measure(w, fast, plain, builds));
        }
    };
    bench("permanent", {[] { return permanent(8, 41, true); },
                        [] { return permanent(10, 7, true); },
                        // Octave's idiom would need about 14 GB here.
                        [] { return permanent(11, 3, false); }});
    bench("expandTally", {[] { return expand_tally(100000, 200, 21); },
                          [] { return expand_tally(2000000, 3, 21); }});
    bench("edgejoin", {[] { return edgejoin(20000, 20000, 7); },
                       [] { return edgejoin(20000, 400, 7); },
                       [] { return edgejoin(100000, 100000, 3); }});

    // The compared builds' columns: in the table beside the module's, in bench.csv last,
    // so that the fixed columns keep their places for bench/chart.sh.
    std::ofstream csv(out + "/bench.csv");
    csv << "module,workload,module_ms,plain_ms,limit_ms,speedup,time_over_limit,octave_ms";
    std::ofstream md(out + "/table.md");
    md << "| module | workload | module ms |";
    for (auto &c : builds) {
        csv << "," << csv_name(c.label + " build ms");
        md << " " << c.label << " build ms |";
    }
    csv << "\n";
    md << " plain -O2 ms | limit ms | speedup | time / limit | Octave idiom ms |\n|---|---|--:|";
    for (size_t c = 0; c < builds.size(); ++c)
        md << "--:|";
    md << "--:|--:|--:|--:|--:|\n";
    char line[512];
    for (auto &r : rows) {
        std::snprintf(line, sizeof line, "%s,\"%s\",%.4f,%.4f,%.4f,%.3f,%.3f,%.4f",
                      r.module.c_str(), r.name.c_str(), r.module_ms, r.plain_ms, r.limit_ms,
                      r.plain_ms / r.module_ms, r.module_ms / r.limit_ms, r.octave_ms);
        csv << line;
        std::snprintf(line, sizeof line, "| `%s` | %s | %.3f |", r.module.c_str(),
                      r.name.c_str(), r.module_ms);
        md << line;
        for (double ms : r.build_ms) {
            std::snprintf(line, sizeof line, ",%.4f", ms);
            csv << line;
            std::snprintf(line, sizeof line, " %.3f |", ms);
            md << line;
        }
        csv << "\n";
        std::snprintf(line, sizeof line, " %.3f | %.3f | %.2f | %.2f | %s |\n", r.plain_ms,
                      r.limit_ms, r.plain_ms / r.module_ms, r.module_ms / r.limit_ms,
                      octave_text(r.octave_ms).c_str());
        md << line;
    }
    std::ofstream(out + "/limits.csv") << "module,workload,part,width,limit_ms\n"
                                       << limit_lines.str();

    // Where a sort-based join in Octave overtakes edgejoin, both called from Octave.
    if (!octave_cli.empty()) {
        std::string got = octave("--path " + octave_dir,
                                 "bench_crossover ([250 500 1000 2000 3000 4000 6000 8000 "
                                 "12000 16000], 5)");
        std::ofstream cross(out + "/crossover.csv");
        cross << "size,edgejoin_ms,sorted_ms\n";
        std::istringstream lines(got);
        int size, beyond = 0;
        double a, b;
        std::string l;
        md << "\nedgejoin and a sort-based join, both in Octave (p = q, about one match per "
              "row):\n\n| p = q | edgejoin ms | sorted join ms |\n|--:|--:|--:|\n";
        while (std::getline(lines, l)) {
            if (std::sscanf(l.c_str(), "%d %lf %lf", &size, &a, &b) != 3) {
                std::cerr << "octave: " << l << "\n";
                continue;
            }
            cross << size << "," << a << "," << b << "\n";
            std::snprintf(line, sizeof line, "| %d | %.3f | %.3f |\n", size, a, b);
            md << line;
            if (b < a && !beyond)
                beyond = size;
        }
        if (beyond)
            std::printf("\nA sort-based join in Octave beats edgejoin from p = q = %d on.\n",
                        beyond);
        if (beyond)
            md << "\nA sort-based join in Octave beats edgejoin from p = q = " << beyond
               << " on.\n";
        else
            md << "\nedgejoin beats a sort-based join in Octave at every size above.\n";
    }
    return 0;
}
