# The release package: Morsela.exe (which carries the restore program), the
# command line Morsela.com beside it, the restore page with no set inside
# (restore.html, for sets whose own page did not come along), a
# README for Windows users in CRLF text and the licence, in one zip named
# Morsela-<version>-win64.zip. CPack stamps every entry with
# SOURCE_DATE_EPOCH when it is set (scripts/package.sh sets it from the
# commit), so one commit always gives the same archive.
set(readme ${CMAKE_BINARY_DIR}/package/README.txt)
file(READ ${PROJECT_SOURCE_DIR}/docs/README-windows.txt text)
string(REPLACE "\n" "\r\n" text "${text}")
string(REPLACE "@VERSION@" "${PROJECT_VERSION}" text "${text}")
file(WRITE ${readme} "${text}")

install(TARGETS Morsela morsela_console RUNTIME DESTINATION .)
install(FILES ${readme} ${PROJECT_SOURCE_DIR}/LICENSE ${MORSELA_PAGE_HTML} DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Morsela)
set(CPACK_PACKAGE_VENDOR "Quellin Studio")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Morsela-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
