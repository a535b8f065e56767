# Makes the library core installable: `cmake --install build --prefix P`
# puts the headers under P/include/orbelt/<library folder>/, the static
# libraries under P/lib, and a package configuration under
# P/lib/cmake/Orbelt, so that another project writes
#
#   find_package(Orbelt REQUIRED)
#   target_link_libraries(app PRIVATE Orbelt::orbelt)
#
# and includes <orbelt/orbelt.h>, or any header by the path it has here
# ("io/PfmFile.h"): P/include/orbelt is on the include path too.
#
# Included from the top-level CMakeLists.txt after every library exists. A
# library joins the package by being listed below; one that this tree does
# not (yet) build is left out, so the list can name libraries that land later.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ORBELT_PACKAGE_LIBRARIES
    orbelt_platform orbelt_maxflow orbelt_mrf orbelt_ancc
    orbelt_io orbelt_postprocess orbelt_pipeline orbelt_eval)
set(ORBELT_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Orbelt)

# The whole installed core in one name: everything the umbrella header reaches.
add_library(orbelt_package INTERFACE)
set_target_properties(orbelt_package PROPERTIES EXPORT_NAME orbelt)
target_include_directories(orbelt_package INTERFACE
  $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include>
  $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/orbelt>)
add_library(Orbelt::orbelt ALIAS orbelt_package)

set(_installed)
foreach(_library ${ORBELT_PACKAGE_LIBRARIES})
  if(NOT TARGET ${_library})
    continue()
  endif()
  list(APPEND _installed ${_library})
  target_link_libraries(orbelt_package INTERFACE ${_library})
  # Orbelt::platform, Orbelt::io, ... for a consumer that wants one part.
  string(REPLACE "orbelt_" "" _short ${_library})
  set_target_properties(${_library} PROPERTIES EXPORT_NAME ${_short})
  target_include_directories(${_library} INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/orbelt>)
  # The headers of the folder the library is built from, in their folder.
  get_target_property(_folder ${_library} SOURCE_DIR)
  file(RELATIVE_PATH _relative ${CMAKE_SOURCE_DIR} ${_folder})
  install(DIRECTORY ${_folder}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/orbelt/${_relative}
          COMPONENT Development FILES_MATCHING PATTERN "*.h" PATTERN "*.inc")
endforeach()

install(TARGETS ${_installed} orbelt_package EXPORT OrbeltTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
install(FILES ${CMAKE_SOURCE_DIR}/include/orbelt/orbelt.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/orbelt COMPONENT Development)
install(EXPORT OrbeltTargets NAMESPACE Orbelt:: DESTINATION ${ORBELT_INSTALL_CMAKEDIR} COMPONENT Development)

configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/OrbeltConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/OrbeltConfig.cmake
                              INSTALL_DESTINATION ${ORBELT_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/OrbeltConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/OrbeltConfig.cmake ${CMAKE_BINARY_DIR}/OrbeltConfigVersion.cmake
        DESTINATION ${ORBELT_INSTALL_CMAKEDIR} COMPONENT Development)

# The command line as a program of the installed tree (no data folder: it
# takes its images and outputs from the command line).
if(TARGET orbelt-cli)
  install(TARGETS orbelt-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
endif()
