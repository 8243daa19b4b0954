# Installs BUILD_DIR into a fresh prefix, builds the outside project in
# tests/consumer against it with the same compiler and flags (and TOOLCHAIN, if any),
# runs it (through EMULATOR, if any) and checks what it prints.
set(work_dir "${CMAKE_CURRENT_BINARY_DIR}/consumer")
file(REMOVE_RECURSE "${work_dir}")

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGV}\n${output}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${work_dir}/prefix")
set(configure_args -G "${GENERATOR}" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}" "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
                   "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}" "-DCMAKE_PREFIX_PATH=${work_dir}/prefix")
if(TOOLCHAIN)
  list(APPEND configure_args "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}")
endif()
run(${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${work_dir}/build" ${configure_args})
run(${CMAKE_COMMAND} --build "${work_dir}/build")
run(${EMULATOR} "${work_dir}/build/consumer${EXECUTABLE_SUFFIX}")
# Captured output has its line ends made "\n" on every platform.
if(NOT output STREQUAL "audio.bufferSizeMs: must be in [5, 100]; got 0\n")
  message(FATAL_ERROR "unexpected output: \"${output}\"")
endif()
