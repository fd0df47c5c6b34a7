// p = permanent(A, P)
//
// Sums, over the rows of the table P, the products A(1, P(j,1)) * ... * A(n, P(j,n)).
// When P lists every permutation of 1..n once, p is the permanent of the n x n matrix A.
// Each row's product is taken in column order from 1.0, and the sum in table-row order
// from 0, every operation rounded by itself.
#ifndef ROWS_LAYER   // (the pass at the end is read once more per vector path)
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

// Each vector path is a small layer over its instructions: `rows` table rows per
// group; the lookup registers of a row of A (Table<N>, made by table<N>); a group's
// columns in one column of P, from v - 1 truncated (Columns); a running check that
// they all lie in (-1, n) (Check: no_check, check, within); and the group's products
// (Products: ones, times) in column order, added to the sum in row order
// (add_in_order). A is looked up from registers alone, so no entry, valid or not,
// ever reads memory. The pass over a layer is this file's last part, read once more
// for each layer (ROWS_LAYER), in a namespace of its own (ROWS_PASS) and compiled for
// that layer's instructions.

#if MEX_AVX2

// Adds eight products, held as four pairs in row order, to sum one at a time: the
// end of both x86-64 layers' groups.
static inline double add_pairs_in_order(double sum, const __m128d r[4])
{
    __m128d s = _mm_set_sd(sum);
    for (int h = 0; h < 4; ++h) {
        s = _mm_add_sd(r[h], s);
        s = _mm_add_sd(_mm_unpackhi_pd(r[h], r[h]), s);
    }
    return _mm_cvtsd_f64(s);
}

MEX_TARGET_BEGIN("avx2")
struct Avx2 {
    enum { rows = 8 };

    // A(k, c) for c = 8h .. 8h+7 (zero past n), h < H, as two lookup registers: the
    // low and the high 32-bit halves, in lane c mod 8.
    template <int N> struct Table {
        enum { H = N > 8 ? 2 : 1 };
        __m256i lo[H], hi[H];
    };
    template <int N> static Table<N> table(const double *a, int k)
    {
        Table<N> t;
        for (int h = 0; h < Table<N>::H; ++h) {
            double v[8];
            for (int i = 0; i < 8; ++i) {
                int c = 8 * h + i;
                v[i] = c < N ? a[(uint64_t)k + (uint64_t)c * N] : 0.0;
            }
            const __m256i halves = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
            __m256i x = _mm256_permutevar8x32_epi32(
                _mm256_castpd_si256(_mm256_setr_pd(v[0], v[1], v[2], v[3])), halves);
            __m256i y = _mm256_permutevar8x32_epi32(
                _mm256_castpd_si256(_mm256_setr_pd(v[4], v[5], v[6], v[7])), halves);
            t.lo[h] = _mm256_permute2x128_si256(x, y, 0x20);
            t.hi[h] = _mm256_permute2x128_si256(x, y, 0x31);
        }
        return t;
    }

    // One 32-bit lane per row. With ten columns and more, the hardware prefetchers fall
    // behind the streams (n = 10: 11.2 ms without, 8.7 with); a hint never faults,
    // even past the table's end.
    typedef __m256i Columns;
    static Columns columns(const double *col)
    {
        _mm_prefetch((const char *)(col + 256), _MM_HINT_T0);
        const __m256d one = _mm256_set1_pd(1.0);
        __m128i i0 = _mm256_cvttpd_epi32(_mm256_sub_pd(_mm256_loadu_pd(col), one));
        __m128i i1 = _mm256_cvttpd_epi32(_mm256_sub_pd(_mm256_loadu_pd(col + 4), one));
        return _mm256_inserti128_si256(_mm256_castsi128_si256(i0), i1, 1);
    }

