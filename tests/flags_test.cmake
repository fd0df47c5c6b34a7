# The module flags written where CMake cannot reach, checked against
# cmake/MexModule.cmake's lists: the Octave package's Makefile and build_modules.m
# (the hosts' own builds) and bench/mca.sh (clang, for llvm-mca).
#   cmake -DROOT=... -DFLAGS=... -DLINKED_FLAGS=... -DOCTAVE_CXXFLAGS=... -P flags_test.cmake
set(flags "${FLAGS}")
set(linked "${LINKED_FLAGS}")
set(failed 0)
function(expect file pattern want)
  file(READ "${ROOT}/${file}" text)
  string(REPLACE "\\\n" "" text "${text}")   # shell line continuations
  if(NOT text MATCHES "${pattern}")
    message("FAIL ${file}: no line matching ${pattern}")
    set(failed 1 PARENT_SCOPE)
  elseif(NOT CMAKE_MATCH_1 STREQUAL want)
    message("FAIL ${file}: flags '${CMAKE_MATCH_1}', want '${want}'")
    set(failed 1 PARENT_SCOPE)
  else()
    message("ok ${file}: ${CMAKE_MATCH_1}")
  endif()
endfunction()
expect(pkg/Makefile "\n\tCXXFLAGS=\"([^\"]*)\"" "${OCTAVE_CXXFLAGS}")
expect(build_modules.m "\nflags = '([^']*)';" "${OCTAVE_CXXFLAGS}")
expect(bench/mca.sh "\nFLAGS=\"(-std=c\\+\\+17 [^\"]*) -fPIC" "-std=c++17 ${flags} ${linked} -fno-builtin")
if(failed)
  message(FATAL_ERROR "the flags above differ from cmake/MexModule.cmake's")
endif()
