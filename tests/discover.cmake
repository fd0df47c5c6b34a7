# Registers the cases of one suite program when ctest starts (each tree's
# TEST_INCLUDE_FILES, as add_suite in tests/CMakeLists.txt writes them): PROGRAM --list
# gives each case and the kinds of run it is slow in; each case becomes the test PREFIX
# and its name, running PROGRAM ARGS through EXECUTOR, with LABELS (and `slow` where
# RUN names a kind it is slow in) and PROPERTIES. A case that exits 77 (its builds are
# not built) or that GoogleTest skips says skipped; so does a program that is not built,
# as one test. One that cannot list its cases fails, as one test.
cmake_policy(VERSION 3.21)   # ctest reads this with no policies set
function(discover_suite)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "PROGRAM;PREFIX"
                        "EXECUTOR;ARGS;RUN;LABELS;PROPERTIES")
  get_filename_component(program "${arg_PROGRAM}" NAME_WE)
  if(NOT EXISTS "${arg_PROGRAM}")
    add_test("${arg_PREFIX}${program}" sh -c "echo 'not built: ${arg_PROGRAM}'; exit 77")
    set_tests_properties("${arg_PREFIX}${program}" PROPERTIES SKIP_RETURN_CODE 77)
    return()
  endif()
  execute_process(COMMAND ${arg_EXECUTOR} "${arg_PROGRAM}" --list TIMEOUT 300
                  OUTPUT_VARIABLE listed ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    string(REPLACE "'" "" errors "${errors}")
    add_test("${arg_PREFIX}${program}" sh -c "echo '${arg_PROGRAM} --list: ${errors}'; exit 1")
    return()
  endif()
  string(REPLACE "\r" "" listed "${listed}")   # Windows programs end lines with CR
  string(REPLACE "\n" ";" lines "${listed}")
  foreach(line IN LISTS lines)
    string(REPLACE " " ";" words "${line}")
    list(POP_FRONT words case)
    if(NOT case)
      continue()
    endif()
    set(labels ${arg_LABELS})
    foreach(kind IN LISTS arg_RUN)
      if(kind IN_LIST words)
        list(APPEND labels slow)
      endif()
    endforeach()
    add_test("${arg_PREFIX}${case}" ${arg_EXECUTOR} "${arg_PROGRAM}" "--gtest_filter=${case}"
             ${arg_ARGS})
    set_tests_properties("${arg_PREFIX}${case}" PROPERTIES LABELS "${labels}"
                         SKIP_RETURN_CODE 77 SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
                         ${arg_PROPERTIES})
  endforeach()
endfunction()