    // A running unsigned maximum, below n exactly when every v - 1 lies in (-1, n).
    typedef __m256i Check;
    static Check no_check() { return _mm256_setzero_si256(); }
    static Check check(Check top, Columns c) { return _mm256_max_epu32(top, c); }
    static bool within(Check top, int n)
    {
        const __m256i last = _mm256_set1_epi32(n - 1);
        return _mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_max_epu32(top, last), last)) == -1;
    }

    // Lanes hold rows 0, 1, 4, 5 and rows 2, 3, 6, 7 (the unpack order).
    struct Products {
        __m256d a, b;
    };
    static Products ones() { return {_mm256_set1_pd(1.0), _mm256_set1_pd(1.0)}; }
    // vpermd on the index's low 3 bits, a blend for columns 8..15.
    template <int N> static Products times(Products p, const Table<N> &t, Columns c)
    {
        __m256i l = _mm256_permutevar8x32_epi32(t.lo[0], c);
        __m256i u = _mm256_permutevar8x32_epi32(t.hi[0], c);
        if constexpr (Table<N>::H == 2) {
            __m256i upper = _mm256_cmpgt_epi32(c, _mm256_set1_epi32(7));
            l = _mm256_blendv_epi8(l, _mm256_permutevar8x32_epi32(t.lo[1], c), upper);
            u = _mm256_blendv_epi8(u, _mm256_permutevar8x32_epi32(t.hi[1], c), upper);
        }
        return {_mm256_mul_pd(p.a, _mm256_castsi256_pd(_mm256_unpacklo_epi32(l, u))),
                _mm256_mul_pd(p.b, _mm256_castsi256_pd(_mm256_unpackhi_epi32(l, u)))};
    }
    static double add_in_order(double sum, Products p)
    {
        const __m128d r[4] = {_mm256_castpd256_pd128(p.a), _mm256_castpd256_pd128(p.b),
                              _mm256_extractf128_pd(p.a, 1), _mm256_extractf128_pd(p.b, 1)};
        return add_pairs_in_order(sum, r);
    }
};
#define ROWS_LAYER Avx2
#define ROWS_PASS avx2
#include "permanent.cpp"
#undef ROWS_LAYER
#undef ROWS_PASS
MEX_TARGET_END

#endif

#if MEX_AVX512

MEX_TARGET_BEGIN(MEX_AVX512_FEATURES)
struct Avx512 {
    enum { rows = 8 };

    // A(k, c) for c = 8h .. 8h+7 (zero past n), h < H, in lane c mod 8: vpermpd looks
    // up eight of them at once, vpermt2pd eight of sixteen.
    template <int N> struct Table {
        enum { H = N > 8 ? 2 : 1 };
        __m512d r[H];
    };
    template <int N> static Table<N> table(const double *a, int k)
    {
        Table<N> t;
        for (int h = 0; h < Table<N>::H; ++h) {
            double v[8];
            for (int i = 0; i < 8; ++i) {
                int c = 8 * h + i;
                v[i] = c < N ? a[(uint64_t)k + (uint64_t)c * N] : 0.0;
            }
            t.r[h] = _mm512_loadu_pd(v);
        }
        return t;
    }

    // One 64-bit lane per row; the hint as on the AVX2 path.
    typedef __m512i Columns;
    static Columns columns(const double *col)
    {
        _mm_prefetch((const char *)(col + 256), _MM_HINT_T0);
        return _mm512_cvttpd_epi64(_mm512_sub_pd(_mm512_loadu_pd(col), _mm512_set1_pd(1.0)));
    }

    // A running unsigned maximum, below n exactly when every v - 1 lies in (-1, n): the
    // conversion gives 2^63 for NaN and for whatever is out of its range.
    typedef __m512i Check;
    static Check no_check() { return _mm512_setzero_si512(); }
    static Check check(Check top, Columns c) { return _mm512_maskz_max_epu64(0xff, top, c); }
    static bool within(Check top, int n)
    {
        return _mm512_cmpgt_epu64_mask(top, _mm512_set1_epi64(n - 1)) == 0;
    }

    typedef __m512d Products;
    static Products ones() { return _mm512_set1_pd(1.0); }
    template <int N> static Products times(Products p, const Table<N> &t, Columns c)
    {
        if constexpr (Table<N>::H == 1)
            return _mm512_mul_pd(p, _mm512_maskz_permutexvar_pd(0xff, c, t.r[0]));
        else
            return _mm512_mul_pd(p, _mm512_permutex2var_pd(t.r[0], c, t.r[1]));
    }
    static double add_in_order(double sum, Products p)
    {
        const __m128d r[4] = {
            _mm512_maskz_extractf64x2_pd(0x3, p, 0), _mm512_maskz_extractf64x2_pd(0x3, p, 1),
            _mm512_maskz_extractf64x2_pd(0x3, p, 2), _mm512_maskz_extractf64x2_pd(0x3, p, 3)};
        return add_pairs_in_order(sum, r);
    }
};
#define ROWS_LAYER Avx512
#define ROWS_PASS avx512
#include "permanent.cpp"
#undef ROWS_LAYER
#undef ROWS_PASS
MEX_TARGET_END

#endif

#if MEX_NEON

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

struct Neon {
    enum { rows = 4 };

    // A TBL table: A(k, c) in bytes 8c..8c+7 of the table's registers, zero past n.
    template <int N> struct Table {
        uint8x16_t r[(N + 1) / 2];
    };
    template <int N> static Table<N> table(const double *a, int k)
    {
        Table<N> t;
        for (int c = 0; c < N; c += 2) {
            const double pair[2] = {a[(uint64_t)k + (uint64_t)c * N],
                                    c + 1 < N ? a[(uint64_t)k + (uint64_t)(c + 1) * N] : 0.0};
            t.r[c / 2] = vreinterpretq_u8_f64(vld1q_f64(pair));
        }
        return t;
    }

