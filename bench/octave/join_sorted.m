% [E, W] = join_sorted (E1, E2)
% The join of edgejoin written with a stable sort of E2's first nodes: rows in E1's
% order, then E2's, as edgejoin gives them (for nodes that are not NaN).
function [E, W] = join_sorted (E1, E2)
  [s, o] = sort (E2(:,1));
  k = E1(:,2);
  hi = lookup (s, k);                          % nodes <= k
  lo = numel (s) - lookup (-flipud (s), -k);   % nodes < k
  c = hi - lo;
  N = sum (c);
  ii = repelem ((1:rows (E1))', c);
  starts = cumsum (c) - c;
  jj = o(repelem (lo, c) + (1:N)' - repelem (starts, c));
  E = [E1(ii,1), E2(jj,2), zeros(N, 1)];
  W = [E1(ii,3), E2(jj,3)];
endfunction
