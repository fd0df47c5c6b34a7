function p = permanent (A, P)
%PERMANENT  Sum of products over a permutation table.
%   p = PERMANENT(A, P) sums, over the rows j of the table P, the products
%   A(1,P(j,1)) * A(2,P(j,2)) * ... * A(n,P(j,n)). With P = perms(1:n), whose rows
%   are every permutation of 1:n once, p is the permanent of A.
%
%   Inputs:
%     A  real double n-by-n matrix (of a complex A only the real part is read).
%     P  double table of n! rows and n columns; each entry v selects column
%        fix(v - 1) + 1 of A, so 0.5 and 1.9 both select column 1. Every row is
%        summed, whether or not the rows are distinct permutations. A table of more
%        than two dimensions counts the product of its trailing dimensions as columns.
%
%   Output:
%     p  1-by-1 double. Each row's product is taken in column order starting from 1,
%        and the sum in row order starting from 0, every operation rounded by itself:
%        the order of the rows of P can change the last bits of p. Order 0 (A 0-by-0,
%        P 1-by-0) gives 1.
%
%   Errors, checked in this order (no output is made):
%     Needs 2 inputs and 1 output
%        (not exactly 2 inputs and 1 output; also a call whose result is not
%        assigned, such as PERMANENT(A, P) alone at the prompt)
%     Input 1 and 2 need to be double type
%        (A or P not double)
%     Input 1 and 2 need to be full matrices
%        (A or P sparse)
%     Input 1 needs to be a square matrix and needs to have the same number of rows as the number of column of the second argument
%        (A not 2-D, or the rows of A differ from the columns of P)
%     Input 2 should have the same number of column as Input 1 (# of rows not checked)
%        (the columns of P differ from the columns of A)
%     Input 2 should have fact(n) rows
%        (the rows of P differ from n!)
%     Input 2 entries need to select a column of Input 1
%        (v - 1 outside (-1, n): 0 or less, n + 1 or more, NaN, Inf, and the
%        positives of 2^-54 and less, for which v - 1 rounds to -1; entries between n
%        and n + 1 select column n. Found while summing; the output made so far is
%        discarded)
%
%   Limits: orders 0 to 20 pass the checks (21! exceeds any row count a host can
%   report), but memory bounds n long before: the full table, the caller's, takes
%   8*n*n! bytes, 46 GB for n = 12. Rows are counted in 64 bits. The call makes
%   nothing but p, and runs to completion: Ctrl-C takes effect only once it returns.
%
%   Example:
%     p = permanent([1 2; 3 4], perms(1:2))             % 10 = 1*4 + 2*3
%     d = permanent(ones(6) - eye(6), perms(1:6))       % 265 derangements of 6 items
%
%   See also PERMS, EXPANDTALLY, EDGEJOIN.

% Only reached when the compiled module, which takes precedence over this file, is
% missing beside it.
way = 'install the Octave package (mexmodules-VERSION.tar.gz) with pkg install, which compiles it';
if ~exist('OCTAVE_VERSION', 'builtin')
    way = 'add the folder of the archive for this platform to the path, or install the toolbox file';
end
error('permanent: the compiled module permanent.%s is missing beside permanent.m: %s', mexext, way);
