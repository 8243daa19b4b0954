# detector_settings_tidy: clang-tidy (.clang-tidy) on every project source of
# the build's compile commands, two at a time, warnings as errors, the
# compiler's own among them. It reads each source as the compiler would and
# builds nothing, so a Clang build with the fuzz targets and the benchmarks
# need only be configured (the lint preset).
find_program(DETECTOR_SETTINGS_RUN_CLANG_TIDY NAMES run-clang-tidy-14 run-clang-tidy)
find_program(DETECTOR_SETTINGS_CLANG_TIDY NAMES clang-tidy-14 clang-tidy)
if(DETECTOR_SETTINGS_RUN_CLANG_TIDY AND DETECTOR_SETTINGS_CLANG_TIDY AND CMAKE_EXPORT_COMPILE_COMMANDS)
  set(folders "settings|file|command|selfcheck|python|examples|tests|benchmarks")
  add_custom_target(detector_settings_tidy
                    COMMAND ${DETECTOR_SETTINGS_RUN_CLANG_TIDY} -clang-tidy-binary ${DETECTOR_SETTINGS_CLANG_TIDY}
                            -p ${PROJECT_BINARY_DIR} -quiet -j 2 "^${PROJECT_SOURCE_DIR}/(${folders})/"
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    COMMENT "clang-tidy on ${PROJECT_NAME}'s sources"
                    USES_TERMINAL VERBATIM)
endif()
