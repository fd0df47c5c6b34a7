function failed = test_mpm_package(folder)
%TEST_MPM_PACKAGE Installs a folder with MATLAB's package manager, runs the module suite on it, uninstalls it.
%   FAILED = TEST_MPM_PACKAGE(FOLDER) installs FOLDER (a delivered platform folder,
%   holding resources/mpackage.json) with mpminstall as a user does, without prompts,
%   runs run_module_tests (tests/matlab on the path) on the folder the installed
%   package put on the path, uninstalls the package and returns the number of failed
%   cases. Needs MATLAB R2024b or later (mpminstall).

before = mpmlist;
if any(strcmp([before.Name], 'mexmodules'))
    error('test_mpm_package: a package named mexmodules is installed already');
end
pkg = mpminstall(folder, 'Prompt', false);
uninstall = onCleanup(@() mpmuninstall(pkg.Name, 'Prompt', false));
fprintf('test_mpm_package: installed %s in %s\n', pkg.Name, pkg.PackageRoot);

% The module for this platform, from wherever the installation put it (FOLDER itself
% is not on the path).
module = which('permanent');
installed = fileparts(module);
assert(isfile(fullfile(installed, ['permanent.' mexext])), ...
       'test_mpm_package: the package put no permanent.%s on the path (found "%s")', mexext, module);
fprintf('test_mpm_package: modules in %s\n', installed);
failed = run_module_tests(installed);
end
