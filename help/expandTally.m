function [L, F] = expandTally (c)
%EXPANDTALLY  Expand counts into an index list, with the product of their factorials.
%   [L, F] = EXPANDTALLY(c) reads the counts c column by column; L repeats each
%   position k of c as many times as c(k) says, and F is the product of the counts'
%   factorials, c(1)! * c(2)! * ...
%
%   Input:
%     c  double array of any shape (of a complex c only the real part is read). Each
%        count is truncated toward zero: 2.7 counts 2, -0.5 counts 0.
%
%   Outputs:
%     L  1-by-T double row, T the sum of the counts (1-by-0 when every count is 0 or c
%        is empty).
%     F  1-by-1 double: one running product, 1 multiplied in turn by 1, 2, ..., c(k)
%        for each k in order. It becomes Inf past the largest double (a count of 171,
%        or [100 100]), which is no error.
%
%   Errors, checked in this order (no output is made):
%     Needs 1 inputs and 2 outputs
%        (not exactly 1 input and 2 outputs; [L, ~] = EXPANDTALLY(c) skips F, while
%        L = EXPANDTALLY(c) is refused)
%     Inputs needs to be double type
%        (c not double)
%     Input needs to be a full matrix
%        (c sparse)
%     Input needs to have at most 2^31-1 elements
%        (more elements than that)
%     Input counts need to be between 0 and 2^31-1
%        (a count at or below -1, NaN, Inf, or 2^31 or more)
%     Input counts need to sum to at most 2^31-1
%        (counts adding up to more than that; the counts are read in order, and of
%        these two errors the one that the first bad count or sum meets is given)
%
%   Limits: at most 2^31-1 elements and a sum of counts T of at most 2^31-1. L takes
%   8*T bytes, 16 GB at the largest T, and a host may hold twice that for a moment
%   while it makes L. The call runs to completion: Ctrl-C takes effect only once it
%   returns.
%
%   Example:
%     [L, F] = expandTally([2 0 3])      % L = [1 1 3 3 3], F = 2! * 0! * 3! = 12
%     [L, F] = expandTally([1 3; 2 0])   % L = [1 2 2 3 3 3], F = 12
%
%   See also REPELEM, FACTORIAL, PERMANENT, EDGEJOIN.

% Only reached when the compiled module, which takes precedence over this file, is
% missing beside it.
way = 'install the Octave package (mexmodules-VERSION.tar.gz) with pkg install, which compiles it';
if ~exist('OCTAVE_VERSION', 'builtin')
    way = 'add the folder of the archive for this platform to the path, or install the toolbox file';
end
error('expandTally: the compiled module expandTally.%s is missing beside expandTally.m: %s', mexext, way);
