# Native Linux build of the portable logic: AddressSanitizer and UBSan on the
# unit tests, libFuzzer targets when the compiler is clang.
set(VREL_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
add_compile_options(${VREL_SANITIZE})
add_link_options(${VREL_SANITIZE})

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

set(VREL_HAVE_FUZZER OFF)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(VREL_HAVE_FUZZER ON)
  # Coverage guidance for the code the fuzzers call, not only for their own
  # files: without it libFuzzer sees a handful of edges and mutates blindly.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

function(vrel_native_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  vrel_warnings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  set_tests_properties(${name} PROPERTIES LABELS "native")
endfunction()

# vrel_fuzz_target(NAME SOURCES ... LIBS ... [SMOKE_SECONDS n] [MAX_LEN bytes]
#                  [CORPUS seed-folder] [DICT file])
# Builds a libFuzzer target and registers a short bounded smoke run as a test.
# The seed folder (committed) is read, never written: new inputs go to a
# corpus folder in the build tree. scripts/long-run takes each smoke run's
# command from CTest and runs it for millions of executions instead.
function(vrel_fuzz_target name)
  cmake_parse_arguments(T "" "SMOKE_SECONDS;MAX_LEN;CORPUS;DICT" "SOURCES;LIBS" ${ARGN})
  if(NOT VREL_HAVE_FUZZER)
    return()
  endif()
  if(NOT T_SMOKE_SECONDS)
    set(T_SMOKE_SECONDS 10)
  endif()
  if(NOT T_MAX_LEN)
    set(T_MAX_LEN 512)
  endif()
  add_executable(${name} ${T_SOURCES})
  vrel_warnings(${name})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${T_LIBS})
  set(options -max_len=${T_MAX_LEN})
  set(folders)
  if(T_DICT)
    list(APPEND options -dict=${CMAKE_CURRENT_SOURCE_DIR}/${T_DICT})
  endif()
  if(T_CORPUS)
    set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
    file(MAKE_DIRECTORY ${work})
    set(folders ${work} ${CMAKE_CURRENT_SOURCE_DIR}/${T_CORPUS})
  endif()
  add_test(NAME ${name}_smoke COMMAND ${name} -max_total_time=${T_SMOKE_SECONDS} -print_final_stats=1 ${options} ${folders})
  set_tests_properties(${name}_smoke PROPERTIES LABELS "fuzz" TIMEOUT 120)
endfunction()
