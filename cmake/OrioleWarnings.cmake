# Project code builds warning-free with these; third-party headers come in as
# system includes and are not held to them.
function(oriole_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion)
endfunction()
