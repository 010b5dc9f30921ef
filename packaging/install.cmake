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
foreach(pair "docs/varnoquelbit-compare.1|varnoquelbit-compare.1.gz"
             "packaging/changelog|changelog.gz")
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
install(PROGRAMS tools/varnoquelbit-compare DESTINATION ${CMAKE_INSTALL_BINDIR})
# The script's code: the varnoquelbit_compare package, in share/varnoquelbit,
# where the script looks for it (bytecode caches left out).
install(DIRECTORY tools/varnoquelbit_compare DESTINATION ${CMAKE_INSTALL_DATADIR}/${PROJECT_NAME}
        FILES_MATCHING PATTERN "*.py" PATTERN "*.js" PATTERN "*.css"
        PATTERN "__pycache__" EXCLUDE)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/varnoquelbit-compare.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz packaging/copyright
              docs/result-json.md docs/result.schema.json docs/result.example.json
        DESTINATION ${doc_dir})
install(FILES examples/Varnoquelbit.ini DESTINATION ${doc_dir}/examples)

# The program's manual page names the folder of the example configuration,
# which depends on the prefix: /usr/local for `cmake --install`, /usr for the
# package. So the page is written at install time, with the prefix in force
# then, straight into its destination (nothing is written to the build tree,
# which may belong to another user than the one installing).
install(CODE "set(varno_page_source \"${PROJECT_SOURCE_DIR}/docs/varnoquelbit.1\")
set(varno_doc_dir \"${doc_dir}\")
set(varno_man_dir \"${CMAKE_INSTALL_MANDIR}/man1\")
set(varno_gzip \"${GZIP_EXECUTABLE}\")")
install(SCRIPT packaging/install_man_page.cmake)

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Varnoquelbit developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "benchmark of how fast a storage volume copies files")
set(CPACK_PACKAGE_DESCRIPTION
    "Varnoquelbit runs the copy tests listed in Varnoquelbit.ini in the current
directory: for each trial it fills a fresh work directory on the target volume
with test files written past the file cache, times copying every file beside
itself, with the system's whole-file copy (HL) or through one unbuffered
buffer (LL), and prints the speed in MB/s. The results also go to result.txt.
varnoquelbit-compare prints recorded runs side by side, as a table, as
Markdown, as CSV, as a picture or as a self-contained HTML page.")
set(CPACK_PACKAGE_CONTACT "Varnoquelbit developers <varnoquelbit@example.org>"
    CACHE STRING "Maintainer of the Debian package")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program links against, found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# varnoquelbit-compare is a Python 3 script; its --plot draws with matplotlib.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-matplotlib")
# Pressing c at the closing prompt hands the report to one of these.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wl-clipboard | xclip | xsel")
include(CPack)
