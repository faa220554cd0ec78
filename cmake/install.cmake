# What a release holds: the library, its header, what links against it (import
# libraries, pkg-config file, CMake package), the monitor, and the docs.
include(CMakePackageConfigHelpers)

install(TARGETS VesprineDovetide EXPORT VesprineDovetideTargets
  RUNTIME DESTINATION bin
  LIBRARY DESTINATION lib
  ARCHIVE DESTINATION lib
  INCLUDES DESTINATION include)
install(FILES include/VesprineDovetide.h DESTINATION include)

if(WIN32)
  install(FILES src/VesprineDovetide.def ${CMAKE_BINARY_DIR}/VesprineDovetide.lib DESTINATION lib)
else()
  configure_file(cmake/VesprineDovetide.pc.in VesprineDovetide.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/VesprineDovetide.pc DESTINATION lib/pkgconfig)
endif()

install(EXPORT VesprineDovetideTargets NAMESPACE VesprineDovetide:: DESTINATION lib/cmake/VesprineDovetide)
math(EXPR VESPRINE_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
configure_package_config_file(cmake/VesprineDovetideConfig.cmake.in VesprineDovetideConfig.cmake
  INSTALL_DESTINATION lib/cmake/VesprineDovetide)
# The architecture is checked by the config file, which can say what is wrong;
# the version file's own check would only list the package as unsuitable.
write_basic_package_version_file(VesprineDovetideConfigVersion.cmake COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES ${CMAKE_BINARY_DIR}/VesprineDovetideConfig.cmake ${CMAKE_BINARY_DIR}/VesprineDovetideConfigVersion.cmake
  DESTINATION lib/cmake/VesprineDovetide)

install(FILES README.md DESTINATION share/doc/VesprineDovetide)
# The README's links and pictures point into docs/.
install(FILES docs/monitor.md docs/protocol.md docs/library.md docs/reliability.md docs/performance.md
              docs/demo.png docs/timeline.png
        DESTINATION share/doc/VesprineDovetide/docs)
install(FILES docs/fonts/README.md docs/fonts/DejaVu-LICENSE.txt docs/fonts/IPAGothic-LICENSE.txt
        DESTINATION share/doc/VesprineDovetide/fonts)
install(FILES examples/demo.c examples/demo_scene.h examples/visual_test.sh examples/demo.py examples/test_demo.py
              examples/Demo.cs
        DESTINATION share/doc/VesprineDovetide/examples)

# The bindings: the C# source, and this platform's Python wheel, which
# ./build.sh package builds into the build folder before the archive.
install(FILES bindings/csharp/VesprineDovetide.cs DESTINATION bindings/csharp)
install(DIRECTORY ${CMAKE_BINARY_DIR}/wheel/ DESTINATION bindings/python OPTIONAL)

set(CPACK_PACKAGE_NAME VesprineDovetide)
set(CPACK_PACKAGE_VENDOR "The VesprineDovetide developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Client library for the VesprineDovetide display host")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
else()
  set(CPACK_GENERATOR TGZ)
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_PACKAGE_FILE_NAME VesprineDovetide-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
