# The shipped build (mingw-w64) is the same bit for bit for the same commit, wherever and
# whenever it is made.
if(WIN32 AND NOT MSVC)
    # No absolute path of the checkout or the build folder in any object (__FILE__, debug
    # info). The build folder may sit inside the checkout, so its more specific mapping comes
    # last: GCC uses the last one that matches.
    add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
                        -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
    # The PE header's time stamp would otherwise be the link time; zero means "not given".
    add_link_options(LINKER:--no-insert-timestamp)
endif()
