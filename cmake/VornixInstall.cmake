# Installation: the headers, the library as a shared library and as an archive, a CMake
# package config, a pkg-config file, and the vornix program with its man page and bash
# completion.
#
# Both kinds of library are installed, as distributions ship them: the tree's own programs
# and tests link the kind BUILD_SHARED_LIBS names, and a twin of the other kind is linked
# from the same object files (one more link, no second compile). A consumer gets the
# shared library unless it asks for the archive: the linker takes libvornix.so before
# libvornix.a, and vornix::vornix is the shared target.
#
# Install components, for an install of one kind only:
#   Devel    headers, vornix.pc, the package config
#   Shared   libvornix.so and its imported target (vornix::vornix_shared)
#   Static   libvornix.a and its imported target (vornix::vornix_static)
#   Program  the vornix program, its man page and its bash completion
include(CMakePackageConfigHelpers)

# ---------------------------------------------------------------- the two libraries

# The twin links what the library links. Those imported targets were made in src/ and are
# visible only there, so they are found again here under the same names, which the
# exported targets and the package config use too.
if(VORNIX_WITH_FFMPEG)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(VORNIX_FFMPEG REQUIRED IMPORTED_TARGET libavcodec libavformat libavutil)
endif()
if(VORNIX_WITH_ALSA)
  find_package(ALSA REQUIRED)
endif()

if(BUILD_SHARED_LIBS)
  set(vornix_twin vornix_static)
  add_library(${vornix_twin} STATIC $<TARGET_OBJECTS:vornix>)
  set_target_properties(vornix PROPERTIES EXPORT_NAME vornix_shared)
  set_target_properties(${vornix_twin} PROPERTIES EXPORT_NAME vornix_static)
  set(vornix_shared_target vornix)
  set(vornix_static_target ${vornix_twin})
else()
  set(vornix_twin vornix_shared)
  add_library(${vornix_twin} SHARED $<TARGET_OBJECTS:vornix>)
  set_target_properties(vornix PROPERTIES EXPORT_NAME vornix_static)
  set_target_properties(${vornix_twin} PROPERTIES EXPORT_NAME vornix_shared)
  set(vornix_shared_target ${vornix_twin})
  set(vornix_static_target vornix)
endif()
set_target_properties(${vornix_twin} PROPERTIES
  OUTPUT_NAME vornix
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
  POSITION_INDEPENDENT_CODE ON)
