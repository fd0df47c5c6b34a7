function build_modules(outdir)
%BUILD_MODULES  Compile this tree's modules with this host's mex.
%   BUILD_MODULES(OUTDIR) compiles each module of this tree (one per source file in
%   its modules folder) into the folder OUTDIR (made if missing) with the running
%   host's own compiler set-up, and copies their help files beside them;
%   addpath(OUTDIR) then makes them callable. It runs in MATLAB and in GNU Octave,
%   and needs a C++ compiler that is GCC or Clang:
%     - MATLAB on Linux: the GCC that "mex -setup C++" finds; on macOS, Xcode's Clang;
%       on Windows, MATLAB's MinGW-w64 add-on (MATLAB Support for MinGW-w64 C/C++
%       Compiler) chosen by "mex -setup C++".
%     - GNU Octave: the compiler of its mkoctfile (the same build as "pkg install").
%   Every build uses the project's flags, those of cmake/flags.mk: -O3, and
%   -ffp-contract=off so that each double operation is rounded by itself and results
%   are the same bits on every platform; on Windows also those of MEX_WINDOWS_FLAGS,
%   where MinGW's assembler takes them (a warning says if not).
%
%   Example:
%     build_modules(fullfile(tempdir, 'mexmodules'))
%     addpath(fullfile(tempdir, 'mexmodules'))
%
%   See also MEX, MKOCTFILE.

root = fileparts(mfilename('fullpath'));
sources = dir(fullfile(root, 'modules', '*.cpp'));
names = regexprep({sources.name}, '\.cpp$', '');
host = fullfile(root, 'host');
flags = [make_variable(root, 'MEX_STD_FLAG') ' ' make_variable(root, 'MEX_FLAGS')];
if ~exist(outdir, 'dir') && ~mkdir(outdir)
    error('build_modules: cannot make the folder %s', outdir);
end

if exist('OCTAVE_VERSION', 'builtin')
    % As the Octave package builds: mkoctfile --mex, whose CXXFLAGS replace its own.
    saved = getenv('CXXFLAGS');
    restore = onCleanup(@() setenv('CXXFLAGS', saved));
    if ispc
        flags = [flags windows_flags(root, @octave_compiles)];
    end
    setenv('CXXFLAGS', flags);
    for i = 1:numel(names)
        source = fullfile(root, 'modules', [names{i} '.cpp']);
        [output, status] = mkoctfile('--mex', '-DMEX_HOST_OCTAVE', ['-I' host], ...
                                     '-o', fullfile(outdir, [names{i} '.mex']), source);
        if status ~= 0
            error('build_modules: %s does not compile:\n%s', names{i}, output);
        end
    end
else
    % MATLAB: its own headers, and the 32-bit creation and dimension-count operations
    % (the _700 names) that -compatibleArrayDims selects.
    compiler = mex.getCompilerConfigurations('C++', 'Selected');
    if isempty(compiler) || ~any(strcmp(compiler(1).Manufacturer, {'GNU', 'Apple', 'LLVM'}))
        if isempty(compiler)
            found = 'no C++ compiler';
        else
            found = compiler(1).Name;
        end
        error(['build_modules: mex is set up for %s, and these sources build with ' ...
               'GCC or Clang only. Install MATLAB''s MinGW-w64 add-on ("MATLAB Support ' ...
               'for MinGW-w64 C/C++ Compiler") and choose it with "mex -setup C++", or ' ...
               'use the prebuilt modules of the release (the windows, linux or macos ' ...
               'folder of mexmodules).'], found);
    end
    if ispc
        flags = [flags windows_flags(root, @matlab_compiles)];
    end
    for i = 1:numel(names)
        source = fullfile(root, 'modules', [names{i} '.cpp']);
        mex('-compatibleArrayDims', '-DMEX_HOST_MATLAB', ['-I' host], ...
            ['CXXFLAGS=$CXXFLAGS ' flags], 'CXXOPTIMFLAGS=-O3 -DNDEBUG', ...
            '-outdir', outdir, source);
    end
end

for i = 1:numel(names)
    copyfile(fullfile(root, 'help', [names{i} '.m']), outdir);
end
end

% MEX_WINDOWS_FLAGS (aligned vector moves assembled as unaligned ones, against GCC bug
% 54412), with a space before, where this MinGW's assembler takes them (binutils 2.38
% on): a one-line probe compiled with them by COMPILES tells. Otherwise nothing, and a
% warning.
function flags = windows_flags(root, compiles)
flags = [' ' make_variable(root, 'MEX_WINDOWS_FLAGS')];
probe = tempname();
mkdir(probe);
cleanup = onCleanup(@() remove_folder(probe));
source = fullfile(probe, 'probe.cpp');
fid = fopen(source, 'w');
fprintf(fid, 'int probe;\n');
fclose(fid);
if ~compiles(flags, source, probe)
    warning('build_modules:assembler', ['build_modules: this MinGW''s assembler does ' ...
            'not take%s (binutils 2.38 and later do), so a module that GCC compiles ' ...
            'with an aligned 32-byte move on the stack can crash (GCC bug 54412). ' ...
            'See "Windows: aligned vector moves on the stack" in docs/platforms.md.'], flags);
    flags = '';
end
end

% Whether the probe SOURCE compiles into the folder OUTDIR with FLAGS added, in MATLAB
% (mex) and in Octave (mkoctfile, whose CXXFLAGS replace its own).
function ok = matlab_compiles(flags, source, outdir)
try
    evalc('mex(''-c'', [''CXXFLAGS=$CXXFLAGS'' flags], ''-outdir'', outdir, source)');
    ok = true;
catch
    ok = false;
end
end

function ok = octave_compiles(flags, source, outdir)
setenv('CXXFLAGS', flags);   % (the caller sets and restores it after)
status = 1;   % (evalc keeps mkoctfile's own warning of a failure out of sight)
evalc('[~, status] = mkoctfile(''-c'', source, ''-o'', fullfile(outdir, ''probe.o''));');
ok = status == 0;
end

% A folder of files only, removed without Octave's question for recursive removal.
function remove_folder(folder)
delete(fullfile(folder, '*'));
rmdir(folder);
end

% The value of a variable of cmake/flags.mk, the one list of the modules' flags.
function value = make_variable(root, name)
text = fileread(fullfile(root, 'cmake', 'flags.mk'));
value = regexp(text, ['^' name ' = ([^\r\n]*)'], 'tokens', 'once', 'lineanchors');
if isempty(value)
    error('build_modules: cmake/flags.mk sets no %s', name);
end
value = value{1};
end
