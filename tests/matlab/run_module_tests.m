function failed = run_module_tests(folder, groups)
%RUN_MODULE_TESTS  Runs the user-level cases of permanent, expandTally and edgejoin.
%   failed = RUN_MODULE_TESTS(FOLDER) puts FOLDER first on the path, runs every case
%   against the modules there, prints one line for each failing case, ends with the
%   line "N passed, N failed" and returns the number failed.
%   failed = RUN_MODULE_TESTS(FOLDER, GROUPS) runs only the named groups of cases
%   (a name or a cell array of names): one per module, named after it, 'help', or
%   'readme', the examples of the tree's README.md and the sort-based join it offers
%   to copy (examples/join_sorted.m), run only when named.
%
%   The same file runs in MATLAB (R2021a and later) and GNU Octave (7 and later).
%   Exact results are compared bit for bit. Octave puts a module's name before its
%   error message ("permanent: Needs 2 inputs and 1 output") and MATLAB does not, so
%   messages are compared after that prefix.

groups_known = group_names();
if nargin < 2
    groups = groups_known;
elseif ischar(groups)
    groups = {groups};
end
addpath(folder, '-begin');

cases = cell(0, 2);
for g = 1:numel(groups)
    if ~any(strcmp(groups{g}, [groups_known, {'readme'}]))
        error('run_module_tests: no group of cases named ''%s''', groups{g});
    end
    cases = [cases; feval(str2func([groups{g} '_cases']))]; %#ok<AGROW>
end

passed = 0;
failed = 0;
for i = 1:size(cases, 1)
    try
        feval(cases{i, 2});
        passed = passed + 1;
    catch err
        failed = failed + 1;
        fprintf('FAIL %s: %s\n', cases{i, 1}, err.message);
    end
end
fprintf('%d passed, %d failed\n', passed, failed);
end

% The groups of cases, one per function NAME_cases of this file, in its order: each
% module's, then help (readme runs only when named).
function names = group_names()
names = regexp(fileread([mfilename('fullpath') '.m']), '^function cases = (\w+)_cases\(\)', ...
               'tokens', 'lineanchors');
names = cellfun(@(t) t{1}, names, 'UniformOutput', false);
names = names(~strcmp(names, 'readme'));
end

% ---------------------------------------------------------------------------------
% permanent

function cases = permanent_cases()
cases = {
    'permanent: worked examples', @permanent_examples
    'permanent: signed zero, NaN and complex inputs', @permanent_ieee
    'permanent: sums in table-row order, against a plain loop', @permanent_plain_loop
    'permanent: errors in their order', @permanent_errors
    };
end

function permanent_examples()
expect_same(permanent([1 2; 3 4], [1 2; 2 1]), 10);
expect_same(permanent(-2.5, 1), -2.5);
% Rows need not be permutations; every row is summed.
expect_same(permanent([1 2; 3 4], [1 1; 1 1]), 6);
% An entry v selects column fix(v - 1) + 1.
expect_same(permanent([1 2; 3 4], [0.5 2.5; 1.9 1]), 7);
% Up to n + 1 (not reached) and down to the positives for which v - 1 stays above -1.
expect_same(permanent([1 2; 3 4], [2.99 2; 2 1]), 14);
expect_same(permanent([1 2; 3 4], [2^-53 2; 2 1]), 10);
expect_same(permanent(zeros(0, 0), zeros(1, 0)), 1);
% A table of more dimensions counts its trailing ones as columns.
expect_same(permanent([1 2; 3 4], reshape([1 2 2 1], [2 1 2])), 10);
expect_same(permanent([1 2 3; 4 5 6; 7 8 9], perms(1:3)), 450);
expect_same(permanent(ones(6) - eye(6), perms(1:6)), 265);
end

function permanent_ieee()
% The sum starts from +0, so products that are all -0 still sum to +0.
expect_same(permanent(-0, 1), 0);
expect_same(permanent([-0 -0; 1 1], [1 2; 2 1]), 0);
expect_same(permanent([-0 1; 1 1], [1 2; 2 1]), 1);
A = [-zeros(1, 8); ones(7, 8)];
expect_same(permanent(A, perms(1:8)), 0);
p = permanent([Inf 2; 3 0], [1 2; 2 1]);
expect(isnan(p) && isreal(p) && isequal(size(p), [1 1]), 'Inf * 0 gave %g', p);
% Only real parts are read.
expect_same(permanent(complex([1 2; 3 4], 9), complex([1 2; 2 1], 7)), 10);
end

