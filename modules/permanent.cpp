// p = permanent(A, P)
//
// Sums, over the rows of the table P, the products A(1, P(j,1)) * ... * A(n, P(j,n)).
// When P lists every permutation of 1..n once, p is the permanent of the n x n matrix A.
// Each row's product is taken in column order from 1.0, and the sum in table-row order
// from 0, every operation rounded by itself.
#include <stdint.h>

#include "cpu_features.h"
#include "mex_api.h"

enum { IN_A, IN_P, IN_END };
enum { OUT_SUM, OUT_END };

// Whether rows == n!. From n = 21 on, n! exceeds every count the host can report.
static bool is_factorial_of(uint64_t rows, uint64_t n)
{
    uint64_t f = 1;
    for (uint64_t k = 2; k <= n; ++k)
        if (__builtin_mul_overflow(f, k, &f))
            return false;
    return rows == f;
}

// Adds the products of rows j0..rows-1 to *sum, in row order. Returns false when an
// entry selects no column of A, before reading A with it.
static bool add_row_products(const double *a, const double *p, uint64_t rows, int n,
                             uint64_t j0, double *sum)
{
    double s = *sum;
    for (uint64_t j = j0; j < rows; ++j) {
        double product = 1.0;
        for (int k = 0; k < n; ++k) {
            double column = p[j + (uint64_t)k * rows] - 1.0;
            if (!(column > -1.0 && column < (double)n))   // NaN fails too
                return false;
            product = product * a[(uint64_t)k + (uint64_t)(int32_t)column * (uint64_t)n];
        }
        s = product + s;
    }
    *sum = s;
    return true;
}

#if MEX_AVX2

// One row of A as two lookup registers: the low and the high 32-bit halves of
// A(k, c) for c = 8h .. 8h+7 (zero past n), in lane c mod 8.
__attribute__((target("avx2"))) static inline void
split_row(const double *a, int n, int k, int h, __m256i *lo, __m256i *hi)
{
    double v[8];
    for (int i = 0; i < 8; ++i) {
        int c = 8 * h + i;
        v[i] = c < n ? a[(uint64_t)k + (uint64_t)c * (uint64_t)n] : 0.0;
    }
    const __m256i halves = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    __m256i x = _mm256_permutevar8x32_epi32(
        _mm256_castpd_si256(_mm256_setr_pd(v[0], v[1], v[2], v[3])), halves);
    __m256i y = _mm256_permutevar8x32_epi32(
        _mm256_castpd_si256(_mm256_setr_pd(v[4], v[5], v[6], v[7])), halves);
    *lo = _mm256_permute2x128_si256(x, y, 0x20);
    *hi = _mm256_permute2x128_si256(x, y, 0x31);
}

