# The modules and how one is built, for every tree and every kind of build.

# The module list is the folder of sources: one module per modules/NAME.cpp, with its
# help in help/NAME.m. Everything that names the modules reads it from here.
file(GLOB MEX_MODULE_SOURCES CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/../modules/*.cpp")
set(MEX_MODULES)
foreach(source IN LISTS MEX_MODULE_SOURCES)
  get_filename_component(name "${source}" NAME_WE)
  list(APPEND MEX_MODULES ${name})
endforeach()

# The flags of every build of a module (MEX_FLAGS), where we link it ourselves
# (MEX_LINKED_FLAGS), on Windows (MEX_WINDOWS_FLAGS) and the dialect of the hosts' own
# builds, from cmake/flags.mk.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/flags.mk")
file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/flags.mk" lines REGEX "^MEX_[A-Z_]+ = ")
foreach(line IN LISTS lines)
  string(REGEX MATCH "^(MEX_[A-Z_]+) = (.*)$" line "${line}")
  separate_arguments(${CMAKE_MATCH_1} UNIX_COMMAND "${CMAKE_MATCH_2}")
endforeach()
list(JOIN MEX_FLAGS " " flags)
set(MEX_OCTAVE_CXXFLAGS "${MEX_STD_FLAG} ${flags}")
# No loops turned into memset/memcpy (clang, used for the fuzzers, spells it
# -fno-builtin).
set(MEX_NO_BUILTIN $<IF:$<CXX_COMPILER_ID:GNU>,-fno-tree-loop-distribute-patterns,-fno-builtin>)

# mex_add_module(TARGET SOURCE file [OUTPUT_NAME name] [OUTPUT_DIR dir]
#                [DEFINITIONS def...] [OPTIONS option...] [STUBS file.tbd...]
#                [EXCLUDE_FROM_ALL])
# One plug-in module exporting mexFunction alone, linked as MATLAB links it, in the
# manner of FindMatlab's matlab_add_mex. Every build of a module goes through here:
# the delivered ones, the compared builds (DEFINITIONS: the vector paths compiled out),
# the sanitized and fuzzed trees', the misbound bundle (STUBS: the macOS libraries it
# links, instead of ours) and the bench's plain loops (OPTIONS: -O2, after ours).
function(mex_add_module target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "EXCLUDE_FROM_ALL" "SOURCE;OUTPUT_NAME;OUTPUT_DIR"
                        "DEFINITIONS;OPTIONS;STUBS")
  if(NOT arg_OUTPUT_NAME)
    set(arg_OUTPUT_NAME ${target})
  endif()
  if(NOT arg_OUTPUT_DIR)
    set(arg_OUTPUT_DIR "${MEX_OUTPUT_DIR}")
  endif()
  if(NOT arg_STUBS)
    set(arg_STUBS ${MEX_TBD_STUBS})
  endif()
  set(exclude)
  if(arg_EXCLUDE_FROM_ALL)
    set(exclude EXCLUDE_FROM_ALL)
  endif()
  add_library(${target} MODULE ${exclude} "${arg_SOURCE}")
  target_include_directories(${target} PRIVATE "${PROJECT_SOURCE_DIR}/host")
  if(arg_DEFINITIONS)
    target_compile_definitions(${target} PRIVATE ${arg_DEFINITIONS})
  endif()
  target_compile_options(${target} PRIVATE ${MEX_FLAGS} ${MEX_LINKED_FLAGS} ${MEX_NO_BUILTIN}
                         ${arg_OPTIONS})
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME ${arg_OUTPUT_NAME} SUFFIX "${MEX_SUFFIX}"
    LIBRARY_OUTPUT_DIRECTORY "${arg_OUTPUT_DIR}"
    CXX_VISIBILITY_PRESET hidden
    SKIP_BUILD_RPATH ON)
  if(WIN32)
    target_compile_options(${target} PRIVATE ${MEX_WINDOWS_FLAGS})
    # mexFunction is its only dllexport; the GCC runtime is linked in (toolchain file).
    add_dependencies(${target} mex_import_libs)
    target_link_libraries(${target} PRIVATE ${MEX_IMPORT_LIBS})
  elseif(APPLE)
    target_link_options(${target} PRIVATE
      "LINKER:-exported_symbols_list,${PROJECT_SOURCE_DIR}/host/mexFunction.exports")
    target_link_libraries(${target} PRIVATE ${arg_STUBS})
  else()
    target_link_options(${target} PRIVATE
      "-Wl,--version-script=${PROJECT_SOURCE_DIR}/host/mexFunction.map")
    if(MEX_SANITIZE)
      target_link_libraries(${target} PRIVATE mx mex)
    else()
      # The needed libraries a MATLAB module declares, in MATLAB's order, and nothing
      # else; libpthread is only a stub in current glibc, so it is named by file.
      add_dependencies(${target} mx mex mat)
      target_link_options(${target} PRIVATE -nodefaultlibs -static-libgcc -Wl,-z,defs
                          -Wl,--no-as-needed "-L$<TARGET_FILE_DIR:mx>")
      target_link_libraries(${target} PRIVATE
                            -lmx -lmex -lmat -lm -lstdc++ -l:libpthread.so.0 -lc -lgcc)
    endif()
  endif()
endfunction()
