function plan = buildfile
%BUILDFILE The MATLAB build tool's plan for contributors: buildtool mex, test, check.
%   buildtool          runs check and test (and mex, which test needs)
%   buildtool mex      compiles the modules with this MATLAB's mex into build/matlab
%                      (build_modules, after choosing a C++ compiler if none is chosen)
%   buildtool test     runs the MATLAB-language suite on build/matlab
%   buildtool check    the Code Analyzer on the tree's MATLAB files; errors fail it
%   Needs MATLAB R2023b or later (CodeIssuesTask). Older releases, and GNU Octave,
%   call build_modules directly.

plan = buildplan(localfunctions);
root = plan.RootFolder;
% Octave-only files (pkg/post_install.m, examples/demo.m) are left out.
plan("check") = matlab.buildtool.tasks.CodeIssuesTask([ ...
    fullfile(root, ["build_modules.m" "buildfile.m"]), ...
    fullfile(root, ["scripts" "tests" + filesep + "matlab" "help"])]);
plan("test").Dependencies = "mex";
plan.DefaultTasks = ["check" "test"];
end

function mexTask(context)
% Compile the modules with this MATLAB's mex into build/matlab
root = context.Plan.RootFolder;
addpath(fullfile(root, 'scripts'));
setup_mex();
build_modules(fullfile(root, 'build', 'matlab'));
end

function testTask(context)
% Run the MATLAB-language suite on the modules in build/matlab
root = context.Plan.RootFolder;
addpath(fullfile(root, 'tests', 'matlab'));
failed = run_module_tests(fullfile(root, 'build', 'matlab'));
assert(failed == 0, 'buildfile: %d cases of the suite failed', failed);
end
