# The code depends one way: the window's code (launcher/) uses the platform (platform/), never
# the reverse; and the portable parts (launcher/ and platform/ outside their win32/ folders)
# include neither Windows headers nor anything of the Win32 side.
#   cmake -DSOURCE_DIR=<repository> -P tests/check_layering.cmake
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/launcher/*.h ${SOURCE_DIR}/launcher/*.cpp
     ${SOURCE_DIR}/platform/*.h ${SOURCE_DIR}/platform/*.cpp)

set(faults "")
foreach(source IN LISTS sources)
    file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include")
    set(forbidden "")
    if(source MATCHES "^platform/")
        list(APPEND forbidden "\"launcher/")
    endif()
    if(NOT source MATCHES "/win32/")
        list(APPEND forbidden "/win32/" "<windows.h>" "<winsock2.h>" "<wininet.h>")
    endif()
    foreach(line IN LISTS includes)
        foreach(pattern IN LISTS forbidden)
            string(FIND "${line}" "${pattern}" found)
            if(NOT found EQUAL -1)
                string(APPEND faults "  ${source}: ${line}\n")
            endif()
        endforeach()
    endforeach()
endforeach()

if(faults)
    message(FATAL_ERROR "Includes against the layering:\n${faults}")
endif()
list(LENGTH sources checked)
message(STATUS "${checked} files follow the layering")
