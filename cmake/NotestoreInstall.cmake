# What `cmake --install` puts under the prefix, how other builds find it
# (pkg-config and a CMake package) and how `cpack -G DEB` packs it.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(NOTESTORE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/notestore)

# Each library's header has a folder of its own, so that callers include it
# by the same name as inside this tree ("notestore.h").
set_target_properties(notestore PROPERTIES PUBLIC_HEADER ${PROJECT_SOURCE_DIR}/notestore/include/notestore.h)
set_target_properties(gadgetkit PROPERTIES PUBLIC_HEADER ${PROJECT_SOURCE_DIR}/gadgetkit/include/gadgetkit.h)
target_include_directories(notestore INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/notestore>)
target_include_directories(gadgetkit INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/gadgetkit>)

install(TARGETS notestore EXPORT notestoreTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/notestore)
install(TARGETS gadgetkit EXPORT notestoreTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/gadgetkit)
install(TARGETS zro rtsetup RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# pkg-config files that find the prefix from their own place, so that a tree
# installed with --prefix or DESTDIR, or unpacked elsewhere, still works.
file(RELATIVE_PATH NOTESTORE_PC_TO_PREFIX
  ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" NOTESTORE_PC_TO_PREFIX "${NOTESTORE_PC_TO_PREFIX}")
foreach(library notestore gadgetkit)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${library}.pc.in ${PROJECT_BINARY_DIR}/${library}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${library}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

install(EXPORT notestoreTargets NAMESPACE notestore:: DESTINATION ${NOTESTORE_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/notestoreConfig.cmake.in
  ${PROJECT_BINARY_DIR}/notestoreConfig.cmake INSTALL_DESTINATION ${NOTESTORE_CMAKE_DIR})
# The libraries' soname carries the major version: only it tells an
# incompatible interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/notestoreConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/notestoreConfig.cmake ${PROJECT_BINARY_DIR}/notestoreConfigVersion.cmake
  DESTINATION ${NOTESTORE_CMAKE_DIR})

# Manual pages: zro's is made from its own --help, so it cannot fall behind
# the commands; rtsetup has no help of its own and a written page.
find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(zro_man ${PROJECT_BINARY_DIR}/man/zro.1)
  add_custom_command(OUTPUT ${zro_man}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
            ${HELP2MAN} --no-info --no-discard-stderr --version-string=${PROJECT_VERSION}
            "--name=read, convert and edit outline documents (.zro)" --include=${PROJECT_SOURCE_DIR}/docs/man/zro.h2m
            --output=${zro_man} $<TARGET_FILE:zro>
    DEPENDS zro ${PROJECT_SOURCE_DIR}/docs/man/zro.h2m
    VERBATIM)
  add_custom_target(zro_man ALL DEPENDS ${zro_man})
  install(FILES ${zro_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man not found: zro's manual page is not made (scripts/install-deps.sh installs it)")
endif()
install(FILES ${PROJECT_SOURCE_DIR}/docs/man/rtsetup.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/tools/zro/zro.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME zro)

# cpack -G DEB: one package of the installed tree.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME notestore)
set(CPACK_PACKAGE_VENDOR "notestore developers")
set(CPACK_PACKAGE_CONTACT "notestore developers <notestore@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Outline documents, category database and device services, with the zro tool")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# Dependencies from the libraries and programs themselves (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
