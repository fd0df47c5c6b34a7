## Calls each module on real examples and prints what it gives.
## Run with the Octave build of the modules on the path (make demo does this).

printf ("permanent\n");
A = [1 2 3; 4 5 6; 7 8 9];
printf ("  permanent of [1 2 3; 4 5 6; 7 8 9] over perms (1:3): %g (known: 450)\n",
        permanent (A, perms (1:3)));
n = 6;
d = permanent (ones (n) - eye (n), perms (1:n));
printf ("  derangements of %d items, as the permanent of ones - eye: %g (known: 265)\n", n, d);
B = magic (4) / 10;
printf ("  permanent of magic (4) / 10: %.17g\n", permanent (B, perms (1:4)));

printf ("\nexpandTally\n");
[L, F] = expandTally ([2 0 3]);
printf ("  counts [2 0 3]: L = [%s], F = %g\n", num2str (L), F);
## MISSISSIPPI: M once, I four times, S four times, P twice.
[L, F] = expandTally ([1 4 4 2]);
printf ("  arrangements of MISSISSIPPI: %d! / %g = %g (known: 34650)\n",
        numel (L), F, factorial (numel (L)) / F);
[~, F] = expandTally (28);
printf ("  28 as one running product: %.17g\n", F);

printf ("\nedgejoin\n");
G = [1 2 0.5; 2 3 0.25; 2 4 1.0; 3 1 2.0];
[E, W] = edgejoin (G, G);
printf ("  two-step paths in a 4-edge graph, with the two edge weights:\n");
printf ("    %g -> %g  (%g then %g)\n", [E(:, 1:2), W].');
