# Installation and packaging. `cmake --install` puts in the prefix:
#   lib/libkvdib.a, lib/libkvdib_platform.a     the library and the platform layer below it
#   include/kvdib/{image,platform}/...           the public headers, keeping their folders
#   lib/cmake/kvdib/                             kvdibConfig.cmake: find_package(kvdib CONFIG)
#                                                gives the imported target kvdib::kvdib
#   lib/pkgconfig/kvdib.pc                       the same for pkg-config
#   bin/kvdib                                    the tool (its man page: cli/)
#   lib/kvdib/vxakvdib.so                        the native plug-in module
#   <site directory>/kvdib/                      the Python package (python/CMakeLists.txt)
# and `cpack -G DEB` in the build directory makes a Debian package of all of it.
#
# The headers include each other from the source root ("platform/core/Exceptions.h"), so
# the installed interface has both include/ (for <kvdib/image/KvDIB.h>) and include/kvdib
# (for those includes) on the consumer's path.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KVDIB_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kvdib)
set(KVDIB_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/kvdib)

target_include_directories(kvdib_platform INTERFACE
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/kvdib>)
target_compile_features(kvdib_platform PUBLIC cxx_std_20)
set_target_properties(kvdib_platform PROPERTIES EXPORT_NAME platform)
install(TARGETS kvdib kvdib_platform EXPORT kvdibTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
foreach(layer image platform)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${layer}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kvdib/${layer}
          FILES_MATCHING PATTERN "*.h")
endforeach()

install(EXPORT kvdibTargets NAMESPACE kvdib:: DESTINATION ${KVDIB_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kvdibConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kvdibConfig.cmake INSTALL_DESTINATION ${KVDIB_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kvdibConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kvdibConfig.cmake ${PROJECT_BINARY_DIR}/kvdibConfigVersion.cmake
        DESTINATION ${KVDIB_CMAKE_DIR})

# pkg-config: the prefix found from the .pc file's own place, so the tree can move.
file(RELATIVE_PATH KVDIB_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" KVDIB_PC_TO_PREFIX "${KVDIB_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/kvdib.pc.in ${PROJECT_BINARY_DIR}/kvdib.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kvdib.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(TARGET kvdib-cli)
  install(TARGETS kvdib-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET vxakvdib AND NOT WIN32)
  install(TARGETS vxakvdib LIBRARY DESTINATION ${KVDIB_PLUGIN_DIR})
endif()

# The installed tree and the Debian package, checked by building consumers against them.
if(KVDIB_TESTS AND TARGET kvdib-cli)
  set(KVDIB_CONSUMER_FLAGS "")
  if(KVDIB_SANITIZE)
    set(KVDIB_CONSUMER_FLAGS "-fsanitize=address,undefined")
  endif()
  set(KVDIB_HAVE_PLUGIN 0)
  if(TARGET vxakvdib)
    set(KVDIB_HAVE_PLUGIN 1)
  endif()
  set(KVDIB_PACKAGE_PYTHON "")
  if(TARGET kvdib_python)
    set(KVDIB_PACKAGE_PYTHON ${Python3_EXECUTABLE})
  endif()
  add_test(NAME package.install
           COMMAND ${PROJECT_SOURCE_DIR}/tests/package/check_package.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR}
                   ${CMAKE_CXX_COMPILER} "${KVDIB_CONSUMER_FLAGS}" ${KVDIB_HAVE_PLUGIN} ${KVDIB_PACKAGE_PYTHON})
  set_tests_properties(package.install PROPERTIES TIMEOUT 600 ENVIRONMENT "KVDIB_PRELOAD=${KVDIB_ASAN_RUNTIME}")
endif()

set(CPACK_PACKAGE_NAME kvdib)
set(CPACK_PACKAGE_VENDOR "kvdib")
set(CPACK_PACKAGE_CONTACT "kvdib developers <kvdib@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Device-independent bitmaps: exact colour reduction and conversion (library, tool, Python module)")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# The tool and the modules link libpng, libjpeg and the C++ runtime: dpkg-shlibdeps finds
# the exact versions where it is installed (dpkg-dev). The Python package wants the
# interpreter it was built for, and numpy.
find_program(KVDIB_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(KVDIB_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6, libpng16-16, libjpeg62-turbo")
endif()
if(TARGET kvdib_python)
  math(EXPR KVDIB_PYTHON_NEXT "${KVDIB_PYTHON_MINOR} + 1")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3 (>= ${KVDIB_PYTHON_MAJOR}.${KVDIB_PYTHON_MINOR}), \
python3 (<< ${KVDIB_PYTHON_MAJOR}.${KVDIB_PYTHON_NEXT}), python3-numpy")
endif()
include(CPack)
