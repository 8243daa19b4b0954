# detector_settings_coverage_report: line and branch coverage of the product sources from the
# last test run, in a build made with --coverage (the default preset; the
# coverage workflow, after the test workflow). Fails
# below the project's target: every line and branch that can be reached
# without an allocation failure. Branches that only exceptions take are left
# out, as are those the compiler proves unreachable. gcovr 5.2 loses gcov's
# marks of exception edges in lines of template instances, and counts a catch
# clause's pass-through; such lines carry GCOVR_EXCL_BR_LINE. The branches
# of comparisons the compiler writes (= default) and of the visits of the
# table's rows (std::apply, forEachSetting, visitSetting and its test of each
# row: one instance per row), and of a typed publication's hand-over to the
# erased one (shared pointers moved, whose destructors go one way in each
# instance) are left out by pattern, so that public headers carry no marks. The consumer
# tests build the sources again, for their own ends; their counts are left out.
# The watch's tests count from several threads at once: the preset counts
# atomically (-fprofile-update=atomic), or counts would be lost or torn.
find_program(DETECTOR_SETTINGS_GCOVR gcovr)
if(DETECTOR_SETTINGS_GCOVR)
  add_custom_target(detector_settings_coverage_report
                    COMMAND ${DETECTOR_SETTINGS_GCOVR} --root ${PROJECT_SOURCE_DIR} --object-directory ${PROJECT_BINARY_DIR}
                            --exclude-directories "${PROJECT_BINARY_DIR}/tests/consumers/.*"
                            --filter ${PROJECT_SOURCE_DIR}/settings/ --filter ${PROJECT_SOURCE_DIR}/file/
                            --filter ${PROJECT_SOURCE_DIR}/selfcheck/ --filter ${PROJECT_SOURCE_DIR}/command/
                            --exclude ".*_test\\.cpp$" --exclude ".*_test_support\\.(h|cpp)$" --exclude-throw-branches --exclude-unreachable-branches
                            --exclude-branches-by-pattern ".*(= default;|std::apply\\(|forEachSetting\\(|visitSetting\\(|row\\.keyPath == keyPath|row\\.section\\(\\) == section|erased_[.(]).*"
                            --txt - --html-details ${PROJECT_BINARY_DIR}/coverage/index.html --print-summary
                            ${PROJECT_BINARY_DIR}  # the counts to read, from this build alone
                            --fail-under-line 100 --fail-under-branch 100
                    COMMAND ${CMAKE_COMMAND} -E echo "Report: ${PROJECT_BINARY_DIR}/coverage/index.html"
                    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
                    USES_TERMINAL VERBATIM)
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/coverage)
endif()
