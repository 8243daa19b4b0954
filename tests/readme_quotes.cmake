# README quotes a text whole, in a fenced block of LANGUAGE: the file QUOTED,
# or what PROGRAM writes for ARGS ("|"-separated), through EMULATOR when one
# is given. So README's example and its settings reference cannot drift.
if(PROGRAM)
  string(REPLACE "|" ";" args "${ARGS}")
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${args} OUTPUT_VARIABLE quoted RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARGS}: exit status ${status}")
  endif()
else()
  file(READ "${QUOTED}" quoted)
endif()
file(READ "${README}" readme)
string(FIND "${readme}" "```${LANGUAGE}\n${quoted}```\n" found)
if(found EQUAL -1)
  message(FATAL_ERROR "README does not quote, in a ```${LANGUAGE} block, exactly:\n${quoted}")
endif()
