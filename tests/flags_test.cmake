# The module flags written where CMake cannot reach (the hosts' own builds in
# pkg/Makefile and build_modules.m; clang's for llvm-mca in bench/mca.sh) are
# cmake/MexModule.cmake's.
#   cmake -DROOT=... -DFLAGS=... -DLINKED_FLAGS=... -DOCTAVE_CXXFLAGS=... -P flags_test.cmake
set(failed 0)
function(expect file pattern want)
  file(READ "${ROOT}/${file}" text)
  string(REPLACE "\\\n" "" text "${text}")   # shell line continuations
  if(NOT text MATCHES "${pattern}" OR NOT CMAKE_MATCH_1 STREQUAL want)
    message("FAIL ${file}: flags '${CMAKE_MATCH_1}', want '${want}'")
    set(failed 1 PARENT_SCOPE)
  endif()
endfunction()
expect(pkg/Makefile "\n\tCXXFLAGS=\"([^\"]*)\"" "${OCTAVE_CXXFLAGS}")
expect(build_modules.m "\nflags = '([^']*)';" "${OCTAVE_CXXFLAGS}")
expect(bench/mca.sh "\nFLAGS=\"(-std=c\\+\\+17 [^\"]*) -fPIC" "-std=c++17 ${FLAGS} ${LINKED_FLAGS} -fno-builtin")
if(failed)
  message(FATAL_ERROR "the flags above differ from cmake/MexModule.cmake's")
endif()
