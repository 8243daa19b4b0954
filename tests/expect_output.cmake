# Runs PROGRAM with ARGS ("|"-separated), through EMULATOR when one is given,
# and fails unless its exit status is EXIT_STATUS and its standard output and
# standard error are exactly STDOUT and STDERR, each followed by one newline
# (none when empty). NEWLINE is LF, or CRLF where the C runtime writes text
# streams that way.
string(REPLACE "|" ";" args "${ARGS}")
execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${args}
                OUTPUT_VARIABLE actual_stdout ERROR_VARIABLE actual_stderr RESULT_VARIABLE actual_status)

if(NEWLINE STREQUAL "CRLF")
  set(newline "\r\n")
else()
  set(newline "\n")
endif()

function(escaped text out_var)
  string(REPLACE "\r" "\\r" text "${text}")
  string(REPLACE "\n" "\\n" text "${text}")
  set(${out_var} "\"${text}\"" PARENT_SCOPE)
endfunction()

foreach(stream IN ITEMS STDOUT STDERR)
  set(expected "")
  if(NOT "${${stream}}" STREQUAL "")
    set(expected "${${stream}}${newline}")
  endif()
  string(TOLOWER "actual_${stream}" actual_var)
  if(NOT "${${actual_var}}" STREQUAL "${expected}")
    escaped("${expected}" want)
    escaped("${${actual_var}}" got)
    message(SEND_ERROR "${stream}: expected ${want}, got ${got}")
  endif()
endforeach()
if(NOT "${actual_status}" STREQUAL "${EXIT_STATUS}")
  message(SEND_ERROR "exit status: expected ${EXIT_STATUS}, got ${actual_status}")
endif()
