% bench_crossover (sizes, reps)
% For p = q = each size, about one match per row: the median times in milliseconds of
% edgejoin and of join_sorted, one line "size edgejoin_ms sorted_ms" each. Checks that
% both give the same rows.
function bench_crossover (sizes, reps)
  rand ("seed", 2); randn ("seed", 2);
  for p = sizes
    E1 = [randi(p, p, 1), randi(p, p, 1), randn(p, 1)];
    E2 = [randi(p, p, 1), randi(p, p, 1), randn(p, 1)];
    [E, W] = edgejoin (E1, E2);
    [Es, Ws] = join_sorted (E1, E2);
    if (! isequal (E, Es) || ! isequal (W, Ws))
      error ("join_sorted differs from edgejoin at size %d", p);
    endif
    tm = zeros (reps, 1); ts = zeros (reps, 1);
    for r = 1:reps
      tic; [E, W] = edgejoin (E1, E2); tm(r) = toc;
      tic; [E, W] = join_sorted (E1, E2); ts(r) = toc;
    endfor
    printf ("%d %.6g %.6g\n", p, 1000 * median (tm), 1000 * median (ts));
  endfor
endfunction
