## The help of each function as "help NAME" shows it, with the delivered folder on the
## path: the compiled module is what a call reaches, and its .m file's help names the
## function, its call form, every error message the module raises, and an example that
## runs and gives what its comments say.

%!function text = help_of (name)
%!  text = evalc (sprintf ("help %s", name));
%!endfunction

%!function example = example_of (text)
%!  from = strfind (text, "Example:") + numel ("Example:");
%!  to = strfind (text, "See also") - 1;
%!  example = text(from:to);
%!endfunction

%!test
%! cases = {
%!  "permanent", "PERMANENT  Sum of products over a permutation table.", ...
%!  "p = PERMANENT(A, P)", ...
%!  {"Needs 2 inputs and 1 output", "Input 1 and 2 need to be double type", ...
%!   "Input 1 and 2 need to be full matrices", ...
%!   "Input 1 needs to be a square matrix and needs to have the same number of rows as the number of column of the second argument", ...
%!   "Input 2 should have the same number of column as Input 1 (# of rows not checked)", ...
%!   "Input 2 should have fact(n) rows", ...
%!   "Input 2 entries need to select a column of Input 1"};
%!  "expandTally", "EXPANDTALLY  Expand counts into an index list", ...
%!  "[L, F] = EXPANDTALLY(c)", ...
%!  {"Needs 1 inputs and 2 outputs", "Inputs needs to be double type", ...
%!   "Input needs to be a full matrix", "Input needs to have at most 2^31-1 elements", ...
%!   "Input counts need to be between 0 and 2^31-1", ...
%!   "Input counts need to sum to at most 2^31-1"};
%!  "edgejoin", "EDGEJOIN  Join two edge lists at matching nodes.", ...
%!  "[E, W] = EDGEJOIN(E1, E2)", ...
%!  {"Needs 2 inputs and 2 outputs", "Inputs need to be double type", ...
%!   "Inputs need to be full matrices", "Inputs need to be nEdges x 3 matrices", ...
%!   "Inputs need to be 2-D matrices", "Inputs need to give at most 2^31-1 joined edges"}};
%! for i = 1:rows (cases)
%!   [name, h1, usage, messages] = cases{i, :};
%!   [~, ~, ext] = fileparts (which (name));
%!   assert (ext, ".mex");
%!   text = help_of (name);
%!   assert (! isempty (regexp (text, ["^" regexptranslate("escape", h1)], "lineanchors")),
%!           "%s: no help line '%s'", name, h1);
%!   for s = [{usage, "Example:", "See also"}, messages]
%!     assert (! isempty (strfind (text, s{1})), "%s: help lacks '%s'", name, s{1});
%!   endfor
%! endfor

%!test
%! evalc (example_of (help_of ("permanent")));
%! assert ({p, d}, {10, 265});

%!test
%! evalc (example_of (help_of ("expandTally")));
%! assert ({L, F}, {[1 2 2 3 3 3], 12});

%!test
%! evalc (example_of (help_of ("edgejoin")));
%! assert ({E, W}, {[1 3 0; 1 4 0], [0.5 0.25; 0.5 1.0]});
