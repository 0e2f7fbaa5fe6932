# Warnings on everywhere; VREL_WERROR (on by default, as in CI) turns them into errors.
option(VREL_WERROR "Treat warnings as errors" ON)

function(vrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
  if(VREL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
