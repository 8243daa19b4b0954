# toml++, utfcpp and CLI11 from the build machine's packages (Debian:
# libtomlplusplus-dev, libutfcpp-dev, libcli11-dev), through the CMake
# packages they ship. All three are used header-only, and compiled into the
# project's own targets: nothing exported depends on them.
find_package(tomlplusplus REQUIRED)
find_package(utf8cpp REQUIRED)
if(DETECTOR_SETTINGS_PROGRAMS)
  find_package(CLI11 REQUIRED)
endif()

# detector_settings_headers(<target> <package target> <folder>)
# The INTERFACE target <target> with the headers of <package target>, which
# the sources include as "<folder>/...". toml++'s and CLI11's packages name
# /usr/include, which a cross compiler such as MinGW-w64 must not see whole:
# there <target> sees a folder of the build tree that holds <folder> alone.
function(detector_settings_headers target package_target folder)
  get_target_property(include_dir ${package_target} INTERFACE_INCLUDE_DIRECTORIES)
  if(CMAKE_CROSSCOMPILING)
    set(narrow_dir "${PROJECT_BINARY_DIR}/narrowed_includes/${target}")
    file(MAKE_DIRECTORY "${narrow_dir}")
    file(CREATE_LINK "${include_dir}/${folder}" "${narrow_dir}/${folder}" SYMBOLIC)
    set(include_dir "${narrow_dir}")
  endif()
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE "$<BUILD_INTERFACE:${include_dir}>")
endfunction()

detector_settings_headers(detector_settings_tomlplusplus tomlplusplus::tomlplusplus toml++)
# Header-only (the package's target links its shared library), parse results
# instead of exceptions, no formatters: the writer writes its own TOML.
target_compile_definitions(detector_settings_tomlplusplus INTERFACE TOML_HEADER_ONLY=1 TOML_EXCEPTIONS=0
                                                                    TOML_ENABLE_FORMATTERS=0)
if(DETECTOR_SETTINGS_PROGRAMS)
  detector_settings_headers(detector_settings_cli11 CLI11::CLI11 CLI)
endif()

# detector_settings_use_headers(<target> <header library>...) compiles <target>
# with the header libraries, privately and without a link dependency, so that
# exporting <target> carries none of them.
function(detector_settings_use_headers target)
  foreach(library IN LISTS ARGN)
    target_include_directories(${target} SYSTEM PRIVATE $<TARGET_PROPERTY:${library},INTERFACE_INCLUDE_DIRECTORIES>)
    target_compile_definitions(${target} PRIVATE $<TARGET_PROPERTY:${library},INTERFACE_COMPILE_DEFINITIONS>)
  endforeach()
endfunction()