    // v - 1 of rows 0, 1 and rows 2, 3.
    struct Columns {
        float64x2_t a, b;
    };
    static Columns columns(const double *col)
    {
        const float64x2_t one = vdupq_n_f64(1.0);
        return {vsubq_f64(vld1q_f64(col), one), vsubq_f64(vld1q_f64(col + 2), one)};
    }

    // A running minimum and maximum of v - 1 (NaN carries through both), which lie in
    // (-1, n) exactly when every v - 1 does.
    struct Check {
        float64x2_t low, high;
    };
    static Check no_check() { return {vdupq_n_f64(0.0), vdupq_n_f64(0.0)}; }
    static Check check(Check c, Columns x)
    {
        return {vminq_f64(c.low, vminq_f64(x.a, x.b)), vmaxq_f64(c.high, vmaxq_f64(x.a, x.b))};
    }
    static bool within(Check c, int n)
    {
        return vminvq_f64(c.low) > -1.0 && vmaxvq_f64(c.high) < (double)n;
    }

    struct Products {
        float64x2_t a, b;   // rows 0, 1 and rows 2, 3
    };
    static Products ones() { return {vdupq_n_f64(1.0), vdupq_n_f64(1.0)}; }
    template <int N> static Products times(Products p, const Table<N> &t, Columns x)
    {
        const int R = (N + 1) / 2;
        return {vmulq_f64(p.a, vreinterpretq_f64_u8(look_up_bytes<R>(t.r, column_bytes(x.a)))),
                vmulq_f64(p.b, vreinterpretq_f64_u8(look_up_bytes<R>(t.r, column_bytes(x.b))))};
    }
    static double add_in_order(double s, Products p)
    {
        s = vgetq_lane_f64(p.a, 0) + s;
        s = vgetq_lane_f64(p.a, 1) + s;
        s = vgetq_lane_f64(p.b, 0) + s;
        return vgetq_lane_f64(p.b, 1) + s;
    }
};
#define ROWS_LAYER Neon
#define ROWS_PASS neon
#include "permanent.cpp"
#undef ROWS_LAYER
#undef ROWS_PASS

#endif

// Sum of the row products. Returns false, with *sum unspecified, when an entry
// selects no column of A; nothing outside A is read.
static bool sum_of_products(const double *a, const double *p, uint64_t rows, int n,
                            double *sum)
{
    *sum = 0.0;
#if MEX_AVX2
    // Large enough that the feature test costs little beside the work: with rows = n!,
    // n from 8 on.
    if (n >= 8 && n <= 16 && rows * (uint64_t)n >= 65536) {
        const VectorPath path = cpu_widest_path();
#if MEX_AVX512
        if (path == PATH_AVX512)
            return avx512::sum_rows<8>(a, p, rows, n, sum);
#endif
        if (path >= PATH_AVX2)
            return avx2::sum_rows<8>(a, p, rows, n, sum);
    }
#elif MEX_NEON
    if (n >= 2 && n <= 16)
        return neon::sum_rows<2>(a, p, rows, n, sum);
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

#else // ROWS_LAYER: the pass over one layer

namespace ROWS_PASS {

typedef ROWS_LAYER L;

// A group of table rows at a time, one per lane. Products stay in column order and the
// sum in row order; the check is tested every 256 groups.
template <int N>
static bool add_row_products_in_groups(const double *a, const double *p, uint64_t rows,
                                       double *sum)
{
    L::Table<N> table[N];
    for (int k = 0; k < N; ++k)
        table[k] = L::table<N>(a, k);

    double s = *sum;
    const uint64_t groups = rows / L::rows;
    for (uint64_t g0 = 0; g0 < groups; g0 += 256) {
        const uint64_t g1 = groups - g0 < 256 ? groups : g0 + 256;
        L::Check check = L::no_check();
        for (uint64_t g = g0; g < g1; ++g) {
            const double *col = p + L::rows * g;
            L::Products prod = L::ones();
#pragma GCC unroll 16
            for (int k = 0; k < N; ++k, col += rows) {
                const L::Columns c = L::columns(col);
                check = L::check(check, c);
                prod = L::times<N>(prod, table[k], c);
            }
            s = L::add_in_order(s, prod);
        }
        if (!L::within(check, N))
            return false;
    }
    *sum = s;
    return add_row_products(a, p, rows, N, groups * L::rows, sum);
}

// The pass for n, from N to 16: one per n, so that its column loop unrolls.
template <int N>
static bool sum_rows(const double *a, const double *p, uint64_t rows, int n, double *sum)
{
    if constexpr (N < 16)
        if (n != N)
            return sum_rows<N + 1>(a, p, rows, n, sum);
    return add_row_products_in_groups<N>(a, p, rows, sum);
}

} // namespace ROWS_PASS

#endif
