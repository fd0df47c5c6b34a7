// [L, F] = expandTally(c)
//
// Expands counts into an index list: L holds position k (of c, read column by column)
// as many times as c(k), truncated toward zero, says; F is the product of the counts'
// factorials, one running product multiplied by 1, 2, ..., c(k) for k in order.
#include <stdint.h>

#include "cpu_features.h"
#include "mex_api.h"

enum { IN_C, IN_END };
enum { OUT_L, OUT_F, OUT_END };

// What the total of the counts is instead, when it cannot be one: a count outside
// 0..2^31-1 (NaN and infinities included) or a sum past 2^31-1, whichever comes first.
enum { BAD_COUNT = -1, BAD_SUM = -2 };

// Sum of the counts, or BAD_COUNT or BAD_SUM. Each element's range is known before it
// is converted.
static int64_t total_count_plain(const double *c, int64_t k0, int64_t n, int64_t total)
{
    for (int64_t k = k0; k < n; ++k) {
        if (!(c[k] > -1.0 && c[k] < 2147483648.0))
            return BAD_COUNT;
        total += (int32_t)c[k];
        if (total > INT32_MAX)
            return BAD_SUM;
    }
    return total;
}

#if MEX_SSE2

// The same, two counts per instruction. Truncation gives a negative 32-bit value
// exactly for the counts out of range (the processor's "indefinite" 0x80000000 for
// NaN, infinities and anything too large), so one OR over a block tells whether it
// holds a bad count; a block with a bad count or an excessive sum is gone over again
// one count at a time, to find which came first.
static int64_t total_count(const double *c, int64_t n)
{
    const int64_t block = 4096;
    int64_t total = 0;
    int64_t k = 0;
    for (; n - k >= block; k += block) {
        __m128i sign = _mm_setzero_si128();
        __m128i sums = _mm_setzero_si128();
        const __m128i zero = _mm_setzero_si128();
        for (int64_t i = k; i < k + block; i += 4) {
            __m128i t0 = _mm_cvttpd_epi32(_mm_loadu_pd(c + i));
            __m128i t1 = _mm_cvttpd_epi32(_mm_loadu_pd(c + i + 2));
            __m128i t = _mm_unpacklo_epi64(t0, t1);
            sign = _mm_or_si128(sign, t);
            sums = _mm_add_epi64(sums, _mm_unpacklo_epi32(t, zero));
            sums = _mm_add_epi64(sums, _mm_unpackhi_epi32(t, zero));
        }
        int64_t s = _mm_cvtsi128_si64(sums) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums));
        if (_mm_movemask_ps(_mm_castsi128_ps(sign)) != 0 || total + s > INT32_MAX)
            return total_count_plain(c, k, n, total);
        total += s;
    }
    return total_count_plain(c, k, n, total);
}

#else

static int64_t total_count(const double *c, int64_t n)
{
    return total_count_plain(c, 0, n, 0);
}

#endif

// Multiplies the running product by 2..count; 1 changes nothing, nor does anything
// change Inf, so neither is multiplied.
static inline double times_factorial(double product, int32_t count)
{
    if (product != __builtin_inf())   // tested first: counts are unpredictable
        for (int32_t l = 2; l <= count && product != __builtin_inf(); ++l)
            product = product * (double)l;
    return product;
}

// Four copies of position at list[0..3].
static inline void store4(double *list, double position)
{
#if MEX_SSE2
    const __m128d v = _mm_set1_pd(position);
    _mm_storeu_pd(list, v);
    _mm_storeu_pd(list + 2, v);
#elif MEX_NEON
    const float64x2_t v = vdupq_n_f64(position);
    vst1q_f64(list, v);
    vst1q_f64(list + 2, v);
#else
    list[0] = list[1] = list[2] = list[3] = position;
#endif
}

// Writes c(k) copies of k for each k in order, and multiplies *f by 1..c(k). Counts of
// 4 or less take one store of 4 copies whatever the count, so that random small counts
// cause no mispredicted branches: the copies past the count are overwritten by the
// next positions, and near the end of L exact stores take over.
static void expand(const double *c, int64_t n, double *list, int64_t total, double *f)
{
    double product = *f;
    double position = 1.0;
    int64_t w = 0;
    for (int64_t k = 0; k < n; ++k, position += 1.0) {
        int32_t count = (int32_t)c[k];
        if (count <= 4 && total - w >= 4) {
            store4(list + w, position);
        } else if (count > 4) {
            for (int32_t l = 0; l < count - 4; l += 4)
                store4(list + w + l, position);
            store4(list + w + count - 4, position);
        } else {
            for (int32_t l = 0; l < count; ++l)
                list[w + l] = position;
        }
        w += count;
        product = times_factorial(product, count);
    }
    *f = product;
}

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    // Check the arguments
    if (nlhs != OUT_END || nrhs != IN_END)
        mexErrMsgTxt("Needs 1 inputs and 2 outputs");
    const mxArray *C = prhs[IN_C];
    if (!mxIsDouble(C))
        mexErrMsgTxt("Inputs needs to be double type");
    if (mxIsSparse(C))
        mexErrMsgTxt("Input needs to be a full matrix");

    // Get the counts and their total (the data first: see docs/reference.md, "Host calls")
    const double *c = mxGetPr(C);
    size_t elements = mxGetNumberOfElements(C);
    if (elements > INT32_MAX)
        mexErrMsgTxt("Input needs to have at most 2^31-1 elements");
    int64_t n = (int64_t)elements;
    int64_t total = total_count(c, n);
    if (total == BAD_COUNT)
        mexErrMsgTxt("Input counts need to be between 0 and 2^31-1");
    if (total == BAD_SUM)
        mexErrMsgTxt("Input counts need to sum to at most 2^31-1");

    // Create the outputs
    plhs[OUT_L] = mxCreateDoubleMatrix_700(1, (int)total, mxREAL);
    plhs[OUT_F] = mxCreateDoubleMatrix_700(1, 1, mxREAL);
    double *list = mxGetPr(plhs[OUT_L]);
    double *f = mxGetPr(plhs[OUT_F]);
    *f = 1.0;

    // Do the job
    expand(c, n, list, total, f);
}