// Eight table rows at a time, one per 32-bit lane of the column indices. A is looked
// up from registers (vpermd on the index's low 3 bits, a blend for columns 8..15), so
// no index, valid or not, ever reads memory; entries are checked by a running
// unsigned maximum of the truncated indices, which is below n exactly when every
// v - 1 lies in (-1, n). Products stay in column order and the sum in row order.
template <int N, int H = (N > 8 ? 2 : 1)>
__attribute__((target("avx2"))) static bool
add_row_products_avx2(const double *a, const double *p, uint64_t rows, double *sum)
{
    const int n = N;
    __m256i lo[N][H], hi[N][H];
    for (int k = 0; k < n; ++k)
        for (int h = 0; h < H; ++h)
            split_row(a, n, k, h, &lo[k][h], &hi[k][h]);

    const __m256d one = _mm256_set1_pd(1.0);
    const __m256i seven = _mm256_set1_epi32(7);
    const __m256i last = _mm256_set1_epi32(n - 1);
    __m128d s = _mm_set_sd(*sum);
    const uint64_t groups = rows / 8;
    for (uint64_t g0 = 0; g0 < groups; g0 += 256) {
        const uint64_t g1 = groups - g0 < 256 ? groups : g0 + 256;
        __m256i top = _mm256_setzero_si256();
        for (uint64_t g = g0; g < g1; ++g) {
            const double *col = p + 8 * g;
            // Lanes hold rows 0, 1, 4, 5 and rows 2, 3, 6, 7 (the unpack order).
            __m256d prod_a = one, prod_b = one;
            for (int k = 0; k < n; ++k, col += rows) {
                // With ten columns and more, the hardware prefetchers fall behind
                // the streams (n = 10: 11.2 ms without, 8.7 with); a hint never
                // faults, even past the table's end.
                _mm_prefetch((const char *)(col + 256), _MM_HINT_T0);
                __m128i i0 = _mm256_cvttpd_epi32(_mm256_sub_pd(_mm256_loadu_pd(col), one));
                __m128i i1 =
                    _mm256_cvttpd_epi32(_mm256_sub_pd(_mm256_loadu_pd(col + 4), one));
                __m256i idx = _mm256_inserti128_si256(_mm256_castsi128_si256(i0), i1, 1);
                top = _mm256_max_epu32(top, idx);
                __m256i l = _mm256_permutevar8x32_epi32(lo[k][0], idx);
                __m256i u = _mm256_permutevar8x32_epi32(hi[k][0], idx);
                if (H == 2) {
                    __m256i upper = _mm256_cmpgt_epi32(idx, seven);
                    l = _mm256_blendv_epi8(l, _mm256_permutevar8x32_epi32(lo[k][1], idx), upper);
                    u = _mm256_blendv_epi8(u, _mm256_permutevar8x32_epi32(hi[k][1], idx), upper);
                }
                prod_a = _mm256_mul_pd(prod_a, _mm256_castsi256_pd(_mm256_unpacklo_epi32(l, u)));
                prod_b = _mm256_mul_pd(prod_b, _mm256_castsi256_pd(_mm256_unpackhi_epi32(l, u)));
            }
            __m128d r01 = _mm256_castpd256_pd128(prod_a);
            __m128d r23 = _mm256_castpd256_pd128(prod_b);
            __m128d r45 = _mm256_extractf128_pd(prod_a, 1);
            __m128d r67 = _mm256_extractf128_pd(prod_b, 1);
            s = _mm_add_sd(r01, s);
            s = _mm_add_sd(_mm_unpackhi_pd(r01, r01), s);
            s = _mm_add_sd(r23, s);
            s = _mm_add_sd(_mm_unpackhi_pd(r23, r23), s);
            s = _mm_add_sd(r45, s);
            s = _mm_add_sd(_mm_unpackhi_pd(r45, r45), s);
            s = _mm_add_sd(r67, s);
            s = _mm_add_sd(_mm_unpackhi_pd(r67, r67), s);
        }
        __m256i over = _mm256_cmpeq_epi32(_mm256_max_epu32(top, last), last);
        if (_mm256_movemask_epi8(over) != -1)
            return false;
    }
    *sum = _mm_cvtsd_f64(s);
    return add_row_products(a, p, rows, n, groups * 8, sum);
}

#endif

#if MEX_NEON

// One row of A as a TBL table: A(k, c) in bytes 8c..8c+7 of the table's registers,
// zero past n.
template <int N> struct RowTable {
    uint8x16_t r[(N + 1) / 2];
};

template <int N> static inline RowTable<N> row_table(const double *a, int k)
{
    RowTable<N> t;
    for (int c = 0; c < N; c += 2) {
        const double pair[2] = {a[(uint64_t)k + (uint64_t)c * N],
                                c + 1 < N ? a[(uint64_t)k + (uint64_t)(c + 1) * N] : 0.0};
        t.r[c / 2] = vreinterpretq_u8_f64(vld1q_f64(pair));
    }
    return t;
}

