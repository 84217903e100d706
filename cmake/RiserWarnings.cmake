# Warning flags for the project's own targets (not for the SDK's).
function(riser_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
endfunction()
