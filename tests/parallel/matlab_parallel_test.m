function failed = matlab_parallel_test(folder, record)
%MATLAB_PARALLEL_TEST  The modules in FOLDER under Parallel Computing Toolbox.
%   failed = MATLAB_PARALLEL_TEST(FOLDER, RECORD) opens a process pool of the
%   machine's cores (the Processes profile's NumWorkers) whose workers do not get
%   the client's path: the modules and the suite reach them as AttachedFiles, as a
%   cluster user would give them. On it, the suite's module groups run on the
%   workers, and parfor and parfeval run the cases of parallel_cases.m (many
%   matrices, many count arrays, blocks of E1's rows), each result bit for bit the
%   serial call's; a bad input's error must carry the module's own message. Then
%   one try on a thread pool and on backgroundPool, whose outcome is recorded, not
%   checked. Writes what each engine did to the file RECORD, prints it, and returns
%   the number of failed checks. MATLAB only.

addpath(folder, '-begin');
suite = fileparts(which('run_module_tests'));
modules = {'permanent', 'expandTally', 'edgejoin'};
attached = [fullfile(folder, strcat(modules, ['.' mexext])), ...
            fullfile(folder, strcat(modules, '.m')), ...
            {fullfile(suite, 'run_module_tests.m')}];
processes = parcluster('Processes');
notes = {sprintf('MATLAB %s, %s', version, computer)};

delete(gcp('nocreate'));
pool = parpool(processes, processes.NumWorkers, 'AutoAddClientPath', false, ...
               'AttachedFiles', attached);
where = parfevalOnAll(pool, @() fileparts(which('permanent')), 1);
wait(where);
worker_folders = unique(fetchOutputs(where, 'UniformOutput', false));
notes{end + 1} = sprintf('process pool, %d workers; permanent on the workers: %s', ...
                         pool.NumWorkers, strjoin(worker_folders', ', '));
notes = check(notes, ~any(strcmp(worker_folders, folder)), ...
              'workers use the client''s folder');

% The suite's module groups, each on a worker, on the attached modules.
futures = parallel.FevalFuture.empty;
for g = 1:numel(modules)
    futures(g) = parfeval(pool, @(group) run_module_tests(fileparts(which('permanent')), ...
                                                          group), 1, modules{g});
end
suite_failures = fetchOutputs(futures);
notes = check(notes, isequal(suite_failures(:)', [0 0 0]), ...
              'suite groups failed %s on the workers', mat2str(suite_failures(:)'));

% permanent over many matrices, as the suite's plain-loop case makes them.
As = {[1 2; 3 4], [1 2 3; 4 5 6; 7 8 9], ones(6) - eye(6)};
for n = repmat(1:8, 1, 4)
    As{end + 1} = randn(n) .* 2 .^ randi([-30 30], n); %#ok<AGROW>
end
serial = cellfun(@(A) permanent(A, perms(1:size(A, 1))), As, 'UniformOutput', false);
notes = check(notes, isequal(serial(1:3), {10, 450, 265}), ...
              'serial permanent differs from the suite');
got = cell(size(As));
parfor i = 1:numel(As)
    got{i} = permanent(As{i}, perms(1:size(As{i}, 1)));
end
notes = check(notes, same_bits(got, serial), ...
              'parfor permanent differs from the serial calls');
futures = parallel.FevalFuture.empty;
for i = 1:numel(As)
    futures(i) = parfeval(pool, @permanent, 1, As{i}, perms(1:size(As{i}, 1)));
end
notes = check(notes, same_bits(fetchOutputs(futures, 'UniformOutput', false)', serial), ...
              'parfeval permanent differs from the serial calls');

% expandTally over many count arrays, among them products that round and overflow.
cs = {[2 0 3], 170, [100 100], 28, 0:17};
for k = 1:12
    cs{end + 1} = randi([0 9], 1, 300); %#ok<AGROW>
end
[Ls, Fs] = cellfun(@expandTally, cs, 'UniformOutput', false);
suite_F = {12, 7.257415615307994e+306, Inf, 3.0488834461171384e+29};
notes = check(notes, isequal(Fs(1:4), suite_F), ...
              'serial expandTally differs from the suite');
L = cell(size(cs));
F = cell(size(cs));
parfor i = 1:numel(cs)
    [L{i}, F{i}] = expandTally(cs{i});
end
notes = check(notes, same_bits(L, Ls) && same_bits(F, Fs), ...
              'parfor expandTally differs from the serial calls');

% edgejoin over uneven blocks of a large E1's rows (one empty), in block order.
E1 = [randi(20, 20000, 2), randn(20000, 1)];
E2 = [randi(20, 600, 2), randn(600, 1)];
edges = [0 7000 7000 13000 20000];
E = cell(1, 4);
W = cell(1, 4);
parfor b = 1:4
    [E{b}, W{b}] = edgejoin(E1(edges(b) + 1:edges(b + 1), :), E2);
end
[Eo, Wo] = edgejoin(E1, E2);
notes = check(notes, same_bits({vertcat(E{:}), vertcat(W{:})}, {Eo, Wo}), ...
              'parfor edgejoin blocks differ from one call');
futures = parallel.FevalFuture.empty;
for b = 1:4
    futures(b) = parfeval(pool, @edgejoin, 2, E1(edges(b) + 1:edges(b + 1), :), E2);
end
[E, W] = fetchOutputs(futures, 'UniformOutput', false);
notes = check(notes, same_bits({vertcat(E{:}), vertcat(W{:})}, {Eo, Wo}), ...
              'parfeval edgejoin blocks differ from one call');

% A bad input on a worker.
try
    permanent(ones(3), [1 2; 2 1]);
    want = '(no error)';
catch err
    want = err.message;
end
bad = parfeval(pool, @permanent, 1, ones(3), [1 2; 2 1]);
wait(bad);
said = describe_error(bad.Error);
notes{end + 1} = sprintf('process pool, bad input, parfeval: %s', said);
notes = check(notes, contains(said, want), 'parfeval''s error lacks "%s"', want);
try
    parfor i = 1:2
        got{i} = permanent(ones(i + 1), [1 2; 2 1]);
    end
    said = '(no error)';
catch err
    said = describe_error(err);
end
notes{end + 1} = sprintf('process pool, bad input, parfor: %s', said);
notes = check(notes, contains(said, want), 'parfor''s error lacks "%s"', want);
delete(pool);

% Thread pools: recorded as they come.
try
    pool = parpool('Threads');
    notes{end + 1} = thread_try(sprintf('thread pool, %d workers', pool.NumWorkers), pool);
    delete(pool);
catch err
    notes{end + 1} = sprintf('thread pool: parpool: %s', describe_error(err));
end
try
    notes{end + 1} = thread_try('backgroundPool', backgroundPool);
catch err
    notes{end + 1} = sprintf('backgroundPool: %s', describe_error(err));
end

failed = sum(strncmp(notes, 'FAIL ', 5));
notes{end + 1} = sprintf('%d checks failed', failed);
report = sprintf('%s\n', notes{:});
fprintf('%s', report);
fid = fopen(record, 'w');
fprintf(fid, '%s', report);
fclose(fid);

end

function notes = check(notes, ok, varargin)
if ~ok
    notes{end + 1} = ['FAIL ' sprintf(varargin{:})];
end
end

% One call of each module on the pool: its results against the serial call's, or
% its error.
function line = thread_try(name, pool)
f = parfeval(pool, @permanent, 1, [1 2; 3 4], [1 2; 2 1]);
wait(f);
if isempty(f.Error)
    line = sprintf('%s: permanent gave %s', name, mat2str(fetchOutputs(f), 17));
else
    line = sprintf('%s: permanent: %s', name, describe_error(f.Error));
end
end

function report = describe_error(err)
report = sprintf('%s "%s"', err.identifier, err.message);
if isprop(err, 'remotecause') && ~isempty(err.remotecause)
    report = sprintf('%s, remote cause %s', report, describe_error(err.remotecause{1}));
elseif ~isempty(err.cause)
    report = sprintf('%s, cause %s', report, describe_error(err.cause{1}));
end
end

function ok = same_bits(got, want)
ok = numel(got) == numel(want);
for i = 1:numel(want)
    g = got{i};
    w = want{i};
    ok = ok && strcmp(class(g), 'double') && isreal(g) && isequal(size(g), size(w)) && ...
         isequal(typecast(g(:), 'uint64'), typecast(w(:), 'uint64'));
end
end
