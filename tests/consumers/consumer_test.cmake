# Builds and runs a consumer of the package the way MODE says, with the
# compiler, flags and toolchain of the build under test, and checks what it prints:
#   installed_static  find_package of BUILD_DIR installed into a fresh prefix
#   build_tree        find_package of BUILD_DIR itself (DetectorSettings_DIR)
#   installed_shared  find_package of a shared build of SOURCE_DIR, installed; the
#                     installed programs must also run, finding the libraries
#   pkg_config        a plain compiler command line with pkg-config's flags
#   subproject        add_subdirectory from a parent with its own run and settings
#                     targets, built with -Weffc++, linking into a shared library
#   fetch_content     FetchContent from a clone of SOURCE_DIR
# Programs run through EMULATOR, when one is given.
set(work_dir "${WORK_DIR}/${MODE}")
file(REMOVE_RECURSE "${work_dir}")
set(consumers "${SOURCE_DIR}/tests/consumers")
configure_file("${consumers}/expected_output.txt" "${work_dir}/expected_output.txt" @ONLY)
file(READ "${work_dir}/expected_output.txt" expected_output)

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGV}\n${output}${errors}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

# Flags only where the build under test has some: an empty value would also
# replace the toolchain's defaults.
set(build_options -G "${GENERATOR}" "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}")
foreach(flags IN ITEMS CXX_FLAGS EXE_LINKER_FLAGS SHARED_LINKER_FLAGS)
  if(NOT "${${flags}}" STREQUAL "")
    list(APPEND build_options "-DCMAKE_${flags}=${${flags}}")
  endif()
endforeach()
if(TOOLCHAIN)
  list(APPEND build_options "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}")
endif()

# Configures, builds and runs the consumer project in <project>; its output must be the expected one.
function(build_and_run_consumer project)
  run(${CMAKE_COMMAND} -S "${consumers}/${project}" -B "${work_dir}/consumer" ${build_options} ${ARGN})
  run(${CMAKE_COMMAND} --build "${work_dir}/consumer")
  run(${EMULATOR} "${work_dir}/consumer/consumer${EXECUTABLE_SUFFIX}")
  # Captured output has its line ends made "\n" on every platform.
  if(NOT output STREQUAL expected_output)
    message(FATAL_ERROR "the consumer printed:\n${output}\ninstead of:\n${expected_output}")
  endif()
endfunction()

if(MODE STREQUAL "installed_static" OR MODE STREQUAL "pkg_config")
  run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${work_dir}/prefix")
endif()

if(MODE STREQUAL "installed_static")
  build_and_run_consumer(package "-DCMAKE_PREFIX_PATH=${work_dir}/prefix")

elseif(MODE STREQUAL "build_tree")
  build_and_run_consumer(package "-DDetectorSettings_DIR=${BUILD_DIR}")

elseif(MODE STREQUAL "installed_shared")
  run(${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${work_dir}/build" ${build_options} -DBUILD_SHARED_LIBS=ON
      -DBUILD_TESTING=OFF -DDETECTOR_SETTINGS_DEVELOPER_TARGETS=OFF -DDETECTOR_SETTINGS_PYTHON=OFF)
  run(${CMAKE_COMMAND} --build "${work_dir}/build")
  run(${CMAKE_COMMAND} --install "${work_dir}/build" --prefix "${work_dir}/prefix")
  build_and_run_consumer(package "-DCMAKE_PREFIX_PATH=${work_dir}/prefix")
  # The installed programs find the installed shared libraries on their own.
  run(${EMULATOR} "${work_dir}/prefix/bin/detector-settings${EXECUTABLE_SUFFIX}" --version)
  if(NOT output MATCHES "^detector-settings ")
    message(FATAL_ERROR "the installed detector-settings printed \"${output}\"")
  endif()
  run(${EMULATOR} "${work_dir}/prefix/bin/selfcheck${EXECUTABLE_SUFFIX}")
  file(GLOB shared_libraries "${work_dir}/prefix/lib*/*${CMAKE_SHARED_LIBRARY_SUFFIX}*"
       "${work_dir}/prefix/bin/*.dll")
  if(NOT shared_libraries)
    message(FATAL_ERROR "the shared build installed no shared library")
  endif()

elseif(MODE STREQUAL "pkg_config")
  file(GLOB pkgconfig_dir LIST_DIRECTORIES true "${work_dir}/prefix/lib*/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "${pkgconfig_dir}")
  run(${PKG_CONFIG} --cflags --libs detector-settings-file)
  separate_arguments(package_flags UNIX_COMMAND "${output}")
  separate_arguments(compiler_flags UNIX_COMMAND "${CXX_FLAGS} ${EXE_LINKER_FLAGS}")
  file(MAKE_DIRECTORY "${work_dir}/consumer")
  run(${CXX_COMPILER} -std=c++20 ${compiler_flags} "${consumers}/main.cpp" "${consumers}/report.cpp" ${package_flags}
      -o "${work_dir}/consumer/consumer${EXECUTABLE_SUFFIX}")
  run("${work_dir}/consumer/consumer${EXECUTABLE_SUFFIX}")
  if(NOT output STREQUAL expected_output)
    message(FATAL_ERROR "the consumer printed:\n${output}\ninstead of:\n${expected_output}")
  endif()

elseif(MODE STREQUAL "subproject")
  build_and_run_consumer(subproject "-DPACKAGE_SOURCE_DIR=${SOURCE_DIR}"
                         "-DCMAKE_CXX_FLAGS=${CXX_FLAGS} -Weffc++")
  # The parent's own run target is the one that runs.
  run(${CMAKE_COMMAND} --build "${work_dir}/consumer" --target run)
  if(NOT output MATCHES "the parent run target")
    message(FATAL_ERROR "the parent's run target did not run:\n${output}")
  endif()
  # Nothing of the package's in the parent's cache, and no CTest targets.
  # Only CMake's own entries and the parent's may be there; project() records
  # every project's folders.
  file(STRINGS "${work_dir}/consumer/CMakeCache.txt" cache REGEX "^[A-Za-z_]")
  list(FILTER cache EXCLUDE REGEX "^_?CMAKE_|^PACKAGE_SOURCE_DIR:|^SubprojectConsumer_")
  list(FILTER cache EXCLUDE REGEX "^DetectorSettings_(BINARY_DIR|SOURCE_DIR|IS_TOP_LEVEL):STATIC=")
  # find_package records where it found the libraries the package compiles in.
  list(FILTER cache EXCLUDE REGEX "^(tomlplusplus|utf8cpp)_DIR:PATH=")
  if(cache)
    message(FATAL_ERROR "the package put entries into the parent's cache: ${cache}")
  endif()
  run(${CMAKE_COMMAND} --build "${work_dir}/consumer" --target help)
  if(output MATCHES "Experimental|Nightly|Continuous")
    message(FATAL_ERROR "CTest targets appeared in the parent:\n${output}")
  endif()

elseif(MODE STREQUAL "fetch_content")
  run(git rev-parse HEAD WORKING_DIRECTORY "${SOURCE_DIR}")
  string(STRIP "${output}" commit)
  build_and_run_consumer(fetch_content "-DDETECTOR_SETTINGS_REPOSITORY=${SOURCE_DIR}"
                         "-DDETECTOR_SETTINGS_COMMIT=${commit}")

else()
  message(FATAL_ERROR "unknown MODE ${MODE}")
endif()
