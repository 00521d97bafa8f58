# Installs the three libraries, the public headers (include/ravelin/ as it is),
# the CMake package (ravelin::common, ravelin::dat, ravelin::event_bake) and ravelin.pc.
include(CMakePackageConfigHelpers)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ravelin DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${RAVELIN_GENERATED_INCLUDE}/ravelin/version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ravelin)
install(TARGETS ravelin_common ravelin_dat ravelin_event_bake EXPORT ravelin-targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
set(ravelin_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/ravelin)
install(EXPORT ravelin-targets NAMESPACE ravelin:: DESTINATION ${ravelin_cmake_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ravelin-config.cmake.in
  ${PROJECT_BINARY_DIR}/ravelin-config.cmake INSTALL_DESTINATION ${ravelin_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ravelin-config-version.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ravelin-config.cmake ${PROJECT_BINARY_DIR}/ravelin-config-version.cmake
  DESTINATION ${ravelin_cmake_dir})

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
install(FILES ${PROJECT_BINARY_DIR}/ravelin.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# libravelin.so, the C interface: ravelin::c in the same package, and ravelin-c.pc.
if(TARGET ravelin_c)
  install(TARGETS ravelin_c EXPORT ravelin-targets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/ravelin-c.pc.in ${PROJECT_BINARY_DIR}/ravelin-c.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/ravelin-c.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()
