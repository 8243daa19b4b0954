# Header-only libraries taken from the build machine's packages (Debian:
# libtomlplusplus-dev, libutfcpp-dev, libcli11-dev). Each is found where its
# package puts it and made visible through a folder of the build tree that
# holds only that library, so a cross compiler such as MinGW-w64 sees these
# headers and none of the build machine's others.
#
# detector_settings_header_library(<target> <header> <folder>) finds <header>
# (a path such as "toml++/toml.h" that starts with <folder>), or takes the
# folder <TARGET>_PREFIX names, and defines the INTERFACE target <target>,
# through which sources include it. Nothing is kept in the cache.
function(detector_settings_header_library target header folder)
  string(TOUPPER "${target}" variable)
  find_path(${variable}_PREFIX "${header}" PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_CACHE)
  if(NOT ${variable}_PREFIX)
    message(FATAL_ERROR "${header} not found: install its development package, or set ${variable}_PREFIX "
                        "to the folder that holds it.")
  endif()
  set(visible_dir "${PROJECT_BINARY_DIR}/header_libraries/${target}")
  file(MAKE_DIRECTORY "${visible_dir}")
  file(CREATE_LINK "${${variable}_PREFIX}/${folder}" "${visible_dir}/${folder}" SYMBOLIC)
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE "$<BUILD_INTERFACE:${visible_dir}>")
endfunction()

detector_settings_header_library(detector_settings_tomlplusplus toml++/toml.h toml++)
# Header-only, parse results instead of exceptions, no formatters: the writer writes its own TOML.
target_compile_definitions(detector_settings_tomlplusplus INTERFACE TOML_HEADER_ONLY=1 TOML_EXCEPTIONS=0
                                                                    TOML_ENABLE_FORMATTERS=0)
detector_settings_header_library(detector_settings_utfcpp utf8cpp/utf8.h utf8cpp)

# detector_settings_use_headers(<target> <header library>...) compiles <target>
# with the header libraries, privately and without a link dependency, so that
# exporting <target> carries none of them.
function(detector_settings_use_headers target)
  foreach(library IN LISTS ARGN)
    target_include_directories(${target} SYSTEM PRIVATE $<TARGET_PROPERTY:${library},INTERFACE_INCLUDE_DIRECTORIES>)
    target_compile_definitions(${target} PRIVATE $<TARGET_PROPERTY:${library},INTERFACE_COMPILE_DEFINITIONS>)
  endforeach()
endfunction()
