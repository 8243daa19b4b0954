# GoogleTest for the tests: the installed package, or its sources where the
# installed one does not fit (a cross compiler, another standard library).
include(GoogleTest)
if(DEFINED DETECTOR_SETTINGS_GOOGLETEST_SOURCE_DIR AND DETECTOR_SETTINGS_GOOGLETEST_SOURCE_DIR)
  set(BUILD_GMOCK OFF)
  set(INSTALL_GTEST OFF)
  add_subdirectory(${DETECTOR_SETTINGS_GOOGLETEST_SOURCE_DIR} googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()
