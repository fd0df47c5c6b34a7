% bench_parallel (out)
% The modules under the parallel package's parcellfun, median of REPS runs each:
% many edgejoin calls on one worker process and on two, and one edgejoin at
% p = q = 100000 against the same E1 in two row blocks on two workers. Every
% parcellfun run starts its worker processes, which the empty run measures alone.
% Writes OUT/parallel.csv and OUT/parallel.md and checks every parallel result
% against the serial one.
function bench_parallel (out)
  pkg load parallel
  rand ("seed", 1); randn ("seed", 1);
  reps = 3;
  run = @(nproc, f, items) parcellfun (nproc, f, items, "UniformOutput", false, ...
                                       "VerboseLevel", 0);
  table = {};

  empty_ms = median_ms (@() run (2, @(x) x, {1, 2}), reps, 1);
  table(end+1, :) = {"parcellfun start-up", "2 workers, 2 empty calls", NaN, NaN, empty_ms, NaN};

  % Many calls: 16 joins at p = q = 20000, about one match per row.
  calls = 16;
  pairs = cell (1, calls);
  for k = 1:calls
    pairs{k} = {edges(20000, 20000), edges(20000, 20000)};
  endfor
  join = @(pair) edgejoin (pair{:});
  [E, W] = cellfun (join, pairs, "UniformOutput", false);
  [Ep, Wp] = run (2, join, pairs);
  same ([Ep, Wp], [E, W]);
  serial_ms = median_ms (@() cellfun (join, pairs, "UniformOutput", false), reps, 2);
  one_ms = median_ms (@() run (1, join, pairs), reps, 2);
  two_ms = median_ms (@() run (2, join, pairs), reps, 2);
  table(end+1, :) = {"many calls", sprintf("%d edgejoin calls, p = q = 20000", calls), ...
                    serial_ms, one_ms, two_ms, one_ms / two_ms};

  % One large join, or its E1 in two blocks of rows on two workers.
  E1 = edges (100000, 100000);
  E2 = edges (100000, 100000);
  blocks = {E1(1:50000, :), E1(50001:end, :)};
  [E, W] = edgejoin (E1, E2);
  [Eb, Wb] = run (2, @(B) edgejoin (B, E2), blocks);
  same ({vertcat(Eb{:}), vertcat(Wb{:})}, {E, W});
  whole_ms = median_ms (@() edgejoin (E1, E2), reps, 2);
  split_ms = median_ms (@() run (2, @(B) edgejoin (B, E2), blocks), reps, 2);
  table(end+1, :) = {"E1 in 2 blocks", sprintf("edgejoin, p = q = 100000, %d rows", rows (E)), ...
                    whole_ms, NaN, split_ms, whole_ms / split_ms};

  csv = fopen (fullfile (out, "parallel.csv"), "w");
  fprintf (csv, "case,workload,serial_ms,one_worker_ms,two_workers_ms,ratio\n");
  md = fopen (fullfile (out, "parallel.md"), "w");
  fprintf (md, "| case | workload | in the client ms | 1 worker ms | 2 workers ms | ratio |\n");
  fprintf (md, "|---|---|--:|--:|--:|--:|\n");
  for r = 1:rows (table)
    fprintf (csv, "%s,\"%s\",%.3f,%.3f,%.3f,%.3f\n", table{r, :});
    cells = cellfun (@(ms) ms_text (ms, "%.1f"), table(r, 3:5), "UniformOutput", false);
    fprintf (md, "| %s | %s | %s | %s | %s | %s |\n", table{r, 1:2}, cells{:}, ...
             ms_text (table{r, 6}, "%.2f"));
  endfor
  fclose (csv);
  fclose (md);
  printf ("%s", fileread (fullfile (out, "parallel.md")));
endfunction

function E = edges (p, nodes)
  E = [randi(nodes, p, 2), randn(p, 1)];
endfunction

function ms = median_ms (f, reps, nout)
  t = zeros (reps, 1);
  got = cell (1, nout);
  for r = 1:reps
    tic; [got{:}] = f (); t(r) = toc;
  endfor
  ms = 1000 * median (t);
endfunction

function same (got, want)
  for i = 1:numel (want)
    if (! isequal (typecast (got{i}(:), "uint64"), typecast (want{i}(:), "uint64")))
      error ("bench_parallel: parallel result %d differs from the serial one", i);
    endif
  endfor
endfunction

function text = ms_text (x, format)
  if (isnan (x))
    text = "-";
  else
    text = sprintf (format, x);
  endif
endfunction
