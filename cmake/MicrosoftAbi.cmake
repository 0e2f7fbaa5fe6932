# What a Visual Studio project needs of the libraries, made without
# Microsoft's tools: import libraries in Microsoft's format (llvm-dlltool),
# and hosts built for the Microsoft C++ ABI (clang for an *-windows-msvc
# target, lld-link) that the tests run against the DLLs. Debian's llvm, lld
# and clang packages (scripts/bootstrap).
find_program(VREL_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
find_program(VREL_MSVC_CXX NAMES clang++ clang++-14 REQUIRED)
find_program(VREL_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)
if(VREL_TARGET_BITS EQUAL 64)
  set(VREL_MSVC_TARGET x86_64-pc-windows-msvc)
  set(VREL_DLLTOOL_MACHINE i386:x86-64)
  set(VREL_LINK_MACHINE x64)
else()
  set(VREL_MSVC_TARGET i686-pc-windows-msvc)
  set(VREL_DLLTOOL_MACHINE i386)
  set(VREL_LINK_MACHINE x86)
endif()

# vrel_import_library(DEF LIB [STDCALL]): LIB made from the module-definition
# file DEF. The exports' names are taken as written ("NAME = internal" gives
# NAME). With STDCALL, names keep "@n" for the linker and lose it in the
# import, as the system's own DLLs export them.
function(vrel_import_library def lib)
  get_filename_component(dir ${lib} DIRECTORY)
  set(kill_at)
  if(ARGN STREQUAL "STDCALL")
    set(kill_at -k)
  endif()
  add_custom_command(OUTPUT ${lib}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${VREL_DLLTOOL} -m ${VREL_DLLTOOL_MACHINE} ${kill_at} -d ${def} -l ${lib}
    DEPENDS ${def}
    COMMENT "Making the import library ${lib}")
endfunction()

# vrel_msvc_host(NAME SOURCE FILE INCLUDE DIR LIBS LIB... DEF KERNEL32_DEF):
# bin/NAME.exe, a console program with its own mainCRTStartup and no C
# run-time, linked against LIBS and a kernel32 import library made from
# KERNEL32_DEF.
function(vrel_msvc_host name)
  cmake_parse_arguments(H "" "SOURCE;INCLUDE;DEF" "LIBS" ${ARGN})
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${name})
  set(obj ${work}/${name}.obj)
  set(kernel32 ${work}/kernel32.lib)
  set(exe ${CMAKE_BINARY_DIR}/bin/${name}.exe)
  get_filename_component(source ${H_SOURCE} ABSOLUTE)
  file(GLOB headers ${H_INCLUDE}/*.h)
  vrel_import_library(${H_DEF} ${kernel32} STDCALL)
  add_custom_command(OUTPUT ${obj}
    COMMAND ${VREL_MSVC_CXX} --target=${VREL_MSVC_TARGET} -std=c++17 -O1 -Wall -Wextra -Werror
            -fno-exceptions -fno-rtti -fno-stack-protector -fno-builtin -I ${H_INCLUDE} -c ${source} -o ${obj}
    DEPENDS ${source} ${headers}
    COMMENT "Compiling ${name} for the Microsoft ABI")
  add_custom_command(OUTPUT ${exe}
    COMMAND ${VREL_LLD_LINK} /nologo /machine:${VREL_LINK_MACHINE} /entry:mainCRTStartup /subsystem:console
            /nodefaultlib /out:${exe} ${obj} ${H_LIBS} ${kernel32}
    DEPENDS ${obj} ${H_LIBS} ${kernel32}
    COMMENT "Linking ${name} with lld-link")
  add_custom_target(${name} ALL DEPENDS ${exe})
endfunction()
