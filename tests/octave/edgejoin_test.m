## Tests of edgejoin in Octave, run by run_tests.m.

%!test
%! [E, W] = edgejoin ([1 2 10], [2 3 20; 2 4 30]);
%! assert (E, [1 3 0; 1 4 0]);
%! assert (W, [10 20; 10 30]);

%!test
%! [E, W] = edgejoin ([1 5 10; 2 5 20], [5 7 30; 5 8 40]);
%! assert (E, [1 7 0; 1 8 0; 2 7 0; 2 8 0]);
%! assert (W, [10 30; 10 40; 20 30; 20 40]);

%!test
%! ## The non-matching row is skipped and E2's order kept.
%! [E, W] = edgejoin ([1 2 7], [2 9 1; 3 4 5; 2 8 2]);
%! assert (E, [1 9 0; 1 8 0]);
%! assert (W, [7 1; 7 2]);

%!test
%! for args = {{zeros(0, 3), zeros(0, 3)}, {[1 2 3], zeros(0, 3)}, {[1 2 3], [7 8 9]}}
%!   [E, W] = edgejoin (args{1}{:});
%!   assert (size (E), [0 3]);
%!   assert (size (W), [0 2]);
%! endfor

%!test
%! ## IEEE equality: -0 matches +0, NaN matches nothing, no tolerance.
%! [E, W] = edgejoin ([1 -0 5], [0 2 6]);
%! assert (E, [1 2 0]);
%! [E, W] = edgejoin ([1 NaN 5], [NaN 2 6]);
%! assert (size (E), [0 3]);
%! [E, W] = edgejoin ([1 1 5], [1+eps 2 6]);
%! assert (size (E), [0 3]);
%! [E, W] = edgejoin ([NaN 3 -0], [3 -Inf NaN]);
%! assert (num2hex (E), num2hex ([NaN -Inf 0]));
%! assert (num2hex (W), num2hex ([-0 NaN]));

%!test
%! ## Against a vectorized join in nested-loop order, on small node alphabets.
%! E1 = [randi(4, 200, 2), randn(200, 1)];
%! E2 = [randi(4, 150, 2), randn(150, 1)];
%! [i, j] = find ((E1(:, 2) == E2(:, 1).')');
%! [E, W] = edgejoin (E1, E2);
%! assert (E, [E1(j, 1), E2(i, 2), zeros(numel (i), 1)]);
%! assert (W, [E1(j, 3), E2(i, 3)]);

%!error <edgejoin: Needs 2 inputs and 2 outputs> edgejoin ([1 2 3], [1 2 3])
%!error <Needs 2 inputs and 2 outputs> E = edgejoin ([1 2 3], [1 2 3])
%!error <Needs 2 inputs and 2 outputs> [E, W] = edgejoin ([1 2 3])
%!error <Needs 2 inputs and 2 outputs> [E, W, X] = edgejoin ([1 2 3], [1 2 3])
%!error <Inputs need to be double type> [E, W] = edgejoin (single ([1 2 3]), [1 2 3])
%!error <Inputs need to be double type> [E, W] = edgejoin ([1 2 3], int32 ([1 2 3]))
%!error <Inputs need to be double type> [E, W] = edgejoin ([true true true], [1 2 3])
%!error <Inputs need to be full matrices> [E, W] = edgejoin (sparse ([1 2 3]), [1 2 3])
%!error <Inputs need to be nEdges x 3 matrices> [E, W] = edgejoin ([1 2], [1 2 3])
%!error <Inputs need to be nEdges x 3 matrices> [E, W] = edgejoin ([1 2 3], [1; 2; 3])
%!error <Inputs need to be nEdges x 3 matrices> [E, W] = edgejoin (zeros (0, 0), [1 2 3])
%!error <Inputs need to be nEdges x 3 matrices> [E, W] = edgejoin (ones (2, 3, 2), [1 2 3])
%!error <Inputs need to be 2-D matrices> [E, W] = edgejoin (ones (2, 1, 3), [1 2 3])
