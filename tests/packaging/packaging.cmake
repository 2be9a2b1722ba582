# Packaging checks: the desktop files validate, an installed copy behaves, the
# .deb carries its run-time dependencies. Included from tests/CMakeLists.txt.

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
find_program(APPSTREAMCLI appstreamcli)
set(_pkg ${PROJECT_SOURCE_DIR}/packaging)

add_test(NAME packaging/desktop_entry_valid
  COMMAND ${DESKTOP_FILE_VALIDATE} ${_pkg}/${ARDENTIA_APP_ID}.desktop)
add_test(NAME packaging/metainfo_valid
  COMMAND ${APPSTREAMCLI} validate --no-net ${_pkg}/${ARDENTIA_APP_ID}.metainfo.xml)

target_compile_definitions(tst_Installed PRIVATE ARDENTIA_CMAKE="${CMAKE_COMMAND}")

add_test(NAME packaging/deb_package
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/packaging/check_deb.sh ${CMAKE_CPACK_COMMAND} ${CMAKE_BINARY_DIR} ${ARDENTIA_APP_ID})
set_tests_properties(packaging/deb_package PROPERTIES TIMEOUT 600)

# Both install from the build tree, which writes its install manifest there.
set_tests_properties(packaging/tst_Installed packaging/deb_package PROPERTIES RESOURCE_LOCK ardentia_install)
