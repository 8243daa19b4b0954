# Runs PROGRAM with ARGS ("|"-separated), through EMULATOR when one is given,
# in WORKING_DIRECTORY, with the variables of ENV ("NAME=VALUE|...") added to
# its environment and standard input from INPUT_FILE if given (with COPY_FILE,
# in a new folder holding a copy of it named COPY_AS), and fails unless its exit status is EXIT_STATUS and its standard output and
# standard error are exactly as expected. Each stream is expected either as one
# line, STDOUT or STDERR (followed by one newline; nothing when empty), or as
# the whole content of STDOUT_FILE or STDERR_FILE. NEWLINE is LF, or CRLF where
# the C runtime writes text streams that way; expected "\n" become NEWLINE.
string(REPLACE "|" ";" args "${ARGS}")
string(REPLACE "|" ";" environment "${ENV}")
set(input_option)
if(INPUT_FILE)
  set(input_option INPUT_FILE "${INPUT_FILE}")
endif()
# The streams go to files: captured into variables, "\r\n" would come back as "\n".
string(RANDOM LENGTH 12 run_id)
if(COPY_FILE)
  set(WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/copy-${run_id}")
  file(MAKE_DIRECTORY "${WORKING_DIRECTORY}")
  configure_file("${COPY_FILE}" "${WORKING_DIRECTORY}/${COPY_AS}" COPYONLY)
endif()
set(stdout_file "${CMAKE_CURRENT_BINARY_DIR}/output-${run_id}.stdout")
set(stderr_file "${CMAKE_CURRENT_BINARY_DIR}/output-${run_id}.stderr")
execute_process(COMMAND ${CMAKE_COMMAND} -E env ${environment} ${EMULATOR} ${PROGRAM} ${args}
                WORKING_DIRECTORY "${WORKING_DIRECTORY}" ${input_option}
                OUTPUT_FILE "${stdout_file}" ERROR_FILE "${stderr_file}" RESULT_VARIABLE actual_status)
foreach(stream IN ITEMS STDOUT STDERR)
  string(TOLOWER "${stream}" name)
  file(READ "${${name}_file}" actual_${stream}_hex HEX)
  file(READ "${${name}_file}" actual_${stream})
endforeach()
file(REMOVE "${stdout_file}" "${stderr_file}")
if(COPY_FILE)
  file(REMOVE_RECURSE "${WORKING_DIRECTORY}")
endif()

if(NEWLINE STREQUAL "CRLF")
  set(newline "\r\n")
else()
  set(newline "\n")
endif()

# The text with its line ends made visible.
function(visible text out_var)
  string(REPLACE "\r" "\\r" text "${text}")
  string(REPLACE "\n" "\\n\n" text "${text}")
  set(${out_var} "\"${text}\"" PARENT_SCOPE)
endfunction()

foreach(stream IN ITEMS STDOUT STDERR)
  set(expected "")
  if(DEFINED ${stream}_FILE)
    file(READ "${${stream}_FILE}" expected)
    string(REPLACE "\n" "${newline}" expected "${expected}")
  elseif(NOT "${${stream}}" STREQUAL "")
    set(expected "${${stream}}${newline}")
  endif()
  string(HEX "${expected}" expected_hex)
  if(NOT "${actual_${stream}_hex}" STREQUAL "${expected_hex}")
    visible("${expected}" want)
    visible("${actual_${stream}}" got)
    message(SEND_ERROR "${stream}: expected\n${want}\ngot\n${got}")
  endif()
endforeach()
if(NOT "${actual_status}" STREQUAL "${EXIT_STATUS}")
  message(SEND_ERROR "exit status: expected ${EXIT_STATUS}, got ${actual_status}")
endif()
