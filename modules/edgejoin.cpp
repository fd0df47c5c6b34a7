// [E, W] = edgejoin(E1, E2)
//
// Joins every edge (a, b, v) of E1 to every edge (b, c, u) of E2 whose first node
// equals b, giving the edge (a, c, 0) in E and the values (v, u) in W. Rows follow
// E1's order, then E2's. Nodes match by IEEE equality: -0 matches +0, NaN matches
// nothing.
#ifndef JOIN_LAYER   // (the passes at the end are read once more per vector path)
#include <stdint.h>

#include "cpu_features.h"
#include "mex_api.h"

enum { IN_E1, IN_E2, IN_END };
enum { OUT_E, OUT_W, OUT_END };

// One join. The host keeps matrices column by column, so E1's second nodes (the keys)
// start at e1 + rows_E1 and E2's first nodes at e2. i stands for a row of E1 and j for
// a row of E2 throughout.
struct Join {
    const double *e1, *e2;
    uint64_t rows_E1, rows_E2;
    double *e, *w;          // joined_rows x 3 and joined_rows x 2
    uint64_t joined_rows;
    uint64_t out_row;       // the next row of E and W to write
};

// The two passes of a kind of processor: the count, -1 past 2^31-1 joins (the most rows
// the host can create), then the rows written.
struct Kernel {
    int64_t (*count)(const Join &join);
    void (*fill)(Join &join);
};

static Kernel choose_kernel(uint64_t rows_E1, uint64_t rows_E2);

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    // Check the arguments; each test queries E2 only when E1 passes
    if (nlhs != OUT_END || nrhs != IN_END)
        mexErrMsgTxt("Needs 2 inputs and 2 outputs");
    const mxArray *E1 = prhs[IN_E1];
    const mxArray *E2 = prhs[IN_E2];
    if (!mxIsDouble(E1) || !mxIsDouble(E2))
        mexErrMsgTxt("Inputs need to be double type");
    if (mxIsSparse(E1) || mxIsSparse(E2))
        mexErrMsgTxt("Inputs need to be full matrices");
    if (mxGetN(E1) != 3 || mxGetN(E2) != 3)
        mexErrMsgTxt("Inputs need to be nEdges x 3 matrices");
    if (mxGetNumberOfDimensions_700(E1) != 2 || mxGetNumberOfDimensions_700(E2) != 2)
        mexErrMsgTxt("Inputs need to be 2-D matrices");

    // Get the data and count the joins
    Join join = {};
    join.rows_E1 = mxGetM(E1);
    join.rows_E2 = mxGetM(E2);
    join.e1 = mxGetPr(E1);
    join.e2 = mxGetPr(E2);
    const Kernel kernel = choose_kernel(join.rows_E1, join.rows_E2);
    int64_t joins = kernel.count(join);
    if (joins < 0)
        mexErrMsgTxt("Inputs need to give at most 2^31-1 joined edges");

    // Create the outputs
    plhs[OUT_E] = mxCreateDoubleMatrix_700((int)joins, 3, mxREAL);
    plhs[OUT_W] = mxCreateDoubleMatrix_700((int)joins, 2, mxREAL);
    join.e = mxGetPr(plhs[OUT_E]);
    join.w = mxGetPr(plhs[OUT_W]);
    join.joined_rows = (uint64_t)joins;

    // Do the job
    kernel.fill(join);
}

// Writes the next output row from row i of E1 and row j of E2.
static inline void put_join(Join &join, uint64_t i, uint64_t j)
{
    const uint64_t out = join.out_row++;
    join.e[out] = join.e1[i];
    join.e[out + join.joined_rows] = join.e2[j + join.rows_E2];
    join.e[out + 2 * join.joined_rows] = 0.0;
    join.w[out] = join.e1[i + 2 * join.rows_E1];
    join.w[out + join.joined_rows] = join.e2[j + 2 * join.rows_E2];
}

// The same for the E2 rows from j0 on that match key, one compare each.
static inline void put_joins_from(Join &join, uint64_t i, uint64_t j0, double key)
{
    for (uint64_t j = j0; j < join.rows_E2; ++j)
        if (join.e2[j] == key)
            put_join(join, i, j);
}

// Every pass tests every pair in nested order, i then j. Vector compares are IEEE
// equality (ordered, quiet): -0 == +0, NaN equals nothing. A count stops as soon as
// the joins pass 2^31-1.

#if !MEX_SSE2 && !MEX_NEON

