function failed = parallel_cases(hosts, kill_flag)
%PARALLEL_CASES  The modules under Octave's parallel engine (the parallel package).
%   failed = PARALLEL_CASES({}) runs every case through parcellfun with two
%   processes; failed = PARALLEL_CASES(HOSTS) through netcellfun on servers
%   (octave-pserver, started without TLS) at HOSTS. The modules must be on the path;
%   the servers get the same folders. Each result is compared bit for bit with the
%   serial call in this process. Prints one line for each failing case and what the
%   engine said where it raised an error, ends with "N passed, N failed".
%   failed = PARALLEL_CASES(HOSTS, KILL_FLAG) last creates the file KILL_FLAG and
%   starts a run that the caller stops in mid-run by killing the last server: the
%   client must raise an error.

pkg('load', 'parallel');
if nargin < 2
    kill_flag = '';
end
folders = cellfun(@(f) fileparts(which(f)), {'permanent', 'run_module_tests', ...
                  'message_or_outputs'}, 'UniformOutput', false);
engine.hosts = hosts;
engine.folders = folders;
engine.conns = connect(engine);

cases = {
    'the suite''s module groups, one on each worker', @suite_on_workers
    'permanent over many matrices, each call whole', @many_permanent
    'expandTally over many count arrays, each call whole', @many_expandTally
    'edgejoin over blocks of E1''s rows, concatenated in block order', @edgejoin_blocks
    'a bad input caught on the worker gives the module''s own message', @bad_input_caught
    'a bad input left to the engine raises an error in the client', @bad_input_raised
    };
if ~isempty(kill_flag)
    cases(end + 1, :) = {'a server killed in mid-run raises an error in the client', ...
                         @(e) server_killed(e, kill_flag)};
end
passed = 0;
failed = 0;
for i = 1:size(cases, 1)
    try
        engine = feval(cases{i, 2}, engine);
        passed = passed + 1;
    catch err
        failed = failed + 1;
        fprintf('FAIL %s: %s\n', cases{i, 1}, err.message);
        engine = reconnect(engine);
    end
end
if ~isempty(engine.conns)
    try
        sclose(engine.conns);
    catch
    end
end
fprintf('%s: %d passed, %d failed\n', engine_name(engine), passed, failed);
end

% ---------------------------------------------------------------------------------
% The cases; each gets and gives the engine (a connection closes after an error).

function engine = suite_on_workers(engine)
folder = engine.folders{1};
failures = run_each(engine, @(group) run_module_tests(folder, group), ...
                    {'permanent', 'expandTally', 'edgejoin'});
expect(isequal([failures{:}], [0 0 0]), 'the suite failed %s on the workers', ...
       mat2str([failures{:}]));
end

% Matrices as the suite's plain-loop case makes them, and its worked examples.
function engine = many_permanent(engine)
As = {[1 2; 3 4], [1 2 3; 4 5 6; 7 8 9], ones(6) - eye(6), -zeros(8)};
for n = repmat(1:8, 1, 4)
    As{end + 1} = randn(n) .* 2 .^ randi([-30 30], n); %#ok<AGROW>
end
call = @(A) permanent(A, perms(1:size(A, 1)));
p = run_each(engine, call, As);
expect_same(p(1:4), {10, 450, 265, 0});
expect_same(p, cellfun(call, As, 'UniformOutput', false));
end

% Count arrays of the suite's cases, among them products that round and overflow.
function engine = many_expandTally(engine)
cs = {[2 0 3], [1 3; 2 0], 170, [100 100], 28, zeros(0, 5), 0:17, [-0.999 4.999 -0]};
for k = 1:12
    cs{end + 1} = randi([0 9], 1, 300); %#ok<AGROW>
end
cs{end + 1} = randi([0 2], 7, 41);
[L, F] = run_each(engine, @expandTally, cs);
expect_same(L(1:2), {[1 1 3 3 3], [1 2 2 3 3 3]});
expect_same(F(1:5), {12, 12, 7.257415615307994e+306, Inf, 3.0488834461171384e+29});
[Ls, Fs] = cellfun(@expandTally, cs, 'UniformOutput', false);
expect_same(L, Ls);
expect_same(F, Fs);
end

% The suite's worked example in two blocks, then a large E1 (many matches per key) in
% uneven blocks, one of them empty.
function engine = edgejoin_blocks(engine)
[E, W] = run_each(engine, @(B) edgejoin(B, [5 7 30; 5 8 40]), {[1 5 10], [2 5 20]});
expect_same({vertcat(E{:}), vertcat(W{:})}, ...
            {[1 7 0; 1 8 0; 2 7 0; 2 8 0], [10 30; 10 40; 20 30; 20 40]});