// The byte offsets 8c..8c+7 of each lane's column c = trunc(x). Lanes of x outside
// (-1, n) give offsets of no use, and their rows are rejected.
static inline uint8x16_t column_bytes(float64x2_t x)
{
    const uint8x16_t spread = {0, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 8, 8, 8, 8, 8};
    const uint8x16_t within = {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7};
    const int64x2_t eight_c = vshlq_n_s64(vcvtq_s64_f64(x), 3);
    return vaddq_u8(vqtbl1q_u8(vreinterpretq_u8_s64(eight_c), spread), within);
}

// The bytes at the given offsets of R table registers: offsets past them give 0, and no
// offset reads memory. TBL takes at most four registers, so from n = 9 on a second TBL
// looks up the registers past the fourth at the offsets less 64, and the two are ORed
// (each gives 0 where the other's registers hold the byte). TBX would save the OR, but
// its forms for two to four registers would serve only n = 11 on, whose tables (3.5 GB
// and up) no test can run; this way each TBL form runs for some n up to 9.
template <int R>
static inline uint8x16_t look_up_bytes(const uint8x16_t *r, uint8x16_t bytes)
{
    if constexpr (R == 1)
        return vqtbl1q_u8(r[0], bytes);
    else if constexpr (R == 2)
        return vqtbl2q_u8(uint8x16x2_t{{r[0], r[1]}}, bytes);
    else if constexpr (R == 3)
        return vqtbl3q_u8(uint8x16x3_t{{r[0], r[1], r[2]}}, bytes);
    else if constexpr (R == 4)
        return vqtbl4q_u8(uint8x16x4_t{{r[0], r[1], r[2], r[3]}}, bytes);
    else
        return vorrq_u8(look_up_bytes<4>(r, bytes),
                        look_up_bytes<R - 4>(r + 4, vsubq_u8(bytes, vdupq_n_u8(64))));
}

// A(k, c) for each lane's byte offsets.
template <int N> static inline float64x2_t look_up(const RowTable<N> &t, uint8x16_t bytes)
{
    return vreinterpretq_f64_u8(look_up_bytes<(N + 1) / 2>(t.r, bytes));
}

// Four table rows at a time, two per vector, one per lane. Entries are checked by a
// running minimum and maximum of v - 1 (NaN carries through both), which lie in
// (-1, n) exactly when every v - 1 does. Products stay in column order and the sum
// in row order.
template <int N>
static bool add_row_products_neon(const double *a, const double *p, uint64_t rows,
                                  double *sum)
{
    RowTable<N> table[N];
    for (int k = 0; k < N; ++k)
        table[k] = row_table<N>(a, k);

    const float64x2_t one = vdupq_n_f64(1.0);
    double s = *sum;
    const uint64_t groups = rows / 4;
    for (uint64_t g0 = 0; g0 < groups; g0 += 256) {
        const uint64_t g1 = groups - g0 < 256 ? groups : g0 + 256;
        float64x2_t low = vdupq_n_f64(0.0), high = low;
        for (uint64_t g = g0; g < g1; ++g) {
            const double *col = p + 4 * g;
            float64x2_t prod_a = one, prod_b = one;   // rows 0, 1 and rows 2, 3
#pragma GCC unroll 16
            for (int k = 0; k < N; ++k, col += rows) {
                const float64x2_t xa = vsubq_f64(vld1q_f64(col), one);
                const float64x2_t xb = vsubq_f64(vld1q_f64(col + 2), one);
                low = vminq_f64(low, vminq_f64(xa, xb));
                high = vmaxq_f64(high, vmaxq_f64(xa, xb));
                prod_a = vmulq_f64(prod_a, look_up(table[k], column_bytes(xa)));
                prod_b = vmulq_f64(prod_b, look_up(table[k], column_bytes(xb)));
            }
            s = vgetq_lane_f64(prod_a, 0) + s;
            s = vgetq_lane_f64(prod_a, 1) + s;
            s = vgetq_lane_f64(prod_b, 0) + s;
            s = vgetq_lane_f64(prod_b, 1) + s;
        }
        if (!(vminvq_f64(low) > -1.0 && vmaxvq_f64(high) < (double)N))
            return false;
    }
    *sum = s;
    return add_row_products(a, p, rows, N, groups * 4, sum);
}

