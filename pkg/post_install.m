## Moves the help files from the package folder into the folder of the compiled
## modules: Octave shows a module's help from the .m file beside it, and a call
## there reaches the module, whatever the order of the path or the current folder.
## The suite that their test blocks run goes along in tests/, off the path.
function post_install (desc)
  built = dir (fullfile (desc.archprefix, "*", "permanent.mex"));
  if (numel (built) != 1)
    error ("mexmodules: found %d built permanent.mex under %s, want 1",
           numel (built), desc.archprefix);
  endif
  for moved = {"*.m", "tests"}
    [ok, msg] = movefile (fullfile (desc.dir, moved{1}), built.folder);
    if (! ok)
      error ("mexmodules: cannot move %s to %s: %s", moved{1}, built.folder, msg);
    endif
  endfor
endfunction
