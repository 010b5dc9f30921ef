# Runs at install time (install(SCRIPT)), after install.cmake has set
# varno_page_source, varno_doc_dir, varno_man_dir and varno_gzip. Writes the
# program's manual page with the folder of the README and the example
# configuration under the prefix in force now, compressed, straight into its
# destination.
set(doc "${CMAKE_INSTALL_PREFIX}/${varno_doc_dir}")
set(man_dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${varno_man_dir}")
file(READ "${varno_page_source}" page)
string(REGEX REPLACE "\n\\.ds Vd [^\n]*" "\n.ds Vd ${doc}" page "${page}")
message(STATUS "Installing: ${man_dir}/varnoquelbit.1.gz (naming ${doc})")
file(MAKE_DIRECTORY "${man_dir}")
file(WRITE "${man_dir}/varnoquelbit.1" "${page}")
execute_process(COMMAND "${varno_gzip}" -9nf "${man_dir}/varnoquelbit.1"
                RESULT_VARIABLE gzip_status)
if(NOT gzip_status EQUAL 0)
  message(FATAL_ERROR "gzip -9nf ${man_dir}/varnoquelbit.1 failed: ${gzip_status}")
endif()
# Listed in install_manifest.txt as the other installed files are, without
# DESTDIR.
list(APPEND CMAKE_INSTALL_MANIFEST_FILES
     "${CMAKE_INSTALL_PREFIX}/${varno_man_dir}/varnoquelbit.1.gz")