function permanent_plain_loop()
for n = [1 2 3 5 7 8]
    A = randn(n) .* 2 .^ randi([-30 30], n);
    P = perms(1:n);
    P = P(randperm(size(P, 1)), :);
    s = 0;
    for j = 1:size(P, 1)
        p = 1;
        for k = 1:n
            p = p * A(k, P(j, k));
        end
        s = s + p;
    end
    expect_same(permanent(A, P), s);
end
end

function permanent_errors()
m = messages_of('permanent');
[msg_counts, msg_class, msg_full, msg_square, msg_columns, msg_rows, msg_entry] = m{:};
A = [1 2; 3 4];
P = [1 2; 2 1];
% message, outputs requested, inputs
expect_errors('permanent', {
    msg_counts, 0, {A, P}
    msg_counts, 2, {A, P}
    msg_counts, 1, {A}
    msg_counts, 1, {1, 1, 1}
    msg_counts, 0, {single(1), 1}
    msg_class, 1, {single(1), 1}
    msg_class, 1, {1, int32(1)}
    msg_class, 1, {true, 1}
    msg_class, 1, {'a', 1}
    msg_full, 1, {sparse(A), P}
    msg_full, 1, {A, sparse(P)}
    msg_square, 1, {ones(2, 2, 2), P}
    msg_square, 1, {ones(3), P}
    msg_columns, 1, {ones(2, 3), P}
    msg_columns, 1, {[1; 2], P}
    msg_rows, 1, {ones(3), ones(5, 3)}
    msg_rows, 1, {ones(3), ones(7, 3)}
    msg_rows, 1, {zeros(0, 0), zeros(0, 0)}
    msg_rows, 1, {ones(21), zeros(0, 21)}
    msg_entry, 1, {A, [1 2; 2 3]}
    msg_entry, 1, {A, [1 2; 2 NaN]}
    msg_entry, 1, {A, [1 2; 0 1]}
    msg_entry, 1, {A, [1 2; -Inf 1]}
    msg_entry, 1, {A, [1 2; 2^-60 1]}
    msg_entry, 1, {A, [1 2; 2^-54 1]}
    });
% Entries are checked however many rows the table has.
P = perms(1:8);
P(end, 8) = 9;
expect_errors('permanent', {msg_entry, 1, {ones(8), P}});
end

% ---------------------------------------------------------------------------------
% expandTally

function cases = expandTally_cases()
cases = {
    'expandTally: worked examples', @expandTally_examples
    'expandTally: any shape, read column by column', @expandTally_shapes
    'expandTally: empty and all-zero counts', @expandTally_empty
    'expandTally: fractional counts and complex input', @expandTally_fractions
    'expandTally: one running product, rounded at every step', @expandTally_product
    'expandTally: against repelem and a plain product', @expandTally_reference
    'expandTally: errors in their order', @expandTally_errors
    };
end

function expandTally_examples()
[L, F] = expandTally([2 0 3]);
expect_same(L, [1 1 3 3 3]);
expect_same(F, 12);
[L, F] = expandTally([1 1 1 1 1]);
expect_same(L, 1:5);
expect_same(F, 1);
[L, F] = expandTally(4);
expect_same(L, [1 1 1 1]);
expect_same(F, 24);
end

function expandTally_shapes()
[L, F] = expandTally([1 3; 2 0]);
expect_same(L, [1 2 2 3 3 3]);
expect_same(F, 12);
[L, F] = expandTally([2; 1]);
expect_same(L, [1 1 2]);
expect_same(F, 2);
[L, F] = expandTally(reshape([0 1 2 0], [1 2 2]));
expect_same(L, [2 3 3]);
expect_same(F, 2);
end

function expandTally_empty()
for c = {zeros(0, 0), zeros(1, 0), zeros(0, 5), [0 0]}
    [L, F] = expandTally(c{1});
    expect_same(L, zeros(1, 0));
    expect_same(F, 1);
end
end

function expandTally_fractions()
[L, F] = expandTally([2.7 1.2]);
expect_same(L, [1 1 2]);
expect_same(F, 2);
[L, F] = expandTally([-0.5 0.9 2]);
expect_same(L, [3 3]);
expect_same(F, 2);
[L, F] = expandTally([-0.999 4.999 -0]);
expect_same(L, [2 2 2 2]);
expect_same(F, 24);
[L, F] = expandTally(complex([2 1], 5));
expect_same(L, [1 1 2]);
expect_same(F, 2);
end

