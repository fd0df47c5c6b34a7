function failed = test_package(package_file, reference)
%TEST_PACKAGE  Installs the Octave package file, runs the suite on what it installed.
%   failed = TEST_PACKAGE(PACKAGE_FILE) runs "pkg install" of the file (which compiles
%   the modules with this Octave's mkoctfile), "pkg load mexmodules", checks that each
%   module it compiled is what its name resolves to, with its help file beside it,
%   that the package's folders on the path hold nothing else (its test suite stays
%   off the path), and runs the test block each help file
%   carries (RUN_MODULE_TESTS on the installed modules, one module each) and the help
%   cases; then it unloads and uninstalls the package. Returns the number of failures.
%   Octave only; the package list and prefix are the caller's (pkg).
%   failed = TEST_PACKAGE(PACKAGE_FILE, REFERENCE) also checks that each installed
%   module is the same bytes as the one in the folder REFERENCE (a build by the same
%   compiler and flags).

tic;
pkg('install', package_file);
fprintf('pkg install: %.1f s\n', toc);
pkg('load', 'mexmodules');
% The package's modules, as it compiled them, each with its help file beside it.
packages = pkg('list');
desc = packages{cellfun(@(p) strcmp(p.name, 'mexmodules'), packages)};
built = dir(fullfile(desc.archprefix, '*', '*.mex'));
names = regexprep({built.name}, '\.mex$', '');
failed = 0;
if isempty(names)
    fprintf('FAIL mexmodules: no module under %s\n', desc.archprefix);
    failed = 1;
    folder = '';
else
    folder = built(1).folder;
    for d = unique({desc.dir, folder})
        found = {};
        for pattern = {'*.m', '*.mex', '*.oct'}
            listed = dir(fullfile(d{1}, pattern{1}));
            found = [found, regexprep({listed.name}, '\.\w+$', '')]; %#ok<AGROW>
        end
        for h = setdiff(found, names)
            fprintf('FAIL %s: on the path in %s, and not a module\n', h{1}, d{1});
            failed = failed + 1;
        end
    end
end
for f = names
    module = which(f{1});
    [where, ~, ext] = fileparts(module);
    if ~strcmp(where, folder) || ~strcmp(ext, '.mex') || ...
       ~strcmp(file_in_loadpath([f{1} '.m']), fullfile(folder, [f{1} '.m']))
        fprintf('FAIL %s: resolves to %s, without its help file beside it\n', f{1}, module);
        failed = failed + 1;
    end
    if nargin > 1 && ~isequal(bytes_of(module), bytes_of(fullfile(reference, [f{1} '.mex'])))
        fprintf('FAIL %s: differs from the module in %s\n', module, reference);
        failed = failed + 1;
    end
    % The test block each help file carries, as "pkg test mexmodules" runs it.
    [passed, total] = test(f{1}, 'quiet', stdout);
    if total == 0 || passed ~= total
        fprintf('FAIL %s: %d of %d test blocks passed\n', f{1}, passed, total);
        failed = failed + 1;
    end
end
failed = failed + run_module_tests(folder, 'help');
pkg('unload', 'mexmodules');
pkg('uninstall', 'mexmodules');
% Octave for Windows lists its bundled packages as global ones: look for ours alone.
if any(cellfun(@(p) strcmp(p.name, 'mexmodules'), pkg('list')))
    fprintf('FAIL mexmodules: still listed after pkg uninstall\n');
    failed = failed + 1;
end
end

function bytes = bytes_of(file)
fid = fopen(file, 'r');
bytes = fread(fid, Inf, 'uint8=>uint8');
fclose(fid);
end
