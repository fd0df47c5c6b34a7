function failed = test_toolbox(file)
%TEST_TOOLBOX Installs the toolbox file, runs the module suite on it installed, uninstalls it.
%   FAILED = TEST_TOOLBOX(FILE) installs FILE (a .mltbx, or a folder holding exactly
%   one) as a user does, checks the code suggestions files in the folder the installed
%   toolbox put on the path (check_signatures, scripts/ on the path), runs
%   run_module_tests (tests/matlab on the path) on that folder, uninstalls the toolbox
%   and returns the number of failed cases.

if isfolder(file)
    found = dir(fullfile(file, '*.mltbx'));
    assert(numel(found) == 1, 'test_toolbox: %d toolbox files in %s', numel(found), file);
    file = fullfile(found.folder, found.name);
end
installed = matlab.addons.toolbox.installToolbox(file, true);
uninstall = onCleanup(@() matlab.addons.toolbox.uninstallToolbox(installed));
fprintf('test_toolbox: installed %s %s\n', installed.Name, installed.Version);

% The module for this platform, from wherever the installation put it.
module = which('permanent');
folder = fileparts(module);
assert(~isempty(folder) && isfile(fullfile(folder, ['permanent.' mexext])), ...
       'test_toolbox: the installed toolbox put no permanent.%s on the path (found "%s")', ...
       mexext, module);
fprintf('test_toolbox: modules in %s\n', folder);
% The code suggestions came along, in both places, and pass MATLAB's check.
check_signatures(folder);
failed = run_module_tests(folder);
end