function expandTally_product()
[L, F] = expandTally(28);
expect_same(L, ones(1, 28));
expect_same(F, 3.0488834461171384e+29);
[~, F] = expandTally(170);
expect_same(F, 7.257415615307994e+306);
[L, F] = expandTally([100 100]);
expect_same(F, Inf);
expect_same(L, [ones(1, 100), 2 * ones(1, 100)]);
[L, F] = expandTally(171);
expect_same(F, Inf);
expect_same(L, ones(1, 171));
end

function expandTally_reference()
% Counts around the lengths at which stores are grouped, and random ones.
for c = {[5 4 3 1 0 9 8 7 6 2], 0:17, randi([0 9], 1, 300), randi([0 2], 7, 41)}
    counts = c{1};
    [L, F] = expandTally(counts);
    expect_same(L, repelem(1:numel(counts), counts(:)'));
    f = 1;
    for k = 1:numel(counts)
        for l = 1:counts(k)
            f = f * l;
        end
    end
    expect_same(F, f);
end
end

function expandTally_errors()
m = messages_of('expandTally');
[msg_counts, msg_class, msg_full, msg_range, msg_total] = m{[1:3, 5, 6]};
expect_errors('expandTally', {
    msg_counts, 0, {[1 2]}
    msg_counts, 1, {[1 2]}
    msg_counts, 1, {single([1 2])}
    msg_counts, 3, {[1 2]}
    msg_counts, 2, {}
    msg_counts, 2, {1, 2}
    msg_class, 2, {single([1 2])}
    msg_class, 2, {int32([1 2])}
    msg_class, 2, {true}
    msg_class, 2, {'ab'}
    msg_full, 2, {sparse([1 2])}
    msg_range, 2, {[1 -1]}
    msg_range, 2, {[1 NaN]}
    msg_range, 2, {Inf}
    msg_range, 2, {-Inf}
    msg_range, 2, {2^31}
    msg_total, 2, {[2^30 2^30]}
    msg_total, 2, {[2^31-1 1]}
    msg_total, 2, {[2^30 2^30 zeros(1, 4094)]}
    % The first failing count decides which message.
    msg_range, 2, {[NaN 2^31-1 1]}
    msg_range, 2, {[2^31-1 NaN]}
    msg_total, 2, {[2^31-1 1 NaN]}
    });
end

% ---------------------------------------------------------------------------------
% edgejoin

function cases = edgejoin_cases()
cases = {
    'edgejoin: worked examples', @edgejoin_examples
    'edgejoin: empty results keep their column counts', @edgejoin_empty
    'edgejoin: nodes match by IEEE equality, values copied exactly', @edgejoin_ieee
    'edgejoin: against a vectorized join in nested-loop order', @edgejoin_reference
    'edgejoin: errors in their order', @edgejoin_errors
    };
end

function edgejoin_examples()
[E, W] = edgejoin([1 2 10], [2 3 20; 2 4 30]);
expect_same(E, [1 3 0; 1 4 0]);
expect_same(W, [10 20; 10 30]);
[E, W] = edgejoin([1 5 10; 2 5 20], [5 7 30; 5 8 40]);
expect_same(E, [1 7 0; 1 8 0; 2 7 0; 2 8 0]);
expect_same(W, [10 30; 10 40; 20 30; 20 40]);
% The non-matching row is skipped, and E2's order kept.
[E, W] = edgejoin([1 2 7], [2 9 1; 3 4 5; 2 8 2]);
expect_same(E, [1 9 0; 1 8 0]);
expect_same(W, [7 1; 7 2]);
% An edge whose two nodes are equal joins with itself.
G = [4 4 1; 1 2 3];
[E, W] = edgejoin(G, G);
expect_same(E, [4 4 0]);
expect_same(W, [1 1]);
end

function edgejoin_empty()
for args = {{zeros(0, 3), zeros(0, 3)}, {[1 2 3], zeros(0, 3)}, ...
            {zeros(0, 3), [1 2 3]}, {[1 2 3], [7 8 9]}}
    [E, W] = edgejoin(args{1}{:});
    expect_same(E, zeros(0, 3));
    expect_same(W, zeros(0, 2));
end
end

function edgejoin_ieee()
[E, W] = edgejoin([1 -0 5], [0 2 6]);
expect_same(E, [1 2 0]);
expect_same(W, [5 6]);
[E, W] = edgejoin([1 Inf 5; 2 -Inf 6], [-Inf 3 7; Inf 4 8]);
expect_same(E, [1 4 0; 2 3 0]);
expect_same(W, [5 8; 6 7]);
[E, W] = edgejoin([1 NaN 5], [NaN 2 6]);
expect_same(E, zeros(0, 3));
expect_same(W, zeros(0, 2));
[E, ~] = edgejoin([1 1 5], [1 + eps 2 6]);
expect_same(E, zeros(0, 3));
[E, ~] = edgejoin([1 0.5 5], [0.5 2 6]);
expect_same(E, [1 2 0]);
% NaN, -Inf and -0 are copied as they are; column 3 of E is +0 whatever the values.
[E, W] = edgejoin([NaN 3 -0], [3 -Inf NaN]);
expect_same(E, [NaN -Inf 0]);
expect_same(W, [-0 NaN]);
end

function edgejoin_reference()
% Small node alphabets give many matches per key; sizes around the vector widths.
for sizes = [1 1; 7 5; 33 17; 200 150; 600 900]'
    p = sizes(1);
    q = sizes(2);
    E1 = [randi(4, p, 2), randn(p, 1)];
    E2 = [randi(4, q, 2), randn(q, 1)];
    [j, i] = find((E1(:, 2) == E2(:, 1)')');
    [E, W] = edgejoin(E1, E2);
    expect_same(E, [E1(i, 1), E2(j, 2), zeros(numel(i), 1)]);
    expect_same(W, [E1(i, 3), E2(j, 3)]);
end
end

function edgejoin_errors()
m = messages_of('edgejoin');
[msg_counts, msg_class, msg_full, msg_columns, msg_dims] = m{1:5};
e = [1 2 3];
expect_errors('edgejoin', {
    msg_counts, 0, {e, e}
    msg_counts, 1, {e, e}
    msg_counts, 2, {e}
    msg_counts, 3, {e, e}
    msg_counts, 2, {e, e, e}
    msg_counts, 1, {single(e), e}
    msg_class, 2, {single(e), e}
    msg_class, 2, {e, int32(e)}
    msg_class, 2, {[true true true], e}
    msg_full, 2, {sparse(e), e}
    msg_full, 2, {e, sparse(e)}
    msg_columns, 2, {[1 2], e}
    msg_columns, 2, {e, [1; 2; 3]}
    msg_columns, 2, {e, [1 2 3 4]}
    msg_columns, 2, {zeros(0, 0), e}
    msg_columns, 2, {ones(2, 3, 2), e}
    msg_dims, 2, {ones(2, 1, 3), e}
    msg_dims, 2, {e, ones(2, 1, 3)}
    });
end

% ---------------------------------------------------------------------------------
% help: what "help NAME" shows with the folder on the path, while a call reaches the
% compiled module

function cases = help_cases()
facts = {
    'permanent', 'Sum of products over a permutation table.', 'p = permanent(A, P)', ...
        {'p', 'd'}, {10, 265}
    'expandTally', 'Expand counts into an index list', '[L, F] = expandTally(c)', ...
        {'L', 'F'}, {[1 2 2 3 3 3], 12}
    'edgejoin', 'Join two edge lists at matching nodes.', '[E, W] = edgejoin(E1, E2)', ...
        {'E', 'W'}, {[1 3 0; 1 4 0], [0.5 0.25; 0.5 1.0]}
    };
cases = cell(0, 2);
for i = 1:size(facts, 1)
    f = facts(i, :);
    cases(end + 1, :) = {['help: ' f{1}], @() help_check(f{:}, @(t) t)}; %#ok<AGROW>
    % The same text as MATLAB's help shows it with hotlinks on (as in -batch runs).
    cases(end + 1, :) = {['help: ' f{1} ', hotlinked'], @() help_check(f{:}, @hotlinked)}; %#ok<AGROW>
    cases(end + 1, :) = {['help: ' f{1} ' without its module'], @() missing_check(f{1})}; %#ok<AGROW>
end
end

% The help file alone, without the module beside it, says so and what to install for
% this host.
function missing_check(name)
[folder, base] = fileparts(which(name));
restore = on_path_alone(fullfile(folder, [base '.m'])); %#ok<NASGU>
if exist('OCTAVE_VERSION', 'builtin')
    way = 'install the Octave package';
else
    way = 'the toolbox file';
end
got = error_of(name, 0, {});
expect(~isempty(strfind(got, sprintf('module %s.%s is missing beside %s.m', name, mexext, name))) && ...
       ~isempty(strfind(got, way)), '%s alone: got "%s"', name, got);
end

% A copy of FILE alone in a new folder, first on the path until RESTORE is cleared.
function restore = on_path_alone(file)
alone = tempname();
mkdir(alone);
copyfile(file, alone);
addpath(alone, '-begin');
[~, base, ext] = fileparts(file);
restore = onCleanup(@() remove_folder(alone, [base ext]));
end

function remove_folder(folder, file)
rmpath(folder);
delete(fullfile(folder, file));
rmdir(folder);
end

% The call reaches the compiled module; the help names the function, its call form and
% every message, and its example runs and gives what its comments say. Hosts differ in
% the case they show function names in, so names are compared without case, and
% MATLAB marks names up as hotlinks, so tags are removed first. SHOWN(TEXT) gives the
% help text as a host would show it.
function help_check(name, summary, usage, variables, values, shown)
[~, ~, ext] = fileparts(which(name));
expect(strcmp(ext, ['.' mexext]), '%s resolves to a %s file, not the module', name, ext);
text = regexprep(shown(evalc(['help ' name])), '</?(strong|a)( [^>]*)?>', '');
for s = [{summary}, messages_of(name)]
    expect(~isempty(strfind(text, s{1})), '%s: help lacks ''%s''', name, s{1});
end
low = lower(text);
for s = {lower(name), lower(usage), 'example:', 'see also'}
    expect(~isempty(strfind(low, s{1})), '%s: help lacks ''%s''', name, s{1});
end
from = strfind(low, 'example:');
to = strfind(low, 'see also');
got = run_example(text(from(1) + numel('example:'):to(1) - 1), variables);
for i = 1:numel(values)
    expect_same(got{i}, values{i});
end
end

% Help text marked up as MATLAB's help does with hotlinks on: a function name in capitals
% becomes the name in bold, and each name after "See also" a link that shows its help.
function text = hotlinked(text)
for name = setdiff(group_names(), {'help'})
    bold = ['<strong>' name{1} '</strong>'];
    link = ['<a href="matlab:help ' name{1} '">' name{1} '</a>'];
    text = regexprep(text, ['(See also[^\n]*)\<' upper(name{1}) '\>'], ['$1' link]);
    text = regexprep(text, ['\<' upper(name{1}) '\>'], bold);
end
end

% Runs the example's lines one by one and returns the named variables it made.
function values__ = run_example(text__, names__)
lines__ = regexp(text__, '\r?\n', 'split');
for i__ = 1:numel(lines__)
    if ~isempty(strtrim(lines__{i__}))
        evalc(lines__{i__});
    end
end
values__ = cell(size(names__));
for i__ = 1:numel(names__)
    values__{i__} = eval(names__{i__});
end
end

% ---------------------------------------------------------------------------------
% readme: each matlab block of README.md, but those that only install, runs line by
% line, and every "NAME = VALUE" in a line's comment holds after that line

function cases = readme_cases()
readme = fullfile(fileparts(mfilename('fullpath')), '..', '..', 'README.md');
blocks = regexp(fileread(readme), '```matlab\r?\n(.*?)```', 'tokens', 'dotall');
cases = cell(0, 2);
for b = 1:numel(blocks)
    lines = regexp(blocks{b}{1}, '\r?\n', 'split');
    code = regexprep(lines, '%.*', '');
    if all(cellfun(@isempty, regexp(code, '^\s*[^\s]')) | ...
           ~cellfun(@isempty, regexp(code, '^\s*(addpath|pkg|build_modules|matlab\.addons)\>')))
        continue
    end
    cases(end + 1, :) = {sprintf('readme: %s', strtrim(code{1})), @() readme_check(lines)}; %#ok<AGROW>
end
expect(size(cases, 1) > 0, 'no example in %s', readme);
cases(end + 1, :) = {'readme: examples/join_sorted.m gives the rows of edgejoin', @join_sorted_check};
end

% The same rows in the same order, on lists of few nodes (many matches a key), NaN,
% -0 and +0 nodes among them, empty lists and lists that join nothing.
function join_sorted_check()
restore = on_path_alone(fullfile(fileparts(mfilename('fullpath')), '..', '..', 'examples', ...
                                 'join_sorted.m')); %#ok<NASGU>
for sizes = [0 0; 0 4; 4 0; 1 1; 7 5; 33 17; 600 900]'
    for nodes = [1 4 1000]
        E1 = [randi(nodes, sizes(1), 2), randn(sizes(1), 1)];
        E2 = [randi(nodes, sizes(2), 2), randn(sizes(2), 1)];
        E1(2:3:end, 2) = NaN;
        E1(3:5:end, 2) = -E1(3:5:end, 2) + 1;
        E2(1:4:end, 1) = NaN;
        E2(2:6:end, 1) = 0;
        E1(4:6:end, 2) = -0;
        [E, W] = edgejoin(E1, E2);
        [Es, Ws] = join_sorted(E1, E2);
        expect_same(Es, E);
        expect_same(Ws, W);
    end
end
end

function readme_check(lines__)
claims__ = 0;
for i__ = 1:numel(lines__)
    at__ = find(lines__{i__} == '%', 1);
    if isempty(at__)
        at__ = numel(lines__{i__}) + 1;
    end
    if ~isempty(strtrim(lines__{i__}(1:at__ - 1)))
        evalc(lines__{i__}(1:at__ - 1));
    end
    said__ = regexp(lines__{i__}(at__:end), ...
                    '([A-Za-z]\w*) = (\[[^\]]*\]|[-+]?[\d.]+(e[-+]?\d+)?)', 'tokens');
    for c__ = 1:numel(said__)
        expect(exist(said__{c__}{1}, 'var') == 1, 'line %d: no variable %s', i__, said__{c__}{1});
        expect_same(eval(said__{c__}{1}), eval(said__{c__}{2}));
        claims__ = claims__ + 1;
    end
end
expect(claims__ > 0, 'the example states no result');
end

% ---------------------------------------------------------------------------------
% The fixed messages of each module, in the order of its checks, as the help file
% beside the module states them: the lines indented by five under "Errors, checked in
% this order" (those indented further say when each is raised).

function m = messages_of(name)
[folder, base] = fileparts(which(name));
text = fileread(fullfile(folder, [base '.m']));
section = regexp(text, 'Errors, checked in this order[^\n]*\n(.*?)\n%\s*\n', 'tokens', 'once');
expect(~isempty(section), '%s.m has no section "Errors, checked in this order"', base);
m = regexp(section{1}, '^%     (\S[^\r\n]*)', 'tokens', 'lineanchors');
m = cellfun(@(t) t{1}, m, 'UniformOutput', false);
end

% ---------------------------------------------------------------------------------
% Checks shared by the cases; a failed check raises an error naming what differed.

function expect(ok, varargin)
if ~ok
    error('run_module_tests:failed', varargin{:});
end
end

% Same class, size and bits (signed zeros and NaN payloads included).
function expect_same(got, want)
ok = strcmp(class(got), 'double') && isreal(got) && ~issparse(got) && ...
     isequal(size(got), size(want)) && ...
     isequal(typecast(got(:), 'uint64'), typecast(want(:), 'uint64'));
if ~ok
    expect(false, 'got %s, want %s', describe(got), describe(want));
end
end

function text = describe(x)
if ~isnumeric(x)
    text = class(x);
elseif numel(x) <= 12
    text = sprintf('%s %s', mat2str(size(x)), mat2str(x, 17));
else
    text = sprintf('%s %s of %s', mat2str(size(x)), class(x), mat2str(x(1:12), 17));
end
end

% Each row: the message, how many outputs the call requests (0: not assigned), and
% the inputs.
function expect_errors(name, rows)
for r = 1:size(rows, 1)
    [message, nout, inputs] = rows{r, :};
    got = error_of(name, nout, inputs);
    expect(strcmp(got, message), '%s, %d inputs, %d outputs: got "%s", want "%s"', ...
           name, numel(inputs), nout, got, message);
end
end

function message = error_of(name, nout, inputs)
try
    if nout == 0
        feval(name, inputs{:});
    else
        outputs = cell(1, nout);
        [outputs{1:nout}] = feval(name, inputs{:});
    end
    message = '(no error)';
    return
catch err
    message = err.message;
end
prefix = [name ': '];
if strncmp(message, prefix, numel(prefix))
    message = message(numel(prefix) + 1:end);
end
end
