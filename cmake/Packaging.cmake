# The release package: a ZIP the vendor unpacks into the folder of the suite's programs.
#   cmake --preset release && cmake --build --preset release --target package
# It needs only the launcher. packaging/make_package.py signs the executable when the vendor
# gives a certificate (see there), then zips it with the note and SHA256SUMS, the same bit for
# bit for the same commit.

# The host is compiled in and stays in the cache from one configure to the next, so every
# configure says which one this build asks: a test host must not slip into a release unseen.
if(KVAT_VENDOR_HOST STREQUAL KVAT_PLACEHOLDER_HOST)
    message(STATUS "KVAT_VENDOR_HOST: ${KVAT_VENDOR_HOST} (the default, which never resolves; "
                   "set -DKVAT_VENDOR_HOST=<host> for a release)")
else()
    message(STATUS "KVAT_VENDOR_HOST: ${KVAT_VENDOR_HOST} (the vendor host this build asks)")
endif()

include(cmake/PackageNote.cmake)

find_package(Python3 3.8 COMPONENTS Interpreter)
if(NOT Python3_Interpreter_FOUND)
    message(STATUS "No Python 3: the target package is not available")
    return()
endif()

# A release must be signed unless the vendor opts out with KVAT_ALLOW_UNSIGNED=1 when making it;
# the development build (the windows preset) may make unsigned packages without that.
option(KVAT_PACKAGE_UNSIGNED_ALLOWED "The package target may make an unsigned package" OFF)
# Likewise a release is made from committed code only (KVAT_ALLOW_DIRTY=1 opts out); the
# development build may package uncommitted changes, under a name that says so.
option(KVAT_PACKAGE_DIRTY_ALLOWED "The package target may package uncommitted changes" OFF)
set(KVAT_PACKAGE_FILE ${PROJECT_BINARY_DIR}/package/KVAT_Launcher-${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}-win64.zip)
set(KVAT_PACKAGE_COMMAND
    ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/packaging/make_package.py
    --launcher $<TARGET_FILE:KVAT_Launcher>
    --note ${PROJECT_BINARY_DIR}/packaging/README.txt
    "--host=${KVAT_VENDOR_HOST}"
    --source ${PROJECT_SOURCE_DIR})
if(KVAT_PACKAGE_UNSIGNED_ALLOWED)
    list(APPEND KVAT_PACKAGE_COMMAND --unsigned-allowed)
endif()
if(KVAT_PACKAGE_DIRTY_ALLOWED)
    list(APPEND KVAT_PACKAGE_COMMAND --dirty-allowed)
endif()
# CMake reserves the name "package" while a CPack configuration lies in the build folder; an
# older build of this project left one there.
file(REMOVE ${PROJECT_BINARY_DIR}/CPackConfig.cmake ${PROJECT_BINARY_DIR}/CPackSourceConfig.cmake)
add_custom_target(package
    COMMAND ${KVAT_PACKAGE_COMMAND} --output ${KVAT_PACKAGE_FILE}
    COMMENT "Packaging KVAT_Launcher.exe for the vendor host ${KVAT_VENDOR_HOST}"
    VERBATIM USES_TERMINAL)
add_dependencies(package KVAT_Launcher)