// The plain loops, for processors without a vector path here.
static int64_t count_joins_plain(const Join &join)
{
    const double *ends = join.e1 + join.rows_E1, *starts = join.e2;
    int64_t joins = 0;
    for (uint64_t i = 0; i < join.rows_E1; ++i) {
        for (uint64_t j = 0; j < join.rows_E2; ++j)
            joins += starts[j] == ends[i];
        if (joins > INT32_MAX)
            return -1;
    }
    return joins;
}

static void fill_joins_plain(Join &join)
{
    for (uint64_t i = 0; i < join.rows_E1; ++i)
        put_joins_from(join, i, 0, join.e1[i + join.rows_E1]);
}

#else

// The vector paths take the keys in blocks: four per counting sweep over E2, FILL_KEYS
// per filling sweep. The last block of each is filled up with NaN keys, which match
// nothing. A filling sweep notes each key's matching E2 rows (32-bit row numbers on the
// stack, FILL_HOLD a key, 3 KB: under one page, so no stack probe) and writes them
// after the sweep.
enum { COUNT_KEYS = 4, FILL_KEYS = 2, FILL_HOLD = 384 };

// The E2 rows noted per key of a block, in order.
struct HeldRows {
    uint32_t count[FILL_KEYS];
    uint32_t rows[FILL_KEYS][FILL_HOLD];
};

// Notes E2 row j0 + b for each set bit b, in order; false when the list is full.
static inline bool hold(HeldRows &held, int key, uint64_t j0, uint64_t bits)
{
    uint32_t count = held.count[key];   // kept out of memory, which the rows may alias
    for (; bits != 0; bits &= bits - 1) {
        if (count == FILL_HOLD)
            return false;
        held.rows[key][count++] = (uint32_t)(j0 + __builtin_ctzll(bits));
    }
    held.count[key] = count;
    return true;
}

// Notes, per key, the E2 rows j0..j1-1 that match it, in order; false when a key's
// list is full.
static inline bool hold_matches(const Join &join, uint64_t j0, uint64_t j1,
                                const double key[FILL_KEYS], HeldRows &held)
{
    for (int b = 0; b < FILL_KEYS; ++b)
        for (uint64_t t = j0; t < j1; ++t)
            if (join.e2[t] == key[b] && !hold(held, b, t, 1))
                return false;
    return true;
}

// Writes the rows held for the keys of E1 rows i0, i0+1, ..., key by key, so that they
// keep the order i then j.
static inline void put_held(Join &join, uint64_t i0, const HeldRows &held)
{
    for (int b = 0; b < FILL_KEYS; ++b)
        for (uint32_t t = 0; t < held.count[b]; ++t)
            put_join(join, i0 + b, held.rows[b][t]);
}

// Joins row i of E1 with the E2 rows j0 + b for each set bit b, in order.
static inline void put_joins(Join &join, uint64_t i, uint64_t j0, uint64_t bits)
{
    for (; bits != 0; bits &= bits - 1)
        put_join(join, i, j0 + __builtin_ctzll(bits));
}

#endif

// Each vector path is a small layer over its instructions: `width` nodes per vector,
// a key in every lane (all), a load, the lanes equal to a key (equal, a mask), masks
// ORed (either), whether none is set, the set lanes as bits, and per-lane counts of
// matches (tally, then total). The passes over it are this file's last part, read
// once more for each layer (JOIN_LAYER), in a namespace of its own (JOIN_PASSES) and
// compiled for that layer's instructions.

#if MEX_SSE2

struct Sse2 {
    enum { width = 2 };
    typedef __m128d Nodes;
    typedef __m128d Mask;
    typedef __m128i Tally;
    static Nodes all(double key) { return _mm_set1_pd(key); }
    static Nodes load(const double *nodes) { return _mm_loadu_pd(nodes); }
    static Mask equal(Nodes a, Nodes b) { return _mm_cmpeq_pd(a, b); }
    static Mask either(Mask a, Mask b) { return _mm_or_pd(a, b); }
    static bool none(Mask m) { return _mm_movemask_pd(m) == 0; }
    static unsigned bits(Mask m) { return (unsigned)_mm_movemask_pd(m); }
    static Tally no_tally() { return _mm_setzero_si128(); }
    static Tally tally(Tally t, Mask m) { return _mm_sub_epi64(t, _mm_castpd_si128(m)); }
    static int64_t total(Tally t)
    {
        return _mm_cvtsi128_si64(t) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(t, t));
    }
};
#define JOIN_LAYER Sse2
#define JOIN_PASSES sse2
#include "edgejoin.cpp"
#undef JOIN_LAYER
#undef JOIN_PASSES

