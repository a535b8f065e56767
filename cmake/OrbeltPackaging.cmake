# The programs as a system installs them, and a Debian package of the whole
# install tree:
#
#   cpack -G DEB        (in the build folder) -> orbelt_<version>_amd64.deb
#
# The package holds orbelt-cli, the dialog program with its desktop entry
# and its icon in the hicolor theme, manual pages made from --help, the
# default pair under share/orbelt/data, and the library's headers, static
# libraries and CMake package (cmake/OrbeltInstall.cmake), all under /usr.
# Its dependencies are Debian package names found by dpkg-shlibdeps from the
# programs' shared libraries; the development packages a consumer of the
# CMake package builds against are recommended.
#
# Included from the top-level CMakeLists.txt after OrbeltInstall.cmake.
include(GNUInstallDirs)

if(TARGET orbelt)
  install(TARGETS orbelt RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
  install(FILES ${CMAKE_SOURCE_DIR}/app/resources/orbelt.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT Runtime)
  foreach(_size 16 24 32 48 64 256)
    install(FILES ${CMAKE_SOURCE_DIR}/app/resources/icons/orbelt-${_size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps RENAME orbelt.png
            COMPONENT Runtime)
  endforeach()
endif()
# The default pair, so `cd /usr/share/orbelt && orbelt-cli -o ~/map.png` runs
# as it does in a checkout.
install(FILES ${CMAKE_SOURCE_DIR}/data/Img0.png ${CMAKE_SOURCE_DIR}/data/Img1.png
              ${CMAKE_SOURCE_DIR}/data/Img0-disparity.pfm
        DESTINATION ${CMAKE_INSTALL_DATADIR}/orbelt/data COMPONENT Runtime)

# Manual pages from each program's --help and --version (Debian's help2man),
# compressed as Debian installs them. Left out, with a note, without help2man.
find_program(ORBELT_HELP2MAN help2man)
find_program(ORBELT_GZIP gzip)
if(ORBELT_HELP2MAN AND ORBELT_GZIP)
  set(_pages)
  set(_name_orbelt-cli "compute and score dense disparity maps of rectified colour stereo pairs")
  set(_name_orbelt "desktop dialog that computes a dense disparity map of a rectified colour stereo pair")
  foreach(_program orbelt-cli orbelt)
    if(NOT TARGET ${_program})
      continue()
    endif()
    set(_page ${CMAKE_BINARY_DIR}/man/${_program}.1)
    add_custom_command(OUTPUT ${_page}.gz
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
                       COMMAND ${ORBELT_HELP2MAN} --no-info --section 1 --name ${_name_${_program}} --output ${_page}
                               $<TARGET_FILE:${_program}>
                       COMMAND ${ORBELT_GZIP} -9 -n -f ${_page}
                       DEPENDS ${_program} VERBATIM)
    list(APPEND _pages ${_page}.gz)
  endforeach()
  add_custom_target(orbelt_man_pages ALL DEPENDS ${_pages})
  install(FILES ${_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Runtime)
else()
  message(STATUS "Manual pages: left out (needs help2man and gzip)")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orbelt)
set(CPACK_PACKAGE_VENDOR "Orbelt")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "dense disparity maps from rectified colour stereo pairs")
# One string (a CMake list would join its parts with ';'); CPack puts the
# summary above it and indents it as the control file wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Orbelt matches windows of the two views with adaptive normalized\ncross-correlation and \
minimises a grid Markov-random-field energy over the\ndisparity labels with alpha-expansion. \
It comes as a desktop dialog\n(orbelt), a command-line program (orbelt-cli) and a C++ library \
with its\nheaders and CMake package (find_package(Orbelt)).")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Orbelt developers <orbelt@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libopencv-dev, libopencv-contrib-dev")
# One package holding every component.
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)
