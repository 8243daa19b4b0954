# detector_settings_format_check: fails when a project source differs from what clang-format
# makes of it (style in .clang-format).
find_program(DETECTOR_SETTINGS_CLANG_FORMAT NAMES clang-format-14 clang-format)
if(DETECTOR_SETTINGS_CLANG_FORMAT)
  set(patterns)
  foreach(folder IN ITEMS settings file command selfcheck python fuzz examples tests benchmarks)
    list(APPEND patterns ${PROJECT_SOURCE_DIR}/${folder}/*.cpp ${PROJECT_SOURCE_DIR}/${folder}/*.h)
  endforeach()
  file(GLOB_RECURSE formatted_sources CONFIGURE_DEPENDS ${patterns})
  add_custom_target(detector_settings_format_check
                    COMMAND ${DETECTOR_SETTINGS_CLANG_FORMAT} --dry-run -Werror ${formatted_sources}
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    COMMENT "Checking the format of ${PROJECT_NAME}'s sources")
endif()
