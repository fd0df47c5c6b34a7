% ms = bench_idiom (name, size, reps)
% Median time in milliseconds of what an Octave user would write instead of a module,
% on inputs of the benchmark's sizes; printed as "ms = <value>".
function bench_idiom (name, sz, reps)
  rand ("seed", 1); randn ("seed", 1);
  switch name
    case "permanent"
      n = sz; A = rand (n) * 2 - 1; P = perms (1:n); M = rows (P);
      f = @() sum (prod (A(sub2ind ([n n], repmat (1:n, M, 1), P)), 2));
    case "expandTally"
      c = floor (rand (1, sz(1)) * (sz(2) + 1));
      f = @() expand_idiom (c);
    case "edgejoin"
      p = sz(1); nodes = sz(2);
      E1 = [randi(nodes, p, 1), randi(nodes, p, 1), randn(p, 1)];
      E2 = [randi(nodes, p, 1), randi(nodes, p, 1), randn(p, 1)];
      f = @() join_sorted (E1, E2);
  endswitch
  t = zeros (reps, 1);
  for r = 1:reps
    tic; x = f (); t(r) = toc;
  endfor
  printf ("ms = %.6g\n", 1000 * median (t));
endfunction

function [L, F] = expand_idiom (c)
  L = repelem (1:numel (c), c);
  F = prod (factorial (c));
endfunction
