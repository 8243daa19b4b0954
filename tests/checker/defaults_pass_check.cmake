# Runs PROGRAM defaults, then PROGRAM check on what it wrote: the check must
# pass silently. PROGRAM runs through EMULATOR, when one is given.
set(defaults_file "${WORK_DIR}/defaults.toml")
execute_process(COMMAND ${EMULATOR} ${PROGRAM} defaults OUTPUT_FILE "${defaults_file}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "defaults: exit status ${status}")
endif()
execute_process(COMMAND ${EMULATOR} ${PROGRAM} check "${defaults_file}" OUTPUT_VARIABLE output ERROR_VARIABLE output
                RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT output STREQUAL "")
  message(FATAL_ERROR "check of the defaults: exit status ${status}, output \"${output}\"")
endif()
