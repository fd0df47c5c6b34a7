// [E, W] = edgejoin(E1, E2)
//
// Joins every edge (a, b, v) of E1 to every edge (b, c, u) of E2 whose first node
// equals b, giving the edge (a, c, 0) in E and the values (v, u) in W. Rows follow
// E1's order, then E2's. Nodes match by IEEE equality: -0 matches +0, NaN matches
// nothing.
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

#endif

#if MEX_SSE2

// Joins row i of E1 with the E2 rows j0 + b for each set bit b, in order.
static inline void put_joins(Join &join, uint64_t i, uint64_t j0, unsigned bits)
{
    for (; bits != 0; bits &= bits - 1)
        put_join(join, i, j0 + __builtin_ctz(bits));
}

// Matches of one key among E2's first nodes, two nodes per compare.
static int64_t count_key_sse2(double key, const double *starts, uint64_t rows_E2)
{
    const __m128d k = _mm_set1_pd(key);
    __m128i m0 = _mm_setzero_si128(), m1 = _mm_setzero_si128();
    uint64_t j = 0;
    for (; j + 4 <= rows_E2; j += 4) {
        m0 = _mm_sub_epi64(m0, _mm_castpd_si128(_mm_cmpeq_pd(_mm_loadu_pd(starts + j), k)));
        m1 = _mm_sub_epi64(m1, _mm_castpd_si128(_mm_cmpeq_pd(_mm_loadu_pd(starts + j + 2), k)));
    }
    m0 = _mm_add_epi64(m0, m1);
    int64_t matches = _mm_cvtsi128_si64(m0) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(m0, m0));
    for (; j < rows_E2; ++j)
        matches += starts[j] == key;
    return matches;
}

static int64_t count_joins_sse2(const Join &join)
{
    const double *ends = join.e1 + join.rows_E1;
    int64_t joins = 0;
    for (uint64_t i = 0; i < join.rows_E1; ++i) {
        joins += count_key_sse2(ends[i], join.e2, join.rows_E2);
        if (joins > INT32_MAX)
            return -1;
    }
    return joins;
}

// Row by row, eight E2 nodes per step; a step without any match costs one branch.
// The state is copied in and out, so that the compiler keeps it in registers.
static void fill_joins_sse2(Join &state)
{
    Join join = state;
    const double *starts = join.e2;
    const uint64_t steps_end = join.rows_E2 & ~(uint64_t)7;
    for (uint64_t i = 0; i < join.rows_E1; ++i) {
        const double key = join.e1[i + join.rows_E1];
        const __m128d kv = _mm_set1_pd(key);
        uint64_t j = 0;
        for (; j < steps_end; j += 8) {
            __m128d c0 = _mm_cmpeq_pd(_mm_loadu_pd(starts + j), kv);
            __m128d c1 = _mm_cmpeq_pd(_mm_loadu_pd(starts + j + 2), kv);
            __m128d c2 = _mm_cmpeq_pd(_mm_loadu_pd(starts + j + 4), kv);
            __m128d c3 = _mm_cmpeq_pd(_mm_loadu_pd(starts + j + 6), kv);
            unsigned bits = _mm_movemask_pd(c0) | _mm_movemask_pd(c1) << 2 |
                            _mm_movemask_pd(c2) << 4 | _mm_movemask_pd(c3) << 6;
            put_joins(join, i, j, bits);
        }
        put_joins_from(join, i, j, key);
    }
    state.out_row = join.out_row;
}

#endif

// The vector paths, AVX2 and NEON, take the keys in blocks: four per counting sweep
// over E2, FILL_KEYS per filling sweep. The last block of each is filled up with NaN
// keys, which match nothing. A filling sweep notes each key's matching E2 rows (32-bit
// row numbers on the stack, FILL_HOLD a key, 3 KB: under one page, so no stack probe)
// and writes them after the sweep.
enum { COUNT_KEYS = 4, FILL_KEYS = 2, FILL_HOLD = 384 };

#if MEX_AVX2 || MEX_NEON

// The E2 rows noted per key of a block, in order.
struct HeldRows {
    uint32_t count[FILL_KEYS];
    uint32_t rows[FILL_KEYS][FILL_HOLD];
};

