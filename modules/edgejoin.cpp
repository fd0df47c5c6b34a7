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

// Writes row k of E and W from row i of E1 and row j of E2.
static inline void put_join(const double *e1, uint64_t p, const double *e2, uint64_t q,
                            uint64_t i, uint64_t j, double *e, double *w, uint64_t n,
                            uint64_t k)
{
    e[k] = e1[i];
    e[k + n] = e2[j + q];
    e[k + 2 * n] = 0.0;
    w[k] = e1[i + 2 * p];
    w[k + n] = e2[j + 2 * q];
}

// Joins row i of E1 with the rows j0 + b of E2 for each set bit b, in order, from
// output row k on; returns the next output row.
static inline uint64_t put_joins(const double *e1, uint64_t p, const double *e2, uint64_t q,
                                 uint64_t i, uint64_t j0, unsigned bits, double *e, double *w,
                                 uint64_t n, uint64_t k)
{
    for (; bits != 0; bits &= bits - 1)
        put_join(e1, p, e2, q, i, j0 + __builtin_ctz(bits), e, w, n, k++);
    return k;
}

// The same for the E2 rows j0.. that match key, one compare each.
static inline uint64_t put_joins_from(const double *e1, uint64_t p, const double *e2,
                                      uint64_t q, uint64_t i, uint64_t j0, double key,
                                      double *e, double *w, uint64_t n, uint64_t k)
{
    for (uint64_t j = j0; j < q; ++j)
        if (e2[j] == key)
            put_join(e1, p, e2, q, i, j, e, w, n, k++);
    return k;
}

// Both passes test every pair in nested order, i then j. Vector compares are IEEE
// equality (ordered, quiet): -0 == +0, NaN equals nothing. A count stops as soon as
// the joins pass 2^31-1, the most rows the host can create.

#if !MEX_SSE2 && !MEX_NEON

// The plain loops, for processors without a vector path here.
static int64_t count_joins_plain(const double *second1, uint64_t p, const double *first2,
                                 uint64_t q)
{
    int64_t joins = 0;
    for (uint64_t i = 0; i < p; ++i) {
        for (uint64_t j = 0; j < q; ++j)
            joins += first2[j] == second1[i];
        if (joins > INT32_MAX)
            return -1;
    }
    return joins;
}

static void fill_joins_plain(const double *e1, uint64_t p, const double *e2, uint64_t q,
                             double *e, double *w, uint64_t n)
{
    uint64_t k = 0;
    for (uint64_t i = 0; i < p; ++i)
        k = put_joins_from(e1, p, e2, q, i, 0, e1[i + p], e, w, n, k);
}

#endif

// Keys per sweep of the vector filling passes, and the matches each may hold back
// during a sweep (32-bit E2 row numbers on the stack, 3 KB: under one page, so no
// stack probe).
enum { FILL_KEYS = 2, FILL_HOLD = 384 };

#if MEX_AVX2 || MEX_NEON

// Notes, per key, the E2 rows j0..j1-1 that match it, in order; false when a key's
// list is full.
static inline bool hold_matches(const double *e2, uint64_t j0, uint64_t j1,
                                const double key[FILL_KEYS], uint32_t held[FILL_KEYS],
                                uint32_t rows[FILL_KEYS][FILL_HOLD])
{
    for (int b = 0; b < FILL_KEYS; ++b)
        for (uint64_t t = j0; t < j1; ++t)
            if (e2[t] == key[b]) {
                if (held[b] == FILL_HOLD)
                    return false;
                rows[b][held[b]++] = (uint32_t)t;
            }
    return true;
}

// Writes the rows held for keys i0, i0+1, ..., key by key, so that they keep the order
// i then j.
static inline void put_held(const double *e1, uint64_t p, const double *e2, uint64_t q,
                            uint64_t i0, const uint32_t held[FILL_KEYS],
                            const uint32_t rows[FILL_KEYS][FILL_HOLD], double *e, double *w,
                            uint64_t n, uint64_t *k)
{
    for (int b = 0; b < FILL_KEYS; ++b)
        for (uint32_t t = 0; t < held[b]; ++t)
            put_join(e1, p, e2, q, i0 + b, rows[b][t], e, w, n, (*k)++);
}