#endif

#if MEX_AVX2

MEX_TARGET_BEGIN("avx2")
struct Avx2 {
    enum { width = 4 };
    typedef __m256d Nodes;
    typedef __m256d Mask;
    typedef __m256i Tally;
    static Nodes all(double key) { return _mm256_set1_pd(key); }
    static Nodes load(const double *nodes) { return _mm256_loadu_pd(nodes); }
    static Mask equal(Nodes a, Nodes b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
    static Mask either(Mask a, Mask b) { return _mm256_or_pd(a, b); }
    static bool none(Mask m)
    {
        return _mm256_testz_si256(_mm256_castpd_si256(m), _mm256_castpd_si256(m));
    }
    static unsigned bits(Mask m) { return (unsigned)_mm256_movemask_pd(m); }
    static Tally no_tally() { return _mm256_setzero_si256(); }
    static Tally tally(Tally t, Mask m) { return _mm256_sub_epi64(t, _mm256_castpd_si256(m)); }
    static int64_t total(Tally t)
    {
        __m128i h = _mm_add_epi64(_mm256_castsi256_si128(t), _mm256_extracti128_si256(t, 1));
        return _mm_cvtsi128_si64(h) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(h, h));
    }
};
#define JOIN_LAYER Avx2
#define JOIN_PASSES avx2
#include "edgejoin.cpp"
#undef JOIN_LAYER
#undef JOIN_PASSES
MEX_TARGET_END

#endif

#if MEX_NEON

struct Neon {
    enum { width = 2 };
    typedef float64x2_t Nodes;
    typedef uint64x2_t Mask;
    typedef uint64x2_t Tally;
    static Nodes all(double key) { return vdupq_n_f64(key); }
    static Nodes load(const double *nodes) { return vld1q_f64(nodes); }
    static Mask equal(Nodes a, Nodes b) { return vceqq_f64(a, b); }
    static Mask either(Mask a, Mask b) { return vorrq_u64(a, b); }
    static bool none(Mask m) { return vmaxvq_u32(vreinterpretq_u32_u64(m)) == 0; }
    static unsigned bits(Mask m)
    {
        return (unsigned)(vgetq_lane_u64(m, 0) & 1) | (unsigned)(vgetq_lane_u64(m, 1) & 2);
    }
    static Tally no_tally() { return vdupq_n_u64(0); }
    static Tally tally(Tally t, Mask m) { return vsubq_u64(t, m); }
    static int64_t total(Tally t) { return (int64_t)vaddvq_u64(t); }
};
#define JOIN_LAYER Neon
#define JOIN_PASSES neon
#include "edgejoin.cpp"
#undef JOIN_LAYER
#undef JOIN_PASSES

#endif

// The kernel for this processor and job. AVX2 serves jobs large enough that its
// feature test costs little beside them, on processors with AVX-512 too: their
// compares into mask registers go no faster than AVX2's (docs/performance.md).
static Kernel choose_kernel(uint64_t rows_E1, uint64_t rows_E2)
{
#if MEX_AVX2
    if ((double)rows_E1 * (double)rows_E2 >= 65536.0 && cpu_widest_path() >= PATH_AVX2)
        return avx2::kernel();
#else
    (void)rows_E1, (void)rows_E2;
#endif
#if MEX_SSE2
    return sse2::kernel();
#elif MEX_NEON
    return neon::kernel();
#else
    return {count_joins_plain, fill_joins_plain};
#endif
}

#else // JOIN_LAYER: the passes over one layer

