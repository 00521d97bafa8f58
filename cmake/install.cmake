# Installs, by component (`cmake --install BUILD --component NAME`; without one,
# every component whose files were built):
#   dev    the three C++ libraries, the public headers (include/ravelin/ as it is),
#          the CMake package (ravelin::common, ravelin::dat, ravelin::event_bake) and ravelin.pc;
#   c      libravelin.so, include/ravelin/ravelin.h, ravelin::c in the same package and ravelin-c.pc;
#   tools  ravelin-bake (and determinism_100x), from their own directories;
#   python the Python package, from python/.
# The package's two export sets are installed apart, so that the C library alone
# makes a package that finds ravelin::c without the C++ libraries beside it.
include(CMakePackageConfigHelpers)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ravelin DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(FILES ${RAVELIN_GENERATED_INCLUDE}/ravelin/version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ravelin
  COMPONENT dev)
install(TARGETS ravelin_common ravelin_dat ravelin_event_bake EXPORT ravelin-targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
set(ravelin_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/ravelin)
install(EXPORT ravelin-targets NAMESPACE ravelin:: DESTINATION ${ravelin_cmake_dir} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ravelin-config.cmake.in
  ${PROJECT_BINARY_DIR}/ravelin-config.cmake INSTALL_DESTINATION ${ravelin_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ravelin-config-version.cmake
  COMPATIBILITY SameMinorVersion)
foreach(component dev c)
  install(FILES ${PROJECT_BINARY_DIR}/ravelin-config.cmake ${PROJECT_BINARY_DIR}/ravelin-config-version.cmake
    DESTINATION ${ravelin_cmake_dir} COMPONENT ${component})
endforeach()

# pkg-config paths: below ${prefix} for relative install dirs, as given for absolute ones.
# ${prefix} is found from the .pc file's own place, so an install moved or made
# with `cmake --install --prefix` elsewhere than configured still points at itself.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(RAVELIN_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH ravelin_pc_up "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  string(REGEX REPLACE "/$" "" ravelin_pc_up "${ravelin_pc_up}")
  set(RAVELIN_PC_PREFIX "\${pcfiledir}/${ravelin_pc_up}")
endif()
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(RAVELIN_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(RAVELIN_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/ravelin.pc.in ${PROJECT_BINARY_DIR}/ravelin.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ravelin.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# libravelin.so, the C interface: ravelin::c in the same package, and ravelin-c.pc.
if(TARGET ravelin_c)
  install(TARGETS ravelin_c EXPORT ravelin-c-targets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT c NAMELINK_COMPONENT c)
  install(EXPORT ravelin-c-targets NAMESPACE ravelin:: DESTINATION ${ravelin_cmake_dir} COMPONENT c)
  install(FILES ${PROJECT_SOURCE_DIR}/include/ravelin/ravelin.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ravelin
    COMPONENT c)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/ravelin-c.pc.in ${PROJECT_BINARY_DIR}/ravelin-c.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/ravelin-c.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT c)
endif()