#endif

#if MEX_SSE2

// Matches of one key among first2[0..q), two nodes per compare.
static int64_t count_key(double key, const double *first2, uint64_t q)
{
    const __m128d k = _mm_set1_pd(key);
    __m128i m0 = _mm_setzero_si128(), m1 = _mm_setzero_si128();
    uint64_t j = 0;
    for (; j + 4 <= q; j += 4) {
        m0 = _mm_sub_epi64(m0, _mm_castpd_si128(_mm_cmpeq_pd(_mm_loadu_pd(first2 + j), k)));
        m1 = _mm_sub_epi64(m1, _mm_castpd_si128(_mm_cmpeq_pd(_mm_loadu_pd(first2 + j + 2), k)));
    }
    m0 = _mm_add_epi64(m0, m1);
    int64_t matches = _mm_cvtsi128_si64(m0) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(m0, m0));
    for (; j < q; ++j)
        matches += first2[j] == key;
    return matches;
}

static int64_t count_joins_sse2(const double *second1, uint64_t p, const double *first2,
                                uint64_t q)
{
    int64_t joins = 0;
    for (uint64_t i = 0; i < p; ++i) {
        joins += count_key(second1[i], first2, q);
        if (joins > INT32_MAX)
            return -1;
    }
    return joins;
}