target_include_directories(${vornix_twin} PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_compile_features(${vornix_twin} PUBLIC cxx_std_20)
if(VORNIX_WITH_FFMPEG)
  target_link_libraries(${vornix_twin} PRIVATE PkgConfig::VORNIX_FFMPEG)
endif()
if(VORNIX_WITH_ALSA)
  target_link_libraries(${vornix_twin} PRIVATE ALSA::ALSA)
endif()
# Whatever the build adds for linking the library (a fuzz build's sanitizer runtimes).
get_target_property(vornix_link_options vornix INTERFACE_LINK_OPTIONS)
if(vornix_link_options)
  target_link_options(${vornix_twin} PRIVATE ${vornix_link_options} INTERFACE ${vornix_link_options})
endif()

set(vornix_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/vornix)
install(TARGETS ${vornix_shared_target} EXPORT vornixSharedTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Shared NAMELINK_COMPONENT Shared
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Shared
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS ${vornix_static_target} EXPORT vornixStaticTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Static
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT vornixSharedTargets NAMESPACE vornix:: DESTINATION ${vornix_cmake_dir} COMPONENT Shared)
install(EXPORT vornixStaticTargets NAMESPACE vornix:: DESTINATION ${vornix_cmake_dir} COMPONENT Static)

install(DIRECTORY include/vornix DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Devel)
install(FILES ${PROJECT_BINARY_DIR}/include/vornix/Version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vornix
  COMPONENT Devel)

configure_package_config_file(cmake/vornixConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/vornixConfig.cmake
  INSTALL_DESTINATION ${vornix_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/vornixConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vornixConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/vornixConfigVersion.cmake
  DESTINATION ${vornix_cmake_dir} COMPONENT Devel)

# ---------------------------------------------------------------- pkg-config

# Relocatable: the prefix is found from where the .pc file lies (${pcfiledir}), so the
# tree installed with any --prefix, or moved afterwards, still describes itself. Only
# absolute install directories are written as they are.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(VORNIX_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(VORNIX_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(VORNIX_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH vornix_pc_up "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  string(REGEX REPLACE "/$" "" vornix_pc_up "${vornix_pc_up}")
  set(VORNIX_PC_PREFIX "\${pcfiledir}/${vornix_pc_up}")
  set(VORNIX_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(VORNIX_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
# Linking the shared library needs -lvornix alone; the archive needs what the library was
# built against, which `pkg-config --static` adds from Requires.private.
set(VORNIX_PC_REQUIRES_PRIVATE "")
if(VORNIX_WITH_FFMPEG)
  string(APPEND VORNIX_PC_REQUIRES_PRIVATE " libavcodec libavformat libavutil")
endif()
if(VORNIX_WITH_ALSA)
  string(APPEND VORNIX_PC_REQUIRES_PRIVATE " alsa")
endif()
configure_file(cmake/vornix.pc.in ${CMAKE_CURRENT_BINARY_DIR}/vornix.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vornix.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Devel)

# ---------------------------------------------------------------- the program's documents

# The man page is made from the program's own help by help2man at build time.
option(VORNIX_BUILD_MAN "Build and install the vornix man page (needs help2man)" ON)
if(VORNIX_BUILD_MAN)
  find_program(VORNIX_HELP2MAN help2man)
  if(NOT VORNIX_HELP2MAN)
    message(FATAL_ERROR "help2man not found: install help2man (scripts/install-deps.sh) "
                        "or configure with -DVORNIX_BUILD_MAN=OFF")
  endif()
  set(vornix_man ${PROJECT_BINARY_DIR}/man/vornix.1)
  add_custom_command(OUTPUT ${vornix_man}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    # A sanitizer build's program is run here only for its help; its leak report at exit
    # belongs to the test suites, not to the page.
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
            sh ${PROJECT_SOURCE_DIR}/tools/man/make-man-page.sh $<TARGET_FILE:vornix_cli> ${vornix_man}
    DEPENDS vornix_cli ${PROJECT_SOURCE_DIR}/tools/man/make-man-page.sh
    COMMENT "Writing the vornix man page"
    VERBATIM)
  add_custom_target(vornix_man ALL DEPENDS ${vornix_man})
  install(FILES ${vornix_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Program)
endif()
# bash-completion looks for completions here under any prefix it is told of.
install(FILES tools/completion/vornix.bash RENAME vornix
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT Program)

# ---------------------------------------------------------------- the package test

# Installs into a scratch prefix and builds the README's example against it with
# find_package and with pkg-config, shared and static. A sanitizer or fuzz build's library
# needs its runtimes in whatever links it, which a consumer of the package does not have,
# so those builds leave the test out.
if(VORNIX_BUILD_TESTS AND VORNIX_SANITIZE STREQUAL "" AND NOT VORNIX_FUZZ)
  add_test(NAME PackageInstall.FindPackageAndPkgConfigSharedAndStatic
    COMMAND ${CMAKE_COMMAND}
      -DVORNIX_BUILD_DIR=${PROJECT_BINARY_DIR}
      -DVORNIX_SOURCE_DIR=${PROJECT_SOURCE_DIR}
      -DVORNIX_CXX=${CMAKE_CXX_COMPILER}
      -DVORNIX_GENERATOR=${CMAKE_GENERATOR}
      -DVORNIX_INSTALL_LIBDIR=${CMAKE_INSTALL_LIBDIR}
      -DVORNIX_CONFIG=$<CONFIG>
      -P ${PROJECT_SOURCE_DIR}/cmake/PackageTest.cmake)
  set_tests_properties(PackageInstall.FindPackageAndPkgConfigSharedAndStatic PROPERTIES TIMEOUT 300)
endif()
