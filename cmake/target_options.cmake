# Options of the project's own targets. Warnings are errors on every compiler the project builds with.
function(settings_enable_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX /permissive-)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow
                                             -Wold-style-cast -Wnon-virtual-dtor -Werror)
  endif()
endfunction()

# The programs' whole cost is their start-up, and loading a shared C++ runtime
# about doubles that; release builds link everything in. (Sanitizer builds cannot.)
option(SETTINGS_STATIC_PROGRAMS "Link the programs statically, C++ runtime included" OFF)
function(settings_link_statically target)
  if(SETTINGS_STATIC_PROGRAMS)
    if(MSVC)
      set_property(TARGET ${target} PROPERTY MSVC_RUNTIME_LIBRARY MultiThreaded)
    else()
      # Code that is never called is left out, so that start-up maps fewer pages.
      target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections)
      target_link_options(${target} PRIVATE -static -Wl,--gc-sections)
    endif()
  endif()
endfunction()
