# `cmake --install` puts the headers, the static library and selfcheck under
# the prefix, with a package that consumers load by
# find_package(DetectorSettings CONFIG REQUIRED) and link as DetectorSettings::settings.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/${PROJECT_NAME})
install(TARGETS settings detector_settings_file EXPORT ${PROJECT_NAME}Targets ARCHIVE FILE_SET HEADERS
        FILE_SET generated_headers)
install(TARGETS selfcheck detector-settings RUNTIME)
install(EXPORT ${PROJECT_NAME}Targets NAMESPACE ${PROJECT_NAME}:: DESTINATION ${package_dir})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/package-config.cmake.in
                              ${PROJECT_BINARY_DIR}/${PROJECT_NAME}Config.cmake INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/${PROJECT_NAME}ConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/${PROJECT_NAME}Config.cmake ${PROJECT_BINARY_DIR}/${PROJECT_NAME}ConfigVersion.cmake
        DESTINATION ${package_dir})
