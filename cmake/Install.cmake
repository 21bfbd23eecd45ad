# Installing the library: the library, its headers, the CMake package and a pkg-config file,
# in the components that the Debian packages are made of (runtime, dev, tool).
install(TARGETS CommonUtility EXPORT CommonUtilityTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(DIRECTORY include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(EXPORT CommonUtilityTargets NAMESPACE CommonUtility::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/CommonUtility COMPONENT dev)
set(COMMONUTILITY_STATIC_DEPENDENCIES "")
if(NOT COMMONUTILITY_SHARED AND NOT WIN32)
  set(COMMONUTILITY_STATIC_DEPENDENCIES "pugixml;SQLite3")
endif()
configure_package_config_file(cmake/CommonUtilityConfig.cmake.in
  ${PROJECT_BINARY_DIR}/CommonUtilityConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/CommonUtility)
# Before 1.0 a minor version may change the binary interface (see COMMONUTILITY_SOVERSION).
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(commonutility_compatibility SameMinorVersion)
else()
  set(commonutility_compatibility SameMajorVersion)
endif()
write_basic_package_version_file(${PROJECT_BINARY_DIR}/CommonUtilityConfigVersion.cmake
  COMPATIBILITY ${commonutility_compatibility})
install(FILES ${PROJECT_BINARY_DIR}/CommonUtilityConfig.cmake
  ${PROJECT_BINARY_DIR}/CommonUtilityConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/CommonUtility COMPONENT dev)

# pkg-config finds the prefix from the file's own place, so an unpacked copy works anywhere.
file(RELATIVE_PATH commonutility_pc_prefix ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" commonutility_pc_prefix "${commonutility_pc_prefix}")
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(commonutility_pc_includedir "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(commonutility_pc_includedir "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(commonutility_pc_libdir "${CMAKE_INSTALL_LIBDIR}")
else()
  set(commonutility_pc_libdir "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(COMMONUTILITY_SHARED)
  set(commonutility_pc_private "")
  set(commonutility_pc_cflags "")
else()
  set(commonutility_pc_private "Requires.private: pugixml sqlite3")
  set(commonutility_pc_cflags " -DCOMMONUTILITY_STATIC")
endif()
configure_file(cmake/commonutility.pc.in ${PROJECT_BINARY_DIR}/commonutility.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/commonutility.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# Debian packages: cpack -G DEB in the build folder. The library's package is named for its
# soname version, as Debian names shared libraries.
if(NOT WIN32)
  set(CPACK_PACKAGE_NAME commonutility)
  set(CPACK_PACKAGE_VENDOR "CommonUtility")
  set(CPACK_PACKAGE_CONTACT "CommonUtility developers <commonutility@localhost>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "C++ utility classes: property lists, content and region documents, log, platform helpers")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL runtime dev tool)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libcommonutility${COMMONUTILITY_SOVERSION})
  set(CPACK_DEBIAN_DEV_PACKAGE_NAME libcommonutility-dev)
  set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_TOOL_PACKAGE_NAME commonutil)
  set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
  set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "CommonUtility shared library")
  set(CPACK_COMPONENT_DEV_DESCRIPTION "CommonUtility headers, CMake package and pkg-config file")
  set(CPACK_COMPONENT_TOOL_DESCRIPTION "commonutil, the command-line tool of CommonUtility")
  if(COMMONUTILITY_SHARED)
    set(CPACK_COMPONENT_DEV_DEPENDS runtime)
    set(CPACK_COMPONENT_TOOL_DEPENDS runtime)
  else()
    # A static archive links the XML and SQLite libraries into its users.
    set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libpugixml-dev, libsqlite3-dev")
  endif()
  include(CPack)
endif()