E1 = [randi(20, 20000, 2), randn(20000, 1)];
E2 = [randi(20, 600, 2), randn(600, 1)];
edges = [0 7000 7000 13000 20000];
blocks = arrayfun(@(b) E1(edges(b) + 1:edges(b + 1), :), 1:4, 'UniformOutput', false);
[E, W] = run_each(engine, @(B) edgejoin(B, E2), blocks);
[Eo, Wo] = edgejoin(E1, E2);
expect(size(Eo, 1) > 500000, 'only %d joined rows', size(Eo, 1));
expect_same({vertcat(E{:}), vertcat(W{:})}, {Eo, Wo});
[Es, Ws] = cellfun(@(B) edgejoin(B, E2), blocks, 'UniformOutput', false);
expect_same(E, Es);
expect_same(W, Ws);
end

function engine = bad_input_caught(engine)
calls = {@(x) permanent(x, [1 2; 2 1]), @(x) permanent(x, [1 2; 2 1]), ...
         @(x) expandTally(x), @(x) edgejoin(x, [1 2 3])};
inputs = {ones(2), ones(3), [1 -1], [1 2]};
got = run_each(engine, @(f, x) message_or_outputs(f, x), calls, inputs);
want = cellfun(@(f, x) message_or_outputs(f, x), calls, inputs, 'UniformOutput', false);
expect(ischar(want{2}) && strncmp(want{2}, 'permanent: ', 11), ...
       'serial call gave no message: %s', class(want{2}));
for i = 1:numel(got)
    expect(isequal(got{i}, want{i}), 'call %d: got %s, want %s', i, ...
           disp_value(got{i}), disp_value(want{i}));
end
end

function engine = bad_input_raised(engine)
said = '';
try
    p = run_each(engine, @(x) permanent(x, [1 2; 2 1]), {ones(2), ones(3), ones(2)});
catch err
    said = err.message;
end
if isempty(said)
    expect(false, 'no error, results %s', disp_value(p));
end
fprintf('%s, bad input: "%s"\n', engine_name(engine), said);
engine = reconnect(engine);
end

% The caller kills the last server once KILL_FLAG exists; every call keeps a worker
% busy long after that.
function engine = server_killed(engine, kill_flag)
E2 = [randi(20, 600, 2), randn(600, 1)];
blocks = repmat({[randi(20, 2000, 2), randn(2000, 1)]}, 1, 4 * numel(engine.hosts));
fclose(fopen(kill_flag, 'w'));
said = '';
tic;
try
    [E, ~] = run_each(engine, @(B) after_pause(8, @edgejoin, B, E2), blocks);
catch err
    said = err.message;
end
if isempty(said)
    expect(false, 'no error, %d results', numel(E));
end
fprintf('%s, server killed: "%s" after %.1f s\n', engine_name(engine), said, toc);
engine.conns = [];
end

% ---------------------------------------------------------------------------------
% The engine: parcellfun with two processes, or netcellfun on the connected servers.

function varargout = run_each(engine, f, varargin)
if isempty(engine.hosts)
    [varargout{1:nargout}] = parcellfun(2, f, varargin{:}, 'UniformOutput', false, ...
                                        'VerboseLevel', 0);
else
    [varargout{1:nargout}] = netcellfun(engine.conns, f, varargin{:}, ...
                                        'UniformOutput', false);
end
end

function conns = connect(engine)
conns = [];
if isempty(engine.hosts)
    return
end
conns = pconnect(engine.hosts, struct('use_tls', false));
command = sprintf('addpath (''%s'', ''%s'', ''%s'');', engine.folders{:});
for i = 2:numel(conns)
    reval(command, conns(i));
end
end

% After an error the engine closes every connection.
function engine = reconnect(engine)
if ~isempty(engine.conns)
    try
        sclose(engine.conns);
    catch
    end
    engine.conns = connect(engine);
end
end

function name = engine_name(engine)
if isempty(engine.hosts)
    name = 'parcellfun, 2 processes';
else
    name = sprintf('netcellfun, %d servers', numel(engine.hosts));
end
end

% ---------------------------------------------------------------------------------

function expect(ok, varargin)
if ~ok
    error('parallel_cases:failed', varargin{:});
end
end

% Cell arrays of doubles, compared element by element in class, size and bits.
function expect_same(got, want)
expect(numel(got) == numel(want), '%d results, want %d', numel(got), numel(want));
for i = 1:numel(want)
    g = got{i};
    w = want{i};
    ok = strcmp(class(g), 'double') && isreal(g) && isequal(size(g), size(w)) && ...
         isequal(typecast(g(:), 'uint64'), typecast(w(:), 'uint64'));
    expect(ok, 'result %d: got %s, want %s', i, disp_value(g), disp_value(w));
end
end

function text = disp_value(x)
if ischar(x)
    text = ['"' x '"'];
elseif isnumeric(x) && numel(x) <= 6
    text = mat2str(x, 17);
else
    text = sprintf('%s %s', mat2str(size(x)), class(x));
end
end
