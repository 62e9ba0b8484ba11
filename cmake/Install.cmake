# Installation: the public headers, the static libraries with the CMake package
# (find_package(ZQDataLayerRemote CONFIG) gives ZQDataLayerRemote::ZQDataLayerRemote), the
# pkg-config file, zqdl with the sample application it serves, and the Debian package (CPack).
include(CMakePackageConfigHelpers)

set(ZQ_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZQDataLayerRemote)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/platform ${PROJECT_SOURCE_DIR}/ZQDataLayerRemote
  DESTINATION ${ZQ_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.hpp")

install(TARGETS zq_platform zq_foundation zq_objectsmodel zq_datalayer zq_datalayerremote
    ZQDataLayerRemote
  EXPORT ZQDataLayerRemoteTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT ZQDataLayerRemoteTargets
  NAMESPACE ZQDataLayerRemote::
  DESTINATION ${ZQ_CMAKE_PACKAGE_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ZQDataLayerRemoteConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ZQDataLayerRemoteConfig.cmake
  INSTALL_DESTINATION ${ZQ_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZQDataLayerRemoteConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ZQDataLayerRemoteConfig.cmake
    ${PROJECT_BINARY_DIR}/ZQDataLayerRemoteConfigVersion.cmake
  DESTINATION ${ZQ_CMAKE_PACKAGE_DIR})

# Relative to the .pc file, so that any prefix (a temporary one, the package's /usr) works.
file(RELATIVE_PATH ZQ_PC_TO_PREFIX /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
configure_file(${PROJECT_SOURCE_DIR}/cmake/zqdatalayerremote.pc.in
  ${PROJECT_BINARY_DIR}/zqdatalayerremote.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zqdatalayerremote.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS zqdl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/sample-app
  DESTINATION ${CMAKE_INSTALL_DATADIR}/zqdatalayerremote)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zqdatalayerremote-dev)
set(CPACK_PACKAGE_VENDOR "ZQDataLayerRemote")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Online data layer of a mobile application runtime: static libraries, headers and zqdl")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "ZQDataLayerRemote developers <zqdl@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Static libraries: a host links the same libraries, so it needs their development packages.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libcurl4-openssl-dev, libsqlite3-dev, libicu-dev, libsimdjson-dev, libyajl-dev, pkg-config")
include(CPack)
