# The release package: a ZIP the vendor unpacks into the folder of the suite's programs.
#   cmake --build --preset windows --target package

# The note for the vendor names the host this build asks, and has Windows line ends whatever
# the checkout has.
configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt
               ${PROJECT_BINARY_DIR}/packaging/README.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${PROJECT_BINARY_DIR}/packaging/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME KVAT_Launcher)
set(CPACK_PACKAGE_VENDOR Korvane)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "KVAT Software Selection launcher")
set(CPACK_SYSTEM_NAME win64)
# The files sit at the top of the ZIP, ready to drop beside the other programs.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
