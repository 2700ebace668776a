# Warnings are errors on every compiler we build with.
function(kq_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Werror -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Wcast-qual -Wformat=2 -Wimplicit-fallthrough)
endfunction()
