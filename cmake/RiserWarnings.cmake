# Warning flags for the project's own targets (not for the SDK's).
function(riser_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
  if(MINGW)
    # The SDK's platform header defines SMTG_CPP14 and friends with `defined`
    # inside a macro on MinGW, which GCC warns about in every file including it.
    target_compile_options(${target} PRIVATE -Wno-expansion-to-defined)
  endif()
endfunction()
