# Install rules and the Debian package, included by the top-level CMakeLists.
include(GNUInstallDirs)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME})

# Manual pages and the package's change log are installed compressed, without
# a name or time stamp in the gzip header, so that rebuilds are identical.
find_program(GZIP_EXECUTABLE gzip)
if(NOT GZIP_EXECUTABLE)
  message(FATAL_ERROR "gzip is needed to install the manual page")
endif()
set(compressed)
foreach(pair "docs/varnoquelbit.1|varnoquelbit.1.gz" "packaging/changelog|changelog.gz")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 target)
  add_custom_command(
    OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${target}
    COMMAND ${GZIP_EXECUTABLE} -9n -c ${PROJECT_SOURCE_DIR}/${source}
            > ${CMAKE_CURRENT_BINARY_DIR}/${target}
    DEPENDS ${PROJECT_SOURCE_DIR}/${source}
    COMMENT "Compressing ${source}")
  list(APPEND compressed ${CMAKE_CURRENT_BINARY_DIR}/${target})
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${compressed})

install(TARGETS varnoquelbit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/varnoquelbit.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz packaging/copyright
        DESTINATION ${doc_dir})
install(FILES examples/Varnoquelbit.ini DESTINATION ${doc_dir}/examples)

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Varnoquelbit developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "benchmark of how fast a storage volume copies files")
set(CPACK_PACKAGE_DESCRIPTION
    "Varnoquelbit runs the copy tests listed in Varnoquelbit.ini in the current
directory: for each trial it fills a fresh work directory on the target volume
with test files written past the file cache, times copying every file beside
itself, with the system's whole-file copy (HL) or through one unbuffered
buffer (LL), and prints the speed in MB/s. The results also go to result.txt.")
set(CPACK_PACKAGE_CONTACT "Varnoquelbit developers <varnoquelbit@example.org>"
    CACHE STRING "Maintainer of the Debian package")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program links against, found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Pressing c at the closing prompt hands the report to one of these.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wl-clipboard | xclip | xsel")
include(CPack)