#endif

// Sum of the row products. Returns false, with *sum unspecified, when an entry
// selects no column of A; nothing outside A is read.
static bool sum_of_products(const double *a, const double *p, uint64_t rows, int n,
                            double *sum)
{
    *sum = 0.0;
#if MEX_AVX2
    // Large enough that the feature test costs little beside the work: with rows = n!,
    // n from 8 on. One kernel per n, so that its column loop unrolls.
    if (n >= 1 && n <= 16 && rows * (uint64_t)n >= 65536 && cpu_widest_path() >= PATH_AVX2)
        switch (n) {
#define MEX_CASE(N) case N: return add_row_products_avx2<N>(a, p, rows, sum);
            MEX_CASE(8) MEX_CASE(9) MEX_CASE(10) MEX_CASE(11) MEX_CASE(12) MEX_CASE(13)
            MEX_CASE(14) MEX_CASE(15) MEX_CASE(16)
#undef MEX_CASE
        }
#elif MEX_NEON
    // One kernel per n, so that its column loop unrolls.
    switch (n) {
#define MEX_CASE(N) case N: return add_row_products_neon<N>(a, p, rows, sum);
        MEX_CASE(2) MEX_CASE(3) MEX_CASE(4) MEX_CASE(5) MEX_CASE(6) MEX_CASE(7) MEX_CASE(8)
        MEX_CASE(9) MEX_CASE(10) MEX_CASE(11) MEX_CASE(12) MEX_CASE(13) MEX_CASE(14)
        MEX_CASE(15) MEX_CASE(16)
#undef MEX_CASE
    }
#endif
    return add_row_products(a, p, rows, n, 0, sum);
}

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    // Check the arguments
    if (nlhs != OUT_END || nrhs != IN_END)
        mexErrMsgTxt("Needs 2 inputs and 1 output");
    const mxArray *A = prhs[IN_A];
    const mxArray *P = prhs[IN_P];
    if (!mxIsDouble(A) || !mxIsDouble(P))
        mexErrMsgTxt("Input 1 and 2 need to be double type");
    if (mxIsSparse(A) || mxIsSparse(P))
        mexErrMsgTxt("Input 1 and 2 need to be full matrices");
    // Each comparison queries its left operand first; the repeated queries of P are
    // kept (see docs/reference.md, "Host calls").
    bool square = mxGetNumberOfDimensions_700(A) == 2;
    if (square) {
        size_t rows_A = mxGetM(A);
        square = rows_A == mxGetN(P);
    }
    if (!square)
        mexErrMsgTxt("Input 1 needs to be a square matrix and needs to have the same "
                     "number of rows as the number of column of the second argument");
    size_t columns_P = mxGetN(P);
    if (columns_P != mxGetN(A))
        mexErrMsgTxt("Input 2 should have the same number of column as Input 1 "
                     "(# of rows not checked)");
    size_t rows_P = mxGetM(P);
    if (!is_factorial_of(rows_P, mxGetN(P)))
        mexErrMsgTxt("Input 2 should have fact(n) rows");

    // Get the data; n <= 20 from here on
    plhs[OUT_SUM] = mxCreateDoubleMatrix_700(1, 1, mxREAL);
    double *sum = mxGetPr(plhs[OUT_SUM]);
    const double *a = mxGetPr(A);
    const double *p = mxGetPr(P);
    uint64_t rows = mxGetM(P);
    int n = (int)mxGetN(P);

    // Do the job
    if (!sum_of_products(a, p, rows, n, sum))
        mexErrMsgTxt("Input 2 entries need to select a column of Input 1");
}
