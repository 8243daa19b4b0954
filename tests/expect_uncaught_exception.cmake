# Runs PROGRAM (through EMULATOR, when one is given) and fails unless it ends
# by an uncaught std::bad_alloc: the runtime's report of it on standard error,
# no "FAIL:" line, nothing on standard output, and an exit status other than
# the program's own 0 and 1.
execute_process(COMMAND ${EMULATOR} ${PROGRAM} OUTPUT_VARIABLE stdout ERROR_VARIABLE stderr RESULT_VARIABLE status)
if(NOT stdout STREQUAL "")
  message(SEND_ERROR "standard output: expected nothing, got \"${stdout}\"")
endif()
if(stderr MATCHES "FAIL:" OR NOT stderr MATCHES "bad_alloc")
  message(SEND_ERROR "standard error: expected the runtime's report of std::bad_alloc, got \"${stderr}\"")
endif()
if(status STREQUAL "0" OR status STREQUAL "1")
  message(SEND_ERROR "exit status: expected an uncaught exception, got ${status}")
endif()
