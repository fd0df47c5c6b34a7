function file = package_toolbox(dist)
%PACKAGE_TOOLBOX Packs the delivered modules of every platform into one MATLAB toolbox.
%   FILE = PACKAGE_TOOLBOX(DIST) puts the help files, Contents.m, the code suggestions
%   (functionSignatures.json, beside the functions and in resources/) and the modules
%   of DIST/linux, DIST/windows and DIST/macos into one folder (each MATLAB picks the
%   module for its platform by the extension) and packs it as
%   DIST/mexmodules-VERSION.mltbx, VERSION being the project's. Installing the file
%   (double click, or matlab.addons.toolbox.installToolbox) puts that folder on the path.
%   Needs MATLAB R2023a or later (matlab.addons.toolbox.ToolboxOptions); the workflows
%   run it in R2023b, the minimum release it declares.

root = fileparts(fileparts(mfilename('fullpath')));
version = regexp(fileread(fullfile(root, 'CMakeLists.txt')), ...
                 'project\(mexmodules VERSION ([0-9.]+)', 'tokens', 'once');
assert(~isempty(version), 'package_toolbox: no project(mexmodules VERSION ...) in CMakeLists.txt');
version = version{1};

kinds = {'linux', '.mexa64'; 'windows', '.mexw64'; 'macos', '.mexmaci64'; 'macos', '.mexmaca64'};
% The modules are those of the Linux folder; every other kind must have the same.
found = dir(fullfile(dist, 'linux', '*.mexa64'));
modules = sort(regexprep({found.name}, '\.mexa64$', ''));
assert(~isempty(modules), 'package_toolbox: no modules in %s', fullfile(dist, 'linux'));
stage = fullfile(tempname, 'mexmodules');
mkdir(fullfile(stage, 'resources'));
removeStage = onCleanup(@() rmdir(fileparts(stage), 's'));
for k = 1:size(kinds, 1)
    found = dir(fullfile(dist, kinds{k, 1}, ['*' kinds{k, 2}]));
    assert(isequal(sort(regexprep({found.name}, '\.[^.]*$', '')), modules), ...
           'package_toolbox: the %s modules in %s are not those of linux', kinds{k, 2}, kinds{k, 1});
    for m = modules
        copy(fullfile(dist, kinds{k, 1}, [m{1} kinds{k, 2}]), stage);
    end
end
% The help files and code suggestions are the same in every delivered folder; one copy
% serves all modules. The package manager's definition names one platform per folder
% and is left out.
shared = [strcat(modules, '.m'), {'Contents.m', 'functionSignatures.json', ...
          fullfile('resources', 'functionSignatures.json')}];
for h = shared
    help = fullfile(dist, 'linux', h{1});
    for other = {'windows', 'macos'}
        assert(isequal(fileread(help), fileread(fullfile(dist, other{1}, h{1}))), ...
               'package_toolbox: %s differs between linux and %s', h{1}, other{1});
    end
    copy(help, fullfile(stage, fileparts(h{1})));
end

% A fixed identifier: a newer version installs over an older one.
opts = matlab.addons.toolbox.ToolboxOptions(stage, '06abc3c0-d4f1-4c98-9dc5-c43bea5d8569');
opts.ToolboxName = 'mexmodules';
opts.ToolboxVersion = version;
opts.Summary = 'permanent, expandTally and edgejoin as compiled modules';
opts.Description = ['Three compiled modules with bit-exact results: permanent (sum over ', ...
    'a permutation table of products of matrix entries), expandTally (counts expanded ', ...
    'into an index list, with the product of their factorials) and edgejoin (two edge ', ...
    'lists joined at matching nodes). Modules for Linux x86-64, Windows x86-64, Intel ', ...
    'Macs (MATLAB up to R2025b) and Apple Silicon Macs (R2023b on).'];
opts.ToolboxMatlabPath = {stage};
% The release the toolbox is made by and the oldest its jobs install it in: whether an
% older MATLAB installs a toolbox file made by a newer one is not tested. R2021a to
% R2023a use the folder of their platform with addpath.
opts.MinimumMatlabRelease = 'R2023b';
opts.MaximumMatlabRelease = '';
opts.SupportedPlatforms.Glnxa64 = true;
opts.SupportedPlatforms.Win64 = true;
opts.SupportedPlatforms.Maci64 = true;
% Releases that know Apple Silicon list it apart from Intel Macs.
if any(strcmp(fieldnames(opts.SupportedPlatforms), 'Maca64'))
    opts.SupportedPlatforms.Maca64 = true;
end
% Not run there by any test.
opts.SupportedPlatforms.MatlabOnline = false;
file = fullfile(dist, ['mexmodules-' version '.mltbx']);
opts.OutputFile = file;
matlab.addons.toolbox.packageToolbox(opts);
assert(isfile(file), 'package_toolbox: no %s after packaging', file);
fprintf('package_toolbox: %s\n', file);
end

function copy(from, to)
assert(isfile(from), 'package_toolbox: missing %s', from);
copyfile(from, to);
end