// Notes, per key, the E2 rows j0..j1-1 that match it, in order; false when a key's
// list is full.
static inline bool hold_matches(const Join &join, uint64_t j0, uint64_t j1,
                                const double key[FILL_KEYS], HeldRows &held)
{
    for (int b = 0; b < FILL_KEYS; ++b)
        for (uint64_t t = j0; t < j1; ++t)
            if (join.e2[t] == key[b]) {
                if (held.count[b] == FILL_HOLD)
                    return false;
                held.rows[b][held.count[b]++] = (uint32_t)t;
            }
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

// The filling pass of both paths: a block of keys in one sweep while E2's row numbers
// fit the lists, else (or when a key's list overflows) one sweep per key.
// fill_block(join, i0, key) writes the block of E1 rows i0.. and returns true, or
// writes nothing and returns false; fill_key(join, i, key) writes the rows of one key.
// The filling keys are read here alone.
template <bool (*fill_block)(Join &, uint64_t, const double *),
          void (*fill_key)(Join &, uint64_t, double)>
static void fill_joins_in_blocks(Join &join)
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

#endif

#if MEX_AVX2

__attribute__((target("avx2"))) static inline __m256i
equal4(const double *nodes, __m256d key)
{
    return _mm256_castpd_si256(_mm256_cmp_pd(_mm256_loadu_pd(nodes), key, _CMP_EQ_OQ));
}

// The sixteen lanes of four compare masks as bits, in node order.
__attribute__((target("avx2"))) static inline unsigned
match_bits(__m256i c0, __m256i c1, __m256i c2, __m256i c3)
{
    return _mm256_movemask_pd(_mm256_castsi256_pd(c0)) |
           _mm256_movemask_pd(_mm256_castsi256_pd(c1)) << 4 |
           _mm256_movemask_pd(_mm256_castsi256_pd(c2)) << 8 |
           _mm256_movemask_pd(_mm256_castsi256_pd(c3)) << 12;
}

// Four keys per sweep over E2, four nodes per compare: each loaded node vector serves
// four keys.
__attribute__((target("avx2"))) static int64_t count_joins_avx2(const Join &join)
{
    const double *ends = join.e1 + join.rows_E1, *starts = join.e2;
    int64_t joins = 0;
    for (uint64_t i = 0; i < join.rows_E1; i += COUNT_KEYS) {
        double key[COUNT_KEYS];
        for (int b = 0; b < COUNT_KEYS; ++b)
            key[b] = i + b < join.rows_E1 ? ends[i + b] : __builtin_nan("");
        const __m256d k0 = _mm256_set1_pd(key[0]), k1 = _mm256_set1_pd(key[1]);
        const __m256d k2 = _mm256_set1_pd(key[2]), k3 = _mm256_set1_pd(key[3]);
        __m256i m0 = _mm256_setzero_si256(), m1 = m0, m2 = m0, m3 = m0;
        uint64_t j = 0;
        for (; j + 4 <= join.rows_E2; j += 4) {
            __m256d v = _mm256_loadu_pd(starts + j);
            m0 = _mm256_sub_epi64(m0, _mm256_castpd_si256(_mm256_cmp_pd(v, k0, _CMP_EQ_OQ)));
            m1 = _mm256_sub_epi64(m1, _mm256_castpd_si256(_mm256_cmp_pd(v, k1, _CMP_EQ_OQ)));
            m2 = _mm256_sub_epi64(m2, _mm256_castpd_si256(_mm256_cmp_pd(v, k2, _CMP_EQ_OQ)));
            m3 = _mm256_sub_epi64(m3, _mm256_castpd_si256(_mm256_cmp_pd(v, k3, _CMP_EQ_OQ)));
        }
        __m256i m = _mm256_add_epi64(_mm256_add_epi64(m0, m1), _mm256_add_epi64(m2, m3));
        __m128i h = _mm_add_epi64(_mm256_castsi256_si128(m), _mm256_extracti128_si256(m, 1));
        joins += _mm_cvtsi128_si64(h) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(h, h));
        for (; j < join.rows_E2; ++j)
            joins += (starts[j] == key[0]) + (starts[j] == key[1]) + (starts[j] == key[2]) +
                     (starts[j] == key[3]);
        if (joins > INT32_MAX)
            return -1;
    }
    return joins;
}

