# detector_settings_format_check: fails when a project source differs from what clang-format
# makes of it (style in .clang-format).
find_program(DETECTOR_SETTINGS_CLANG_FORMAT NAMES clang-format-14 clang-format)
if(DETECTOR_SETTINGS_CLANG_FORMAT)
  file(GLOB_RECURSE formatted_sources CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/settings/*.cpp ${PROJECT_SOURCE_DIR}/settings/*.h
       ${PROJECT_SOURCE_DIR}/selfcheck/*.cpp ${PROJECT_SOURCE_DIR}/selfcheck/*.h
       ${PROJECT_SOURCE_DIR}/detector-settings/*.cpp ${PROJECT_SOURCE_DIR}/detector-settings/*.h
       ${PROJECT_SOURCE_DIR}/tests/*.cpp ${PROJECT_SOURCE_DIR}/tests/*.h
       ${PROJECT_SOURCE_DIR}/benchmarks/*.cpp ${PROJECT_SOURCE_DIR}/benchmarks/*.h)
  add_custom_target(detector_settings_format_check
                    COMMAND ${DETECTOR_SETTINGS_CLANG_FORMAT} --dry-run -Werror ${formatted_sources}
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    COMMENT "Checking the format of ${PROJECT_NAME}'s sources")
endif()
