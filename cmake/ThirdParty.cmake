# libmspack, from Debian's source package unpacked by scripts/bootstrap into
# third_party/, built as a static library for the cabinet transfer.
set(VREL_LIBMSPACK_DIR ${CMAKE_SOURCE_DIR}/third_party/libmspack-0.11alpha CACHE PATH "libmspack source tree")
if(NOT EXISTS ${VREL_LIBMSPACK_DIR}/mspack/cabd.c)
  message(FATAL_ERROR "libmspack source not found in ${VREL_LIBMSPACK_DIR}: run scripts/bootstrap")
endif()
add_library(mspack STATIC
  ${VREL_LIBMSPACK_DIR}/mspack/system.c
  ${VREL_LIBMSPACK_DIR}/mspack/cabd.c
  ${VREL_LIBMSPACK_DIR}/mspack/mszipd.c
  ${VREL_LIBMSPACK_DIR}/mspack/lzxd.c
  ${VREL_LIBMSPACK_DIR}/mspack/qtmd.c)
target_include_directories(mspack SYSTEM PUBLIC ${VREL_LIBMSPACK_DIR}/mspack)
target_compile_definitions(mspack PUBLIC _FILE_OFFSET_BITS=64
  PRIVATE SIZEOF_OFF_T=8 HAVE_INTTYPES_H=1 HAVE_LIMITS_H=1 HAVE_FSEEKO=1)
set(VREL_LIBMSPACK_TESTDATA ${VREL_LIBMSPACK_DIR}/test/test_files/cabd)

# zlib inflates MSZIP cabinet data; linked statically, so the deliverables
# still import Windows system DLLs only (Debian's libz-mingw-w64-dev).
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
