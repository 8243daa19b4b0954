# Warnings are errors on every compiler the project builds with.
function(settings_enable_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX /permissive-)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow
                                             -Wold-style-cast -Wnon-virtual-dtor -Werror)
  endif()
endfunction()
