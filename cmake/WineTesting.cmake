# Tests run under wine64 in a prefix inside the build tree, one prefix per
# preset. The win64 build runs natively in it; the shipped win32 build runs in
# Wine's WoW64 mode (scripts/bootstrap puts Wine's 32-bit PE DLLs in place).
# The wrapper gives the Wine processes a Russian system (ANSI 1251, OEM 866).
set(VREL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tools/wine/run-under-wine ${VREL_WINEPREFIX})
set(VREL_CAN_RUN_TESTS ON)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "AMD64")
  set(VREL_TARGET_BITS 64)
else()
  set(VREL_TARGET_BITS 32)
endif()

find_program(VREL_OBJDUMP NAMES ${MINGW_TRIPLE}-objdump REQUIRED)

# GoogleTest/GoogleMock from Debian's source package, cross-built.
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# vrel_wine_test(NAME SOURCES ... [LIBS ...] [LABELS ...])
# One test program per subject; all of its cases run in one Wine process.
function(vrel_wine_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  vrel_warnings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  if(VREL_CAN_RUN_TESTS)
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    set_tests_properties(${name} PROPERTIES LABELS "wine;${T_LABELS}" TIMEOUT 600)
  endif()
endfunction()

# vrel_check_test(NAME COMMAND ...): a host-side check of built binaries
# (exports, imports); runs in both presets without Wine.
function(vrel_check_test name)
  cmake_parse_arguments(T "" "" "COMMAND" ${ARGN})
  add_test(NAME ${name} COMMAND ${T_COMMAND})
  set_tests_properties(${name} PROPERTIES LABELS "static")
endfunction()
