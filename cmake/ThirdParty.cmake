# The dependencies built from Debian's source packages that scripts/bootstrap
# unpacks into third_party/, as static libraries, without the project's
# warnings (their headers are SYSTEM includes).

# libmspack: the cabinet transfer (Windows builds only).
if(WIN32)
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
endif()

# libdeflate inflates MSZIP cabinet blocks (decompression only). Its folder
# carries Debian's version: the newest one unpacked is taken unless
# VREL_LIBDEFLATE_DIR names one.
if(NOT VREL_LIBDEFLATE_DIR)
  file(GLOB _vrel_libdeflate_dirs LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/third_party/libdeflate-*)
  if(_vrel_libdeflate_dirs)
    list(SORT _vrel_libdeflate_dirs COMPARE NATURAL ORDER DESCENDING)
    list(GET _vrel_libdeflate_dirs 0 VREL_LIBDEFLATE_DIR)
  endif()
endif()
if(NOT EXISTS ${VREL_LIBDEFLATE_DIR}/lib/deflate_decompress.c)
  message(FATAL_ERROR "libdeflate source not found in third_party/libdeflate-*: run scripts/bootstrap")
endif()
add_library(deflate STATIC
  ${VREL_LIBDEFLATE_DIR}/lib/deflate_decompress.c
  ${VREL_LIBDEFLATE_DIR}/lib/utils.c)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86|X86|i[3-6]86|x86_64|AMD64|amd64)$")
  # Chooses the BMI2 decoding loop at run time where the processor has it.
  target_sources(deflate PRIVATE ${VREL_LIBDEFLATE_DIR}/lib/x86/cpu_features.c)
endif()
target_include_directories(deflate SYSTEM PUBLIC ${VREL_LIBDEFLATE_DIR})
set_target_properties(deflate PROPERTIES C_STANDARD 99 C_EXTENSIONS OFF C_VISIBILITY_PRESET hidden)
target_compile_definitions(deflate PRIVATE _ANSI_SOURCE)

# zlib makes the MSZIP blocks of the block decoder's tests, as a cabinet
# writer makes them; linked statically, so the test programs run under Wine
# without a zlib DLL (Debian's libz-mingw-w64-dev). The deliverables do not
# link it.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
