# Installation, and the ways a project takes this one:
# - the programs, the libraries and their headers;
# - the CMake package DetectorSettings, with the components settings and file:
#     find_package(DetectorSettings CONFIG REQUIRED COMPONENTS file)
#   installed, and in the build tree (DetectorSettings_DIR=<build tree>);
# - pkg-config files detector-settings and detector-settings-file;
# - CPack: a .deb on Linux, a .zip of the Windows build.
include(CMakePackageConfigHelpers)

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/${PROJECT_NAME})
set(pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS detector_settings_selfcheck detector_settings_command RUNTIME)

# One export set per component, so that a consumer loads what it asks for.
foreach(component IN ITEMS settings file)
  if(component STREQUAL "file")
    set(target detector_settings_file)
  else()
    set(target detector_settings)
  endif()
  set(export_set ${PROJECT_NAME}-${component}-targets)
  install(TARGETS ${target} EXPORT ${export_set} ARCHIVE LIBRARY RUNTIME
          FILE_SET HEADERS FILE_SET generated_headers)
  install(EXPORT ${export_set} NAMESPACE ${PROJECT_NAME}:: DESTINATION ${package_dir})
  export(EXPORT ${export_set} NAMESPACE ${PROJECT_NAME}:: FILE ${PROJECT_BINARY_DIR}/${export_set}.cmake)

  # pkg-config: the library's name carries the debug postfix, so it is known at generation.
  string(REPLACE "_" "-" pkgconfig_name ${target})
  set(static_define)
  if(NOT BUILD_SHARED_LIBS)
    string(TOUPPER "-D${target}_STATIC_DEFINE" static_define)
  endif()
  set(requires)
  if(component STREQUAL "file")
    set(requires "Requires: detector-settings = ${PROJECT_VERSION}\n")
  endif()
  file(RELATIVE_PATH prefix_from_pkgconfig ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
  file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/pkgconfig/${pkgconfig_name}.pc
       CONTENT "prefix=\${pcfiledir}/${prefix_from_pkgconfig}
libdir=\${prefix}/${CMAKE_INSTALL_LIBDIR}
includedir=\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}

Name: ${pkgconfig_name}
Description: ${PROJECT_DESCRIPTION} (${component})
Version: ${PROJECT_VERSION}
${requires}Libs: -L\${libdir} -l$<TARGET_LINKER_FILE_BASE_NAME:${target}>
Cflags: -I\${includedir} ${static_define}
")
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${pkgconfig_name}.pc DESTINATION ${pkgconfig_dir})
endforeach()

# The same configuration file serves the install and the build tree: it finds
# the targets beside itself.
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/package-config.cmake.in
                              ${PROJECT_BINARY_DIR}/${PROJECT_NAME}Config.cmake INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/${PROJECT_NAME}ConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/${PROJECT_NAME}Config.cmake ${PROJECT_BINARY_DIR}/${PROJECT_NAME}ConfigVersion.cmake
        DESTINATION ${package_dir})

set(CPACK_PACKAGE_NAME detector-settings)
set(CPACK_PACKAGE_VENDOR "Audio-event detector project")
set(CPACK_PACKAGE_CONTACT "Detector settings maintainers <detector-settings@invalid.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x86_64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  # Dependencies on shared libraries, where there are any, come from dpkg-shlibdeps.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ${BUILD_SHARED_LIBS})
  if(DETECTOR_SETTINGS_PYTHON)
    # The Python package is built for one version of Python.
    math(EXPR next_minor "${Python3_VERSION_MINOR} + 1")
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
        "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}), python3 (<< ${Python3_VERSION_MAJOR}.${next_minor})")
  endif()
endif()
include(CPack)
