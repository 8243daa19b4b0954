# README's settings reference quotes the default settings file, which PROGRAM
# (detector-settings) writes from the table of settings: the two must be equal.
# PROGRAM runs through EMULATOR, when one is given.
execute_process(COMMAND ${EMULATOR} ${PROGRAM} defaults OUTPUT_VARIABLE defaults RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "defaults: exit status ${status}")
endif()
file(READ "${README}" readme)
string(FIND "${readme}" "## Settings reference" reference)
string(SUBSTRING "${readme}" ${reference} -1 readme)
string(FIND "${readme}" "```toml\n" start)
string(FIND "${readme}" "```\n\n" end)
math(EXPR start "${start} + 8")
math(EXPR length "${end} - ${start}")
string(SUBSTRING "${readme}" ${start} ${length} quoted)
if(NOT quoted STREQUAL defaults)
  message(FATAL_ERROR "README's settings reference is not what `detector-settings defaults` writes:\n${defaults}")
endif()
