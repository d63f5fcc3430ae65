# Installation: headers, the library, a CMake package config and a pkg-config file.
include(CMakePackageConfigHelpers)

install(TARGETS vornix EXPORT vornixTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/vornix DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT vornixTargets NAMESPACE vornix:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vornix)

configure_package_config_file(cmake/vornixConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/vornixConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vornix)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/vornixConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vornixConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/vornixConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vornix)

# A static library brings its private dependencies along.
set(VORNIX_PC_REQUIRES_PRIVATE "")
if(VORNIX_WITH_FFMPEG)
  string(APPEND VORNIX_PC_REQUIRES_PRIVATE " libavcodec libavformat libavutil")
endif()
if(VORNIX_WITH_ALSA)
  string(APPEND VORNIX_PC_REQUIRES_PRIVATE " alsa")
endif()
configure_file(cmake/vornix.pc.in ${CMAKE_CURRENT_BINARY_DIR}/vornix.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vornix.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
