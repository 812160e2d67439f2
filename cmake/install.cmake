# Installation: headers, shared libraries with their SOVERSION links, CMake
# package (find_package(Varnholt) -> Varnholt::varnholt and, with the
# analysis layer, Varnholt::varnholt_analysis) and pkg-config files.
include(CMakePackageConfigHelpers)

set(varnholt_installed_libraries varnholt)
if(TARGET varnholt_analysis)
  list(APPEND varnholt_installed_libraries varnholt_analysis)
endif()
install(TARGETS ${varnholt_installed_libraries}
  EXPORT VarnholtTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(VARNHOLT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Varnholt)
install(EXPORT VarnholtTargets
  NAMESPACE Varnholt::
  DESTINATION ${VARNHOLT_CMAKE_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VarnholtConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VarnholtConfig.cmake
  INSTALL_DESTINATION ${VARNHOLT_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VarnholtConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/VarnholtConfig.cmake
  ${PROJECT_BINARY_DIR}/VarnholtConfigVersion.cmake
  DESTINATION ${VARNHOLT_CMAKE_DIR})

# The .pc file finds its prefix relative to itself, so an installed tree can
# be moved.
file(RELATIVE_PATH VARNHOLT_PC_TO_PREFIX
  ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
configure_file(${PROJECT_SOURCE_DIR}/cmake/varnholt.pc.in
  ${PROJECT_BINARY_DIR}/varnholt.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/varnholt.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(TARGET varnholt_analysis)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/varnholt_analysis.pc.in
    ${PROJECT_BINARY_DIR}/varnholt_analysis.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/varnholt_analysis.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

# The Python package, on request: its modules, and a link to the installed
# library beside them (the package looks there before the system loader).
if(VARNHOLT_INSTALL_PYTHON)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(VARNHOLT_PYTHON_INSTALL_DIR
    "lib/python${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}/dist-packages"
    CACHE STRING "Where the Python package is installed, relative to the prefix")
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/varnholt
    DESTINATION ${VARNHOLT_PYTHON_INSTALL_DIR}
    FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)
  set(varnholt_python_dir ${CMAKE_INSTALL_PREFIX}/${VARNHOLT_PYTHON_INSTALL_DIR}/varnholt)
  file(RELATIVE_PATH varnholt_python_to_lib ${varnholt_python_dir}
    ${CMAKE_INSTALL_FULL_LIBDIR}/libvarnholt.so.${VARNHOLT_ABI_VERSION})
  install(CODE "file(CREATE_LINK \"${varnholt_python_to_lib}\"
    \"\$ENV{DESTDIR}${varnholt_python_dir}/libvarnholt.so.${VARNHOLT_ABI_VERSION}\" SYMBOLIC)")
  if(TARGET varnholt_analysis)
    file(RELATIVE_PATH varnholt_python_to_analysis ${varnholt_python_dir}
      ${CMAKE_INSTALL_FULL_LIBDIR}/libvarnholt_analysis.so.${VARNHOLT_ABI_VERSION})
    install(CODE "file(CREATE_LINK \"${varnholt_python_to_analysis}\"
      \"\$ENV{DESTDIR}${varnholt_python_dir}/libvarnholt_analysis.so.${VARNHOLT_ABI_VERSION}\" SYMBOLIC)")
  endif()
endif()
