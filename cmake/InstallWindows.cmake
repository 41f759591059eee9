# The Windows build's install and its ZIP package (`cpack -G ZIP` in the
# build folder): qorlu-<version>-win64.zip holds one folder of that name
# with qorlu.exe, the three windowed programs, README.md and LICENSE. The
# programs need no DLL beside them (their runtimes and zlib are linked in),
# so the folder can go anywhere.

install(TARGETS qorlu qorlu_unpacker qorlu_bitmapper qorlu_packer RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)

set(CPACK_PACKAGE_NAME qorlu)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})  # all four parts, 1.0.0.1
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_FILE_NAME qorlu-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_VENDOR "qorlu modding kit developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "modding kit for the data of one CD game")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR ZIP)
include(CPack)