// The rows of key, that of E1 row i, sixteen E2 nodes per step: the four compare masks
// are ORed as integers and tested once, so a step without any match costs one branch.
__attribute__((target("avx2"))) static void fill_key_avx2(Join &state, uint64_t i,
                                                          double key)
{
    Join join = state;   // in registers, as in the SSE2 pass
    const __m256d kv = _mm256_set1_pd(key);
    const double *starts = join.e2;
    uint64_t j = 0;
    for (; j + 16 <= join.rows_E2; j += 16) {
        __m256i c0 = equal4(starts + j, kv), c1 = equal4(starts + j + 4, kv);
        __m256i c2 = equal4(starts + j + 8, kv), c3 = equal4(starts + j + 12, kv);
        __m256i any = _mm256_or_si256(_mm256_or_si256(c0, c1), _mm256_or_si256(c2, c3));
        if (_mm256_testz_si256(any, any))
            continue;
        put_joins(join, i, j, match_bits(c0, c1, c2, c3));
    }
    put_joins_from(join, i, j, key);
    state.out_row = join.out_row;
}

// The block of keys of E1 rows i0.. in one sweep over E2: every loaded node vector is
// compared with each key and all masks ORed and tested once.
__attribute__((target("avx2"))) static bool fill_block_avx2(Join &join, uint64_t i0,
                                                            const double key[FILL_KEYS])
{
    const double *starts = join.e2;
    __m256d kv[FILL_KEYS];
    HeldRows held;
    for (int b = 0; b < FILL_KEYS; ++b)
        kv[b] = _mm256_set1_pd(key[b]), held.count[b] = 0;
    uint64_t j = 0;
    for (; j + 16 <= join.rows_E2; j += 16) {
        const __m256d v0 = _mm256_loadu_pd(starts + j);
        const __m256d v1 = _mm256_loadu_pd(starts + j + 4);
        const __m256d v2 = _mm256_loadu_pd(starts + j + 8);
        const __m256d v3 = _mm256_loadu_pd(starts + j + 12);
        __m256i any = _mm256_setzero_si256();
        for (int b = 0; b < FILL_KEYS; ++b) {
            __m256d c = _mm256_or_pd(_mm256_or_pd(_mm256_cmp_pd(v0, kv[b], _CMP_EQ_OQ),
                                                  _mm256_cmp_pd(v1, kv[b], _CMP_EQ_OQ)),
                                     _mm256_or_pd(_mm256_cmp_pd(v2, kv[b], _CMP_EQ_OQ),
                                                  _mm256_cmp_pd(v3, kv[b], _CMP_EQ_OQ)));
            any = _mm256_or_si256(any, _mm256_castpd_si256(c));
        }
        if (_mm256_testz_si256(any, any))
            continue;
        for (int b = 0; b < FILL_KEYS; ++b) {
            unsigned bits =
                match_bits(equal4(starts + j, kv[b]), equal4(starts + j + 4, kv[b]),
                           equal4(starts + j + 8, kv[b]), equal4(starts + j + 12, kv[b]));
            if (held.count[b] + (unsigned)__builtin_popcount(bits) > FILL_HOLD)
                return false;
            for (; bits != 0; bits &= bits - 1)
                held.rows[b][held.count[b]++] = (uint32_t)(j + __builtin_ctz(bits));
        }
    }
    if (!hold_matches(join, j, join.rows_E2, key, held))
        return false;
    put_held(join, i0, held);
    return true;
}

#endif

#if MEX_NEON

// The compare masks of two node vectors with one key, added: minus the matches per lane.
static inline uint64x2_t equal2x2(float64x2_t v0, float64x2_t v1, float64x2_t key)
{
    return vaddq_u64(vceqq_f64(v0, key), vceqq_f64(v1, key));
}

// Four keys per sweep over E2, four nodes per step: each loaded node vector serves
// four keys.
static int64_t count_joins_neon(const Join &join)
{
    const double *ends = join.e1 + join.rows_E1, *starts = join.e2;
    int64_t joins = 0;
    for (uint64_t i = 0; i < join.rows_E1; i += COUNT_KEYS) {
        double key[COUNT_KEYS];
        for (int b = 0; b < COUNT_KEYS; ++b)
            key[b] = i + b < join.rows_E1 ? ends[i + b] : __builtin_nan("");
        const float64x2_t k0 = vdupq_n_f64(key[0]), k1 = vdupq_n_f64(key[1]);
        const float64x2_t k2 = vdupq_n_f64(key[2]), k3 = vdupq_n_f64(key[3]);
        uint64x2_t m0 = vdupq_n_u64(0), m1 = m0, m2 = m0, m3 = m0;
        uint64_t j = 0;
        for (; j + 4 <= join.rows_E2; j += 4) {
            const float64x2_t v0 = vld1q_f64(starts + j), v1 = vld1q_f64(starts + j + 2);
            m0 = vsubq_u64(m0, equal2x2(v0, v1, k0));
            m1 = vsubq_u64(m1, equal2x2(v0, v1, k1));
            m2 = vsubq_u64(m2, equal2x2(v0, v1, k2));
            m3 = vsubq_u64(m3, equal2x2(v0, v1, k3));
        }
        joins += (int64_t)vaddvq_u64(vaddq_u64(vaddq_u64(m0, m1), vaddq_u64(m2, m3)));
        for (; j < join.rows_E2; ++j)
            joins += (starts[j] == key[0]) + (starts[j] == key[1]) + (starts[j] == key[2]) +
                     (starts[j] == key[3]);
        if (joins > INT32_MAX)
            return -1;
    }
    return joins;
}

