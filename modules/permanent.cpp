// p = permanent(A, P)
//
// Sums, over the rows of the table P, the products A(1, P(j,1)) * ... * A(n, P(j,n)).
// When P lists every permutation of 1..n once, p is the permanent of the n x n matrix A.
// Each row's product is taken in column order from 1.0, and the sum in table-row order
// from 0, every operation rounded by itself.
#include <stdint.h>

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

// Sum of the row products. Returns false, with *sum unspecified, when an entry
// selects no column of A; nothing outside A is read.
static bool sum_of_products(const double *a, const double *p, uint64_t rows, int n,
                            double *sum)
{
    double s = 0.0;
    for (uint64_t j = 0; j < rows; ++j) {
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
    // Each comparison queries its left operand first.
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
