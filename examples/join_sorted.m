function [E, W] = join_sorted(E1, E2)
%JOIN_SORTED  The join of EDGEJOIN done with a sort, for long edge lists.
%   [E, W] = JOIN_SORTED(E1, E2) gives the rows that EDGEJOIN(E1, E2) gives, in the
%   same order (E1's rows, and for each the matching rows of E2 in E2's order), for
%   real double edge lists of p and q rows of [from to value]. Nodes match by
%   equality, -0 matches +0 and NaN matches nothing, as in EDGEJOIN.
%
%   It sorts E2's first nodes and ranks E1's second nodes among them, so its time
%   grows with (p + q) log(p + q) and the joined rows, where EDGEJOIN compares every
%   one of the p*q pairs: from a few thousand rows each it is the faster one.
%
%   Plain MATLAB (R2015a and later) and GNU Octave: copy it wherever it is needed.
%
%   See also EDGEJOIN.

p = size(E1, 1);
q = size(E2, 1);
k = E1(:, 2);
[s, o] = sort(E2(:, 1));   % stable: equal nodes keep E2's order
% The nodes of s below each key, and those at or below it: a stable sort of keys and
% nodes together ranks the ones given first before the equal ones given after.
below = nodes_ranked_before([k; s], (1:p)', p + 1:p + q);
upto = nodes_ranked_before([s; k], (q + 1:q + p)', 1:q);
c = upto - below;
c(isnan(k)) = 0;
N = sum(c);
if N == 0   % repelem of nothing fails in some Octave releases
    E = zeros(0, 3);
    W = zeros(0, 2);
    return
end
i = repelem((1:p)', c);
starts = cumsum(c) - c;
j = o(repelem(below - starts, c) + (1:N)');
E = [E1(i, 1), E2(j, 2), zeros(N, 1)];
W = [E1(i, 3), E2(j, 3)];
end

% For each element of v at the positions keys, how many elements at the positions
% nodes come before it in a stable sort of v.
function n = nodes_ranked_before(v, keys, nodes)
[~, order] = sort(v);
is_node = false(numel(v), 1);
is_node(nodes) = true;
counted = cumsum(is_node(order));
rank = zeros(numel(v), 1);
rank(order) = 1:numel(v);
n = reshape(counted(rank(keys)), [], 1);
end
