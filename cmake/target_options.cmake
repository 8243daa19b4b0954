# How the project's own targets are built.

# Compiler warnings on every compiler the project builds with; errors where
# DETECTOR_SETTINGS_WARNINGS_AS_ERRORS is on: at top level, or where a parent sets it.
function(detector_settings_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /permissive- $<$<BOOL:${DETECTOR_SETTINGS_WARNINGS_AS_ERRORS}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow
                                             -Wold-style-cast -Wnon-virtual-dtor
                                             $<$<BOOL:${DETECTOR_SETTINGS_WARNINGS_AS_ERRORS}>:-Werror>)
  endif()
endfunction()

# detector_settings_library(<target> EXPORT_NAME <name> EXPORT_HEADER <settings/x.h> SOURCES <source>...)
# A library of the package, static or shared as BUILD_SHARED_LIBS says, linked
# by consumers as DetectorSettings::<name>. Static libraries are
# position-independent, so they link into shared libraries too. Shared ones
# export only what the export header's macro marks, and carry the project's
# version; debug builds get a "d" so that they install beside release ones.
function(detector_settings_library target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "EXPORT_NAME;EXPORT_HEADER" "SOURCES")
  add_library(${target} ${arg_SOURCES})
  add_library(DetectorSettings::${arg_EXPORT_NAME} ALIAS ${target})
  set_target_properties(${target} PROPERTIES
                        EXPORT_NAME ${arg_EXPORT_NAME}
                        OUTPUT_NAME ${target}
                        POSITION_INDEPENDENT_CODE ON
                        CXX_VISIBILITY_PRESET hidden
                        VISIBILITY_INLINES_HIDDEN ON
                        VERSION ${PROJECT_VERSION}
                        SOVERSION ${PROJECT_VERSION_MAJOR}
                        DEBUG_POSTFIX d)
  target_compile_features(${target} PUBLIC cxx_std_20)
  string(TOUPPER ${target} macro_base)
  # GenerateExportHeader caches what it tests of the compiler; in a parent's
  # build that would be the parent's cache. GCC and Clang pass every test.
  if(NOT PROJECT_IS_TOP_LEVEL AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    foreach(check IN ITEMS HIDDEN_VISIBILITY HIDDEN_INLINE_VISIBILITY DEPRECATED_ATTR DEPRECATED)
      set(COMPILER_HAS_${check} TRUE)
    endforeach()
  endif()
  include(GenerateExportHeader)
  set(parent_had_deprecated_check OFF)
  if(DEFINED CACHE{COMPILER_HAS_DEPRECATED})
    set(parent_had_deprecated_check ON)
  endif()
  generate_export_header(${target} BASE_NAME ${macro_base}
                         EXPORT_FILE_NAME ${PROJECT_BINARY_DIR}/include/${arg_EXPORT_HEADER})
  # It caches one result whatever is set; the header has it now.
  if(NOT PROJECT_IS_TOP_LEVEL AND NOT parent_had_deprecated_check)
    unset(COMPILER_HAS_DEPRECATED CACHE)
  endif()
  if(NOT BUILD_SHARED_LIBS)
    target_compile_definitions(${target} PUBLIC ${macro_base}_STATIC_DEFINE)
  endif()
  target_sources(${target} PUBLIC FILE_SET generated_headers TYPE HEADERS BASE_DIRS ${PROJECT_BINARY_DIR}/include
                                  FILES ${PROJECT_BINARY_DIR}/include/${arg_EXPORT_HEADER})
  detector_settings_warnings(${target})
endfunction()

# The programs' whole cost is their start-up, and loading a shared C++ runtime
# about doubles that; release builds link everything in. (Sanitizer builds cannot.)
if(DETECTOR_SETTINGS_PROGRAMS)
  detector_settings_option(DETECTOR_SETTINGS_STATIC_PROGRAMS "Link the programs statically, C++ runtime included" OFF)
endif()

# detector_settings_program(<target> OUTPUT_NAME <name> SOURCES <source>...)
# A program of the package. Installed, it finds the package's shared libraries
# beside it (Windows) or in the library folder next to its own ($ORIGIN).
function(detector_settings_program target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "OUTPUT_NAME" "SOURCES")
  add_executable(${target} ${arg_SOURCES})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${arg_OUTPUT_NAME})
  detector_settings_warnings(${target})
  set(static OFF)
  if(DETECTOR_SETTINGS_STATIC_PROGRAMS AND NOT BUILD_SHARED_LIBS)
    set(static ON)
  endif()
  if(DETECTOR_SETTINGS_INSTALL AND BUILD_SHARED_LIBS AND NOT WIN32)
    file(RELATIVE_PATH libraries_from_programs ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${libraries_from_programs}")
  endif()
  if(static)
    if(MSVC)
      set_property(TARGET ${target} PROPERTY MSVC_RUNTIME_LIBRARY MultiThreaded)
    else()
      # Code that is never called is left out, so that start-up maps fewer pages.
      target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections)
      target_link_options(${target} PRIVATE -static -Wl,--gc-sections)
    endif()
  endif()
endfunction()

# detector_settings_test(<target> SOURCES <source>... LIBRARIES <library>...)
# A GoogleTest program of unit tests, each test known to CTest. Where programs
# start slowly (under Wine, under the sanitizers), its tests run
# instead in DETECTOR_SETTINGS_TEST_SHARDS processes, GoogleTest's shards.
if(PROJECT_IS_TOP_LEVEL)
  set(DETECTOR_SETTINGS_TEST_SHARDS 0 CACHE STRING "Processes each unit-test program's tests run in; 0: one each")
endif()
function(detector_settings_test target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBRARIES")
  add_executable(${target} ${arg_SOURCES})
  target_link_libraries(${target} PRIVATE ${arg_LIBRARIES} GTest::gtest_main)
  detector_settings_warnings(${target})
  if(DETECTOR_SETTINGS_TEST_SHARDS GREATER 0)
    math(EXPR last "${DETECTOR_SETTINGS_TEST_SHARDS} - 1")
    foreach(shard RANGE ${last})
      add_test(NAME ${target}.shard${shard}
               COMMAND ${CMAKE_COMMAND} -E env GTEST_TOTAL_SHARDS=${DETECTOR_SETTINGS_TEST_SHARDS}
                       GTEST_SHARD_INDEX=${shard} ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${target}>
                       --gtest_brief=1)
    endforeach()
  else()
    # Under an emulator, listing the tests can take as long as starting it for the first time.
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120)
  endif()
endfunction()