// Row by row, eight E2 nodes per step; a step without any match costs one branch.
static void fill_joins_sse2(const double *e1, uint64_t p, const double *e2, uint64_t q,
                            double *e, double *w, uint64_t n)
{
    uint64_t k = 0;
    for (uint64_t i = 0; i < p; ++i) {
        const double key = e1[i + p];
        const __m128d kv = _mm_set1_pd(key);
        uint64_t j = 0;
        for (; j + 8 <= q; j += 8) {
            __m128d c0 = _mm_cmpeq_pd(_mm_loadu_pd(e2 + j), kv);
            __m128d c1 = _mm_cmpeq_pd(_mm_loadu_pd(e2 + j + 2), kv);
            __m128d c2 = _mm_cmpeq_pd(_mm_loadu_pd(e2 + j + 4), kv);
            __m128d c3 = _mm_cmpeq_pd(_mm_loadu_pd(e2 + j + 6), kv);
            unsigned bits = _mm_movemask_pd(c0) | _mm_movemask_pd(c1) << 2 |
                            _mm_movemask_pd(c2) << 4 | _mm_movemask_pd(c3) << 6;
            k = put_joins(e1, p, e2, q, i, j, bits, e, w, n, k);
        }
        k = put_joins_from(e1, p, e2, q, i, j, key, e, w, n, k);
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

// Four E1 keys per sweep over E2, four nodes per compare: each loaded node vector
// serves four keys.
__attribute__((target("avx2"))) static int64_t
count_joins_avx2(const double *second1, uint64_t p, const double *first2, uint64_t q)
{
    int64_t joins = 0;
    uint64_t i = 0;
    for (; i + 4 <= p; i += 4) {
        const __m256d k0 = _mm256_set1_pd(second1[i]), k1 = _mm256_set1_pd(second1[i + 1]);
        const __m256d k2 = _mm256_set1_pd(second1[i + 2]), k3 = _mm256_set1_pd(second1[i + 3]);
        __m256i m0 = _mm256_setzero_si256(), m1 = m0, m2 = m0, m3 = m0;
        uint64_t j = 0;
        for (; j + 4 <= q; j += 4) {
            __m256d v = _mm256_loadu_pd(first2 + j);
            m0 = _mm256_sub_epi64(m0, _mm256_castpd_si256(_mm256_cmp_pd(v, k0, _CMP_EQ_OQ)));
            m1 = _mm256_sub_epi64(m1, _mm256_castpd_si256(_mm256_cmp_pd(v, k1, _CMP_EQ_OQ)));
            m2 = _mm256_sub_epi64(m2, _mm256_castpd_si256(_mm256_cmp_pd(v, k2, _CMP_EQ_OQ)));
            m3 = _mm256_sub_epi64(m3, _mm256_castpd_si256(_mm256_cmp_pd(v, k3, _CMP_EQ_OQ)));
        }
        __m256i m = _mm256_add_epi64(_mm256_add_epi64(m0, m1), _mm256_add_epi64(m2, m3));
        __m128i h = _mm_add_epi64(_mm256_castsi256_si128(m), _mm256_extracti128_si256(m, 1));
        joins += _mm_cvtsi128_si64(h) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(h, h));
        for (; j < q; ++j)
            joins += (first2[j] == second1[i]) + (first2[j] == second1[i + 1]) +
                     (first2[j] == second1[i + 2]) + (first2[j] == second1[i + 3]);
        if (joins > INT32_MAX)
            return -1;
    }
    for (; i < p; ++i) {
        joins += count_key(second1[i], first2, q);
        if (joins > INT32_MAX)
            return -1;
    }
    return joins;
}

// The rows of key i, sixteen E2 nodes per step: the four compare masks are ORed as
// integers and tested once, so a step without any match costs one branch.
__attribute__((target("avx2"))) static uint64_t
fill_key_avx2(const double *e1, uint64_t p, const double *e2, uint64_t q, uint64_t i,
              double *e, double *w, uint64_t n, uint64_t k)
{
    const double key = e1[i + p];
    const __m256d kv = _mm256_set1_pd(key);
    uint64_t j = 0;
    for (; j + 16 <= q; j += 16) {
        __m256i c0 = equal4(e2 + j, kv), c1 = equal4(e2 + j + 4, kv);
        __m256i c2 = equal4(e2 + j + 8, kv), c3 = equal4(e2 + j + 12, kv);
        __m256i any = _mm256_or_si256(_mm256_or_si256(c0, c1), _mm256_or_si256(c2, c3));
        if (_mm256_testz_si256(any, any))
            continue;
        k = put_joins(e1, p, e2, q, i, j, match_bits(c0, c1, c2, c3), e, w, n, k);
    }
    return put_joins_from(e1, p, e2, q, i, j, key, e, w, n, k);
}

// The rows of keys i0, i0+1, ... in one sweep over E2: every loaded node vector is
// compared with each key and all masks ORed and tested once. Matches are noted per
// key, in E2's order, and written after the sweep, key by key, so the rows keep the
// order i then j. Returns false, having written nothing, when a key matches more rows
// than its list holds.
__attribute__((target("avx2"))) static bool
fill_block_avx2(const double *e1, uint64_t p, const double *e2, uint64_t q, uint64_t i0,
                double *e, double *w, uint64_t n, uint64_t *k)
{
    double key[FILL_KEYS];
    __m256d kv[FILL_KEYS];
    uint32_t held[FILL_KEYS], rows[FILL_KEYS][FILL_HOLD];
    for (int b = 0; b < FILL_KEYS; ++b) {
        key[b] = e1[i0 + b + p];
        kv[b] = _mm256_set1_pd(key[b]), held[b] = 0;
    }
    uint64_t j = 0;
    for (; j + 16 <= q; j += 16) {
        const __m256d v0 = _mm256_loadu_pd(e2 + j), v1 = _mm256_loadu_pd(e2 + j + 4);
        const __m256d v2 = _mm256_loadu_pd(e2 + j + 8), v3 = _mm256_loadu_pd(e2 + j + 12);
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
            unsigned bits = match_bits(equal4(e2 + j, kv[b]), equal4(e2 + j + 4, kv[b]),
                                       equal4(e2 + j + 8, kv[b]), equal4(e2 + j + 12, kv[b]));
            if (held[b] + (unsigned)__builtin_popcount(bits) > FILL_HOLD)
                return false;
            for (; bits != 0; bits &= bits - 1)
                rows[b][held[b]++] = (uint32_t)(j + __builtin_ctz(bits));
        }
    }
    if (!hold_matches(e2, j, q, key, held, rows))
        return false;
    put_held(e1, p, e2, q, i0, held, rows, e, w, n, k);
    return true;
}

