## Tests of permanent in Octave, run by run_tests.m.

%!assert (permanent ([1 2; 3 4], [1 2; 2 1]), 10)
%!assert (permanent (-2.5, 1), -2.5)
%!assert (permanent ([1 2; 3 4], [1 1; 1 1]), 6)
%!assert (permanent ([1 2; 3 4], [0.5 2.5; 1.9 1]), 7)
%!assert (permanent (zeros (0, 0), zeros (1, 0)), 1)
%!assert (permanent ([1 2; 3 4], reshape ([1 2 2 1], [2 1 2])), 10)
%!assert (permanent (complex ([1 2; 3 4], 9), complex ([1 2; 2 1], 7)), 10)
%!assert (isnan (permanent ([Inf 2; 3 0], [1 2; 2 1])))

%!test
%! ## The permanent of magic (4) and of a random matrix, against a plain loop over
%! ## perms (); the sum runs in the table's row order, so the bits agree.
%! assert (permanent ([1 2 3; 4 5 6; 7 8 9], perms (1:3)), 450);
%! for n = 1:7
%!   A = randn (n) .* 2 .^ randi ([-30 30], n);
%!   P = perms (1:n);
%!   P = P(randperm (rows (P)), :);
%!   s = 0;
%!   for j = 1:rows (P)
%!     p = 1;
%!     for k = 1:n
%!       p = p * A(k, P(j, k));
%!     endfor
%!     s = s + p;
%!   endfor
%!   assert (num2hex (permanent (A, P)), num2hex (s));
%! endfor

%!error <permanent: Needs 2 inputs and 1 output> permanent ([1 2; 3 4], [1 2; 2 1])
%!error <Needs 2 inputs and 1 output> [a, b] = permanent ([1 2; 3 4], [1 2; 2 1])
%!error <Needs 2 inputs and 1 output> x = permanent ([1 2; 3 4])
%!error <Needs 2 inputs and 1 output> x = permanent (1, 1, 1)
%!error <Input 1 and 2 need to be double type> x = permanent (single (1), 1)
%!error <Input 1 and 2 need to be double type> x = permanent (1, int32 (1))
%!error <Input 1 and 2 need to be double type> x = permanent (true, 1)
%!error <Input 1 and 2 need to be full matrices> x = permanent (sparse ([1 2; 3 4]), [1 2; 2 1])
%!error <Input 1 needs to be a square matrix> x = permanent (ones (2, 2, 2), [1 2; 2 1])
%!error <Input 1 needs to be a square matrix> x = permanent (ones (3), [1 2; 2 1])
%!error <Input 2 should have the same number of column as Input 1 \(# of rows not checked\)> x = permanent (ones (2, 3), [1 2; 2 1])
%!error <Input 2 should have fact\(n\) rows> x = permanent (ones (3), ones (5, 3))
%!error <Input 2 should have fact\(n\) rows> x = permanent (zeros (0, 0), zeros (0, 0))
%!error <Input 2 should have fact\(n\) rows> x = permanent (ones (21), zeros (0, 21))
%!error <Input 2 entries need to select a column of Input 1> x = permanent ([1 2; 3 4], [1 2; 2 3])
%!error <Input 2 entries need to select a column of Input 1> x = permanent ([1 2; 3 4], [1 2; 2 NaN])
%!error <Input 2 entries need to select a column of Input 1> x = permanent ([1 2; 3 4], [1 2; 0 1])
%!error <Input 2 entries need to select a column of Input 1> x = permanent ([1 2; 3 4], [1 2; 2^-60 1])
