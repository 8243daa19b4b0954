# The Python package (python/): on at top level when Python's headers and
# pybind11 are found (Debian: python3-dev, pybind11-dev); a parent switches it
# on by setting DETECTOR_SETTINGS_PYTHON. Debian's own Python comes first, as
# its packages (pytest, mypy) are the ones the tests use. Cross builds have no
# Python of the target to build for.
set(python_found OFF)
if(NOT CMAKE_CROSSCOMPILING AND (PROJECT_IS_TOP_LEVEL OR DETECTOR_SETTINGS_PYTHON))
  if(NOT DEFINED Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
    set(Python3_EXECUTABLE /usr/bin/python3)
  endif()
  find_package(Python3 COMPONENTS Interpreter Development.Module)
  set(PYBIND11_FINDPYTHON ON)
  find_package(pybind11 CONFIG QUIET)
  if(Python3_FOUND AND pybind11_FOUND)
    set(python_found ON)
  endif()
endif()
detector_settings_option(DETECTOR_SETTINGS_PYTHON "Build the Python package detector_settings (pybind11)" ${python_found})
if(DETECTOR_SETTINGS_PYTHON AND DETECTOR_SETTINGS_INSTALL)
  # Python3_SITEARCH below the prefix: with the prefix /usr, where Debian's
  # Python looks (/usr/lib/python3/dist-packages).
  execute_process(COMMAND ${Python3_EXECUTABLE} -c "import sys; print(sys.prefix)" OUTPUT_VARIABLE python_prefix
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  file(RELATIVE_PATH python_dir ${python_prefix} ${Python3_SITEARCH})
  set(DETECTOR_SETTINGS_PYTHON_DIR ${python_dir} CACHE STRING "Where the Python package goes, below the prefix")
endif()

# What a Python program run by the tests needs to import the package from the
# build tree; under the sanitizers, their runtime first, as Python itself is
# not built with them, and the C++ runtime with it, whose exceptions the
# sanitizer must find when it starts. Python's own allocations are not freed
# at exit: leaks are not looked for.
set(detector_settings_python_environment PYTHONPATH=${PROJECT_BINARY_DIR}/python)
if(CMAKE_CXX_FLAGS MATCHES "sanitize=address")
  set(runtimes)
  foreach(runtime IN ITEMS libasan.so libstdc++.so)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime} OUTPUT_VARIABLE path
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    list(APPEND runtimes ${path})
  endforeach()
  list(JOIN runtimes ":" preload)
  list(APPEND detector_settings_python_environment LD_PRELOAD=${preload} ASAN_OPTIONS=detect_leaks=0)
endif()