// Blocks of keys while E2's row numbers fit the lists; a block whose lists overflow,
// and the last keys, one sweep per key.
__attribute__((target("avx2"))) static void
fill_joins_avx2(const double *e1, uint64_t p, const double *e2, uint64_t q, double *e,
                double *w, uint64_t n)
{
    uint64_t k = 0, i = 0;
    if (q <= UINT32_MAX)
        for (; i + FILL_KEYS <= p; i += FILL_KEYS)
            if (!fill_block_avx2(e1, p, e2, q, i, e, w, n, &k))
                for (uint64_t b = i; b < i + FILL_KEYS; ++b)
                    k = fill_key_avx2(e1, p, e2, q, b, e, w, n, k);
    for (; i < p; ++i)
        k = fill_key_avx2(e1, p, e2, q, i, e, w, n, k);
}

#endif

#if MEX_NEON

// The compare masks of two node vectors with one key, added: minus the matches per lane.
static inline uint64x2_t equal2x2(float64x2_t v0, float64x2_t v1, float64x2_t key)
{
    return vaddq_u64(vceqq_f64(v0, key), vceqq_f64(v1, key));
}

// Four E1 keys per sweep over E2, four nodes per step: each loaded node vector serves
// four keys. The last sweep fills its missing keys with NaN, which matches nothing.
static int64_t count_joins_neon(const double *second1, uint64_t p, const double *first2,
                                uint64_t q)
{
    int64_t joins = 0;
    for (uint64_t i = 0; i < p; i += 4) {
        double key[4];
        for (int b = 0; b < 4; ++b)
            key[b] = i + b < p ? second1[i + b] : __builtin_nan("");
        const float64x2_t k0 = vdupq_n_f64(key[0]), k1 = vdupq_n_f64(key[1]);
        const float64x2_t k2 = vdupq_n_f64(key[2]), k3 = vdupq_n_f64(key[3]);
        uint64x2_t m0 = vdupq_n_u64(0), m1 = m0, m2 = m0, m3 = m0;
        uint64_t j = 0;
        for (; j + 4 <= q; j += 4) {
            const float64x2_t v0 = vld1q_f64(first2 + j), v1 = vld1q_f64(first2 + j + 2);
            m0 = vsubq_u64(m0, equal2x2(v0, v1, k0));
            m1 = vsubq_u64(m1, equal2x2(v0, v1, k1));
            m2 = vsubq_u64(m2, equal2x2(v0, v1, k2));
            m3 = vsubq_u64(m3, equal2x2(v0, v1, k3));
        }
        joins += (int64_t)vaddvq_u64(vaddq_u64(vaddq_u64(m0, m1), vaddq_u64(m2, m3)));
        for (; j < q; ++j)
            joins += (first2[j] == key[0]) + (first2[j] == key[1]) + (first2[j] == key[2]) +
                     (first2[j] == key[3]);
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

// The rows of key i, eight E2 nodes per step; a step without any match costs one
// branch, and one with a match is gone over again node by node.
static uint64_t fill_key_neon(const double *e1, uint64_t p, const double *e2, uint64_t q,
                              uint64_t i, double *e, double *w, uint64_t n, uint64_t k)
{
    const double key = e1[i + p];
    const float64x2_t kv = vdupq_n_f64(key);
    uint64_t j = 0;
    for (; j + 8 <= q; j += 8) {
        const float64x2_t v[4] = {vld1q_f64(e2 + j), vld1q_f64(e2 + j + 2),
                                  vld1q_f64(e2 + j + 4), vld1q_f64(e2 + j + 6)};
        if (any_lane(equal8(v, kv)))
            for (uint64_t t = j; t < j + 8; ++t)
                if (e2[t] == key)
                    put_join(e1, p, e2, q, i, t, e, w, n, k++);
    }
    return put_joins_from(e1, p, e2, q, i, j, key, e, w, n, k);
}

// The rows of keys i0, i0+1, ... (past p: NaN, which matches nothing) in one sweep over
// E2, eight nodes per step: every loaded node vector is compared with each key and all
// masks ORed and tested once. Matches are noted per key, in E2's order, and written
// after the sweep, key by key, so the rows keep the order i then j. Returns false,
// having written nothing, when a key matches more rows than its list holds.
static bool fill_block_neon(const double *e1, uint64_t p, const double *e2, uint64_t q,
                            uint64_t i0, double *e, double *w, uint64_t n, uint64_t *k)
{
    double key[FILL_KEYS];
    float64x2_t kv[FILL_KEYS];
    uint32_t held[FILL_KEYS], rows[FILL_KEYS][FILL_HOLD];
    for (int b = 0; b < FILL_KEYS; ++b) {
        key[b] = i0 + b < p ? e1[i0 + b + p] : __builtin_nan("");
        kv[b] = vdupq_n_f64(key[b]), held[b] = 0;
    }
    uint64_t j = 0;
    for (; j + 8 <= q; j += 8) {
        const float64x2_t v[4] = {vld1q_f64(e2 + j), vld1q_f64(e2 + j + 2),
                                  vld1q_f64(e2 + j + 4), vld1q_f64(e2 + j + 6)};
        uint64x2_t any = equal8(v, kv[0]);
        for (int b = 1; b < FILL_KEYS; ++b)
            any = vorrq_u64(any, equal8(v, kv[b]));
        if (any_lane(any) && !hold_matches(e2, j, j + 8, key, held, rows))
            return false;
    }
    if (!hold_matches(e2, j, q, key, held, rows))
        return false;
    put_held(e1, p, e2, q, i0, held, rows, e, w, n, k);
    return true;
}

// Blocks of keys while E2's row numbers fit the lists; a block whose lists overflow,
// one sweep per key.
static void fill_joins_neon(const double *e1, uint64_t p, const double *e2, uint64_t q,
                            double *e, double *w, uint64_t n)
{
    uint64_t k = 0;
    for (uint64_t i = 0; i < p; i += FILL_KEYS)
        if (q > UINT32_MAX || !fill_block_neon(e1, p, e2, q, i, e, w, n, &k))
            for (uint64_t b = i; b < i + FILL_KEYS && b < p; ++b)
                k = fill_key_neon(e1, p, e2, q, b, e, w, n, k);
}

#endif

// The AVX2 passes serve jobs large enough that the feature test costs little beside
// them.
static bool use_avx2(uint64_t p, uint64_t q)
{
#if MEX_AVX2
    return (double)p * (double)q >= 65536.0 && cpu_has_avx2();
#else
    (void)p, (void)q;
    return false;
#endif
}

static int64_t count_joins(bool avx2, const double *second1, uint64_t p,
                           const double *first2, uint64_t q)
{
#if MEX_AVX2
    if (avx2)
        return count_joins_avx2(second1, p, first2, q);
#endif
    (void)avx2;
#if MEX_SSE2
    return count_joins_sse2(second1, p, first2, q);
#elif MEX_NEON
    return count_joins_neon(second1, p, first2, q);
#else
    return count_joins_plain(second1, p, first2, q);
#endif
}

static void fill_joins(bool avx2, const double *e1, uint64_t p, const double *e2,
                       uint64_t q, double *e, double *w, uint64_t n)
{
#if MEX_AVX2
    if (avx2)
        return fill_joins_avx2(e1, p, e2, q, e, w, n);
#endif
    (void)avx2;
#if MEX_SSE2
    fill_joins_sse2(e1, p, e2, q, e, w, n);
#elif MEX_NEON
    fill_joins_neon(e1, p, e2, q, e, w, n);
#else
    fill_joins_plain(e1, p, e2, q, e, w, n);
#endif
}

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
    uint64_t p = mxGetM(E1);
    uint64_t q = mxGetM(E2);
    const double *e1 = mxGetPr(E1);
    const double *e2 = mxGetPr(E2);
    const bool avx2 = use_avx2(p, q);
    int64_t joins = count_joins(avx2, e1 + p, p, e2, q);
    if (joins < 0)
        mexErrMsgTxt("Inputs need to give at most 2^31-1 joined edges");

    // Create the outputs
    plhs[OUT_E] = mxCreateDoubleMatrix_700((int)joins, 3, mxREAL);
    plhs[OUT_W] = mxCreateDoubleMatrix_700((int)joins, 2, mxREAL);
    double *e = mxGetPr(plhs[OUT_E]);
    double *w = mxGetPr(plhs[OUT_W]);

    // Do the job
    fill_joins(avx2, e1, p, e2, q, e, w, (uint64_t)joins);
}
