# Fails when OBJECT, a compiled driver, has a static initialiser of its own or
# calls a flush. Including <iostream> gives an object file both: a static
# initialiser that builds the standard streams and, through std::endl, a flush.
# NM is the toolchain's nm. GCC and Clang name a file's static initialiser
# _GLOBAL__sub_I_<name>; coverage instrumentation adds one without that prefix.
execute_process(COMMAND ${NM} ${OBJECT} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} ${OBJECT} failed: ${status}")
endif()
if(symbols MATCHES "(_GLOBAL__sub_I_[A-Za-z_0-9.]*)")
  message(SEND_ERROR "${OBJECT} has a static initialiser: ${CMAKE_MATCH_1}")
endif()
if(symbols MATCHES " U ([A-Za-z_0-9]*flush[A-Za-z_0-9]*)")
  message(SEND_ERROR "${OBJECT} calls a flush: ${CMAKE_MATCH_1}")
endif()
