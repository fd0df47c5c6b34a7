function setup_mex()
%SETUP_MEX Chooses a C++ compiler for mex when none is chosen yet, and names it.
%   SETUP_MEX() runs "mex -setup C++" when mex.getCompilerConfigurations('C++',
%   'Selected') is empty, as it can be in a fresh -batch session that never ran it
%   (build_modules stops there); then it prints the compiler chosen. In GNU Octave it
%   does nothing: mkoctfile needs no set-up.

if exist('OCTAVE_VERSION', 'builtin')
    return
end
if isempty(mex.getCompilerConfigurations('C++', 'Selected'))
    mex('-setup', 'C++');
end
compiler = mex.getCompilerConfigurations('C++', 'Selected');
if isempty(compiler)
    fprintf('setup_mex: mex -setup C++ chose no compiler\n');
else
    fprintf('setup_mex: %s %s (%s)\n', compiler(1).Name, compiler(1).Version, compiler(1).Manufacturer);
end
end
