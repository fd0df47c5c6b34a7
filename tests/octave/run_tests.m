## failed = run_tests (MODULE_DIR, TEST_FILE)
## Runs the test blocks of one file against the modules in a folder, for example
##   octave-cli --eval 'exit (run_tests ("dist/octave", "permanent_test.m"))'
function failed = run_tests (module_dir, test_file)
  addpath (module_dir);
  [passed, total] = test (test_file, "quiet", stdout);
  printf ("%s: %d of %d passed\n", test_file, passed, total);
  failed = total == 0 || passed != total;
endfunction
