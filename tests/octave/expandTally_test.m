## Tests of expandTally in Octave, run by run_tests.m.

%!test
%! [L, F] = expandTally ([2 0 3]);
%! assert (L, [1 1 3 3 3]);
%! assert (F, 12);

%!test
%! ## Any shape is read column by column and gives rows.
%! [L, F] = expandTally ([1 3; 2 0]);
%! assert (L, [1 2 2 3 3 3]);
%! assert (F, 12);
%! [L, F] = expandTally ([2; 1]);
%! assert (L, [1 1 2]);
%! [L, F] = expandTally (reshape ([0 1 2 0], [1 2 2]));
%! assert (L, [2 3 3]);
%! assert (F, 2);

%!test
%! for c = {zeros(0, 0), zeros(1, 0), zeros(0, 5), [0 0]}
%!   [L, F] = expandTally (c{1});
%!   assert (size (L), [1 0]);
%!   assert (F, 1);
%! endfor

%!test
%! [L, F] = expandTally ([2.7 1.2]);
%! assert (L, [1 1 2]);
%! assert (F, 2);
%! [L, F] = expandTally ([-0.5 0.9 2]);
%! assert (L, [3 3]);
%! assert (F, 2);
%! [L, F] = expandTally (complex ([2 1], 5));
%! assert (L, [1 1 2]);

%!test
%! ## One running product, rounded at every step.
%! [L, F] = expandTally (28);
%! assert (num2hex (F), num2hex (3.0488834461171384e+29));
%! assert (L, ones (1, 28));
%! [~, F] = expandTally (170);
%! assert (num2hex (F), num2hex (7.257415615307994e+306));
%! [L, F] = expandTally ([100 100]);
%! assert (F, Inf);
%! assert (L, [ones(1, 100), 2 * ones(1, 100)]);
%! [L, F] = expandTally (171);
%! assert (F, Inf);
%! assert (numel (L), 171);

%!test
%! ## Against repelem and a plain running product on random counts.
%! c = randi ([0 9], 1, 300);
%! [L, F] = expandTally (c);
%! assert (L, repelem (1:300, c));
%! f = 1;
%! for k = 1:300
%!   for l = 1:c(k)
%!     f = f * l;
%!   endfor
%! endfor
%! assert (num2hex (F), num2hex (f));

%!error <expandTally: Needs 1 inputs and 2 outputs> expandTally ([1 2])
%!error <Needs 1 inputs and 2 outputs> L = expandTally ([1 2])
%!error <Needs 1 inputs and 2 outputs> L = expandTally (single ([1 2]))
%!error <Needs 1 inputs and 2 outputs> [a, b, c] = expandTally ([1 2])
%!error <Needs 1 inputs and 2 outputs> [a, b] = expandTally ()
%!error <Needs 1 inputs and 2 outputs> [a, b] = expandTally (1, 2)
%!error <Inputs needs to be double type> [a, b] = expandTally (single ([1 2]))
%!error <Inputs needs to be double type> [a, b] = expandTally (int32 ([1 2]))
%!error <Inputs needs to be double type> [a, b] = expandTally (true)
%!error <Inputs needs to be double type> [a, b] = expandTally ('ab')
%!error <Input needs to be a full matrix> [a, b] = expandTally (sparse ([1 2]))
%!error <Input counts need to be between 0 and 2\^31-1> [a, b] = expandTally ([1 -1])
%!error <Input counts need to be between 0 and 2\^31-1> [a, b] = expandTally ([1 NaN])
%!error <Input counts need to be between 0 and 2\^31-1> [a, b] = expandTally (Inf)
%!error <Input counts need to be between 0 and 2\^31-1> [a, b] = expandTally (2^31)
%!error <Input counts need to sum to at most 2\^31-1> [a, b] = expandTally ([2^30 2^30])
