# Installs the three libraries, their public headers under include/ravelin/, the
# CMake package (ravelin::common, ravelin::dat, ravelin::event_bake) and ravelin.pc.
include(CMakePackageConfigHelpers)

# Headers only the libraries' own sources (or their tests) include.
set(ravelin_internal_headers
  common/debug_format.h
  dat/text_decoding.h
  event_bake/bake_core.h
  event_bake/debug_render.h
  event_bake/json_writer.h
  event_bake/number_format.h
  event_bake/shortest_decimal.h
  event_bake/sky_arm.h)

foreach(module common dat dat/file_type event_bake)
  file(GLOB headers RELATIVE ${PROJECT_SOURCE_DIR} CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${module}/*.h)
  list(FILTER headers EXCLUDE REGEX "_test_support\\.h$|_frames\\.h$")
  list(REMOVE_ITEM headers ${ravelin_internal_headers})
  install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ravelin/${module})
endforeach()

install(FILES ${RAVELIN_INCLUDE_ROOT}/ravelin/version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ravelin)
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

configure_file(${PROJECT_SOURCE_DIR}/cmake/ravelin.pc.in ${PROJECT_BINARY_DIR}/ravelin.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ravelin.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
