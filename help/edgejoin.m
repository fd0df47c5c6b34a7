function [E, W] = edgejoin (E1, E2)
%EDGEJOIN  Join two edge lists at matching nodes.
%   [E, W] = EDGEJOIN(E1, E2) joins every edge of E1 with every edge of E2 whose
%   first node equals its second node: each pair with E1(i,2) == E2(j,1) gives a row
%   [E1(i,1) E2(j,2) 0] of E and a row [E1(i,3) E2(j,3)] of W, in the order of i,
%   then j.
%
%   Inputs:
%     E1, E2  double edge lists, p-by-3 and q-by-3, each row [from to value] (of
%             complex lists only the real parts are read). Nodes match by IEEE
%             equality: -0 matches +0, NaN matches nothing, there is no tolerance.
%
%   Outputs:
%     E  joined edges, one row [from to 0] per join (0-by-3 when nothing joins).
%     W  the values of the two joined edges, one row per join (0-by-2 when nothing
%        joins), copied unchanged.
%
%   Errors, checked in this order (no output is made):
%     Needs 2 inputs and 2 outputs
%        (not exactly 2 inputs and 2 outputs; [E, ~] = EDGEJOIN(E1, E2) skips W,
%        while E = EDGEJOIN(E1, E2) is refused)
%     Inputs need to be double type
%        (E1 or E2 not double)
%     Inputs need to be full matrices
%        (E1 or E2 sparse)
%     Inputs need to be nEdges x 3 matrices
%        (E1 or E2 without exactly 3 columns, 0-by-0 included)
%     Inputs need to be 2-D matrices
%        (E1 or E2 of 3 columns over more than 2 dimensions)
%     Inputs need to give at most 2^31-1 joined edges
%        (more joined rows than that)
%
%   Cost: edgejoin compares every row of E1 with every row of E2, p*q pairs however
%   few of them join, so its time grows with p*q: 38 ms for 20,000 and 1.1 s for
%   100,000 rows each, measured by make bench on AMD EPYC (2 cores, 2026-12-10). From
%   about 4,000 rows each a sort-based join in plain MATLAB or Octave is faster;
%   examples/join_sorted.m in the source tree gives the same rows in the same order.
%
%   Limits: lists of any number of rows (counted in 64 bits), and at most 2^31-1
%   joined edges. E and W take 40 bytes per joined edge, 86 GB at the most, and a
%   host may hold twice that for a moment while it makes them. The call runs to
%   completion: Ctrl-C takes effect only once it returns.
%
%   Example:
%     G = [1 2 0.5; 2 3 0.25; 2 4 1.0];   % rows: from, to, value
%     [E, W] = edgejoin(G, G)
%     % E = [1 3 0; 1 4 0], the two-step paths; W = [0.5 0.25; 0.5 1.0]
%
%   See also PERMANENT, EXPANDTALLY.

% Only reached when the compiled module, which takes precedence over this file, is
% missing beside it.
way = 'install the Octave package (mexmodules-VERSION.tar.gz) with pkg install, which compiles it';
if ~exist('OCTAVE_VERSION', 'builtin')
    way = 'add the folder of the archive for this platform to the path, or install the toolbox file';
end
error('edgejoin: the compiled module edgejoin.%s is missing beside edgejoin.m: %s', mexext, way);
