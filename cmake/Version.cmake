# The launcher's version is written once: VERSION in project() of the top CMakeLists.txt. The
# launcher's own version text, the version block, README.txt, the ZIP's name, the server check's
# banner and the tests all take it from here. The window and the software version file announce
# it in exactly 4 characters (X.Y), so only X.Y.0.0 with X from 10 to 99 and Y from 0 to 9
# can be announced; anything else would give a launcher that never matches its server's file.
if(NOT PROJECT_VERSION MATCHES "^([1-9][0-9])\\.([0-9])\\.0\\.0$")
    # The leading blank keeps CMake from wrapping the message: it stays one line.
    message(FATAL_ERROR " project VERSION ${PROJECT_VERSION} cannot be announced: the launcher "
                        "announces X.Y in 4 characters, so write X.Y.0.0 with X from 10 to 99 "
                        "and Y from 0 to 9")
endif()
set(KVAT_VERSION_MAJOR ${CMAKE_MATCH_1})
set(KVAT_VERSION_MINOR ${CMAKE_MATCH_2})
# X.Y, as the window and the version file announce it.
set(KVAT_THIS_VERSION "${KVAT_VERSION_MAJOR}.${KVAT_VERSION_MINOR}")
# X.0Y, the version block's text form of the same version (two digits after the dot).
set(KVAT_VERSION_BLOCK_TEXT "${KVAT_VERSION_MAJOR}.0${KVAT_VERSION_MINOR}")

# One header for the C++ code, the resource compiler and the tests; configure_file rewrites it
# only when the version changed, so an unchanged version rebuilds nothing.
set(KVAT_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/this_version.h.in
               ${KVAT_GENERATED_DIR}/kvat_this_version.h @ONLY)