namespace JOIN_PASSES {

typedef JOIN_LAYER L;

// COUNT_KEYS keys per sweep over E2: each loaded node vector serves them all.
static int64_t count_joins(const Join &join)
{
    const double *ends = join.e1 + join.rows_E1, *starts = join.e2;
    int64_t joins = 0;
    for (uint64_t i = 0; i < join.rows_E1; i += COUNT_KEYS) {
        double key[COUNT_KEYS];
        L::Nodes k[COUNT_KEYS];
        L::Tally m[COUNT_KEYS];
        for (int b = 0; b < COUNT_KEYS; ++b) {
            key[b] = i + b < join.rows_E1 ? ends[i + b] : __builtin_nan("");
            k[b] = L::all(key[b]), m[b] = L::no_tally();
        }
        uint64_t j = 0;
        for (; j + L::width <= join.rows_E2; j += L::width) {
            const L::Nodes v = L::load(starts + j);
            for (int b = 0; b < COUNT_KEYS; ++b)
                m[b] = L::tally(m[b], L::equal(v, k[b]));
        }
        for (int b = 0; b < COUNT_KEYS; ++b)
            joins += L::total(m[b]);
        for (; j < join.rows_E2; ++j)
            for (int b = 0; b < COUNT_KEYS; ++b)
                joins += starts[j] == key[b];
        if (joins > INT32_MAX)
            return -1;
    }
    return joins;
}

enum { STEP = 4 * L::width };   // nodes per filling step, four vectors

// The matches of one key among the four vectors of a step, as bits in node order.
static inline uint64_t match_bits(const double *nodes, L::Nodes key)
{
    uint64_t bits = 0;
    for (int v = 0; v < 4; ++v)
        bits |= (uint64_t)L::bits(L::equal(L::load(nodes + v * L::width), key))
                << (v * L::width);
    return bits;
}

// Whether any node of a step's four vectors matches any of the keys: the masks are
// ORed and tested once, so a step without any match costs one branch.
template <int KEYS>
static inline bool any_match(const double *nodes, const L::Nodes key[KEYS])
{
    const L::Nodes v0 = L::load(nodes), v1 = L::load(nodes + L::width);
    const L::Nodes v2 = L::load(nodes + 2 * L::width);
    const L::Nodes v3 = L::load(nodes + 3 * L::width);
    L::Mask any = L::either(L::either(L::equal(v0, key[0]), L::equal(v1, key[0])),
                                     L::either(L::equal(v2, key[0]), L::equal(v3, key[0])));
    for (int b = 1; b < KEYS; ++b)
        any = L::either(any, L::either(L::either(L::equal(v0, key[b]), L::equal(v1, key[b])),
                                       L::either(L::equal(v2, key[b]), L::equal(v3, key[b]))));
    return !L::none(any);
}

// The rows of key, that of E1 row i, one step at a time.
static void fill_key(Join &state, uint64_t i, double key)
{
    Join join = state;   // copied in and out, so that the compiler keeps it in registers
    const L::Nodes kv[1] = {L::all(key)};
    const double *starts = join.e2;
    uint64_t j = 0;
    for (; j + STEP <= join.rows_E2; j += STEP)
        if (any_match<1>(starts + j, kv))
            put_joins(join, i, j, match_bits(starts + j, kv[0]));
    put_joins_from(join, i, j, key);
    state.out_row = join.out_row;
}

// The block of keys of E1 rows i0.. in one sweep over E2, every loaded node vector
// compared with each key: writes them and returns true, or writes nothing and returns
// false when a key's list overflows.
static bool fill_block(Join &join, uint64_t i0, const double key[FILL_KEYS])
{
    const double *starts = join.e2;
    L::Nodes kv[FILL_KEYS];
    HeldRows held;
    for (int b = 0; b < FILL_KEYS; ++b)
        kv[b] = L::all(key[b]), held.count[b] = 0;
    uint64_t j = 0;
    for (; j + STEP <= join.rows_E2; j += STEP)
        if (any_match<FILL_KEYS>(starts + j, kv))
            for (int b = 0; b < FILL_KEYS; ++b)
                if (!hold(held, b, j, match_bits(starts + j, kv[b])))
                    return false;
    if (!hold_matches(join, j, join.rows_E2, key, held))
        return false;
    put_held(join, i0, held);
    return true;
}

// A block of keys in one sweep while E2's row numbers fit the lists, else (or when a
// key's list overflows) one sweep per key. The filling keys are read here alone.
static void fill_joins(Join &join)
{
    for (uint64_t i = 0; i < join.rows_E1; i += FILL_KEYS) {
        double key[FILL_KEYS];
        for (int b = 0; b < FILL_KEYS; ++b)
            key[b] = i + b < join.rows_E1 ? join.e1[i + b + join.rows_E1] : __builtin_nan("");
        if (join.rows_E2 > UINT32_MAX || !fill_block(join, i, key))
            for (uint64_t b = i; b < i + FILL_KEYS && b < join.rows_E1; ++b)
                fill_key(join, b, key[b - i]);
    }
}

static Kernel kernel() { return {count_joins, fill_joins}; }

} // namespace JOIN_PASSES

#endif