// The compare masks of eight nodes with one key, ORed.
static inline uint64x2_t equal8(const float64x2_t v[4], float64x2_t key)
{
    return vorrq_u64(vorrq_u64(vceqq_f64(v[0], key), vceqq_f64(v[1], key)),
                     vorrq_u64(vceqq_f64(v[2], key), vceqq_f64(v[3], key)));
}

// Whether any lane of a compare mask is set.
static inline bool any_lane(uint64x2_t mask)
{
    return vmaxvq_u32(vreinterpretq_u32_u64(mask)) != 0;
}

// The rows of key, that of E1 row i, eight E2 nodes per step; a step without any match
// costs one branch, and one with a match is gone over again node by node.
static void fill_key_neon(Join &state, uint64_t i, double key)
{
    Join join = state;   // in registers, as in the SSE2 pass
    const float64x2_t kv = vdupq_n_f64(key);
    const double *starts = join.e2;
    uint64_t j = 0;
    for (; j + 8 <= join.rows_E2; j += 8) {
        const float64x2_t v[4] = {vld1q_f64(starts + j), vld1q_f64(starts + j + 2),
                                  vld1q_f64(starts + j + 4), vld1q_f64(starts + j + 6)};
        if (any_lane(equal8(v, kv)))
            for (uint64_t t = j; t < j + 8; ++t)
                if (starts[t] == key)
                    put_join(join, i, t);
    }
    put_joins_from(join, i, j, key);
    state.out_row = join.out_row;
}

// The block of keys of E1 rows i0.. in one sweep over E2, eight nodes per step: every
// loaded node vector is compared with each key and all masks ORed and tested once.
static bool fill_block_neon(Join &join, uint64_t i0, const double key[FILL_KEYS])
{
    const double *starts = join.e2;
    float64x2_t kv[FILL_KEYS];
    HeldRows held;
    for (int b = 0; b < FILL_KEYS; ++b)
        kv[b] = vdupq_n_f64(key[b]), held.count[b] = 0;
    uint64_t j = 0;
    for (; j + 8 <= join.rows_E2; j += 8) {
        const float64x2_t v[4] = {vld1q_f64(starts + j), vld1q_f64(starts + j + 2),
                                  vld1q_f64(starts + j + 4), vld1q_f64(starts + j + 6)};
        uint64x2_t any = equal8(v, kv[0]);
        for (int b = 1; b < FILL_KEYS; ++b)
            any = vorrq_u64(any, equal8(v, kv[b]));
        if (any_lane(any) && !hold_matches(join, j, j + 8, key, held))
            return false;
    }
    if (!hold_matches(join, j, join.rows_E2, key, held))
        return false;
    put_held(join, i0, held);
    return true;
}

#endif

// The kernel for this processor and job. AVX2 serves jobs large enough that its
// feature test costs little beside them.
static Kernel choose_kernel(uint64_t rows_E1, uint64_t rows_E2)
{
#if MEX_AVX2
    if ((double)rows_E1 * (double)rows_E2 >= 65536.0 && cpu_has_avx2())
        return {count_joins_avx2, fill_joins_in_blocks<fill_block_avx2, fill_key_avx2>};
#else
    (void)rows_E1, (void)rows_E2;
#endif
#if MEX_SSE2
    return {count_joins_sse2, fill_joins_sse2};
#elif MEX_NEON
    return {count_joins_neon, fill_joins_in_blocks<fill_block_neon, fill_key_neon>};
#else
    return {count_joins_plain, fill_joins_plain};
#endif
}
