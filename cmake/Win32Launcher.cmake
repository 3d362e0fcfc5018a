# The Win32 side: platform services, the window toolkit, resources and the executable.
enable_language(RC)

# The platform's and the window toolkit's sources are also built once more by the benchmark, for
# its trace build.
set(KVAT_PLATFORM_SOURCES
    platform/win32/com_apartment.cpp
    platform/win32/fetch_waiter.cpp
    platform/win32/http_fetch.cpp
    platform/win32/registry.cpp
    platform/win32/shell.cpp
    platform/win32/system_info.cpp
    platform/win32/system_library.cpp
    platform/win32/text_conversion.cpp
    platform/win32/win32_error.cpp
    platform/win32/win32_platform.cpp
    platform/win32/wininet_library.cpp
    platform/win32/worker_thread.cpp)
list(TRANSFORM KVAT_PLATFORM_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
add_library(kvat_platform_win32 STATIC ${KVAT_PLATFORM_SOURCES})
# WinINet and the shell are loaded from the system folder at first use, never imported: a DLL of
# the same name beside the launcher would otherwise be loaded in their place.
target_link_libraries(kvat_platform_win32 PUBLIC kvat_core advapi32)
target_compile_definitions(kvat_platform_win32 PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN
                                                      NOMINMAX _WIN32_WINNT=0x0600)
kvat_warnings(kvat_platform_win32)

set(KVAT_WINDOW_SOURCES
    launcher/win32/accessible_descriptions.cpp
    launcher/win32/check_wait.cpp
    launcher/win32/clipboard.cpp
    launcher/win32/common_controls.cpp
    launcher/win32/error_report.cpp
    launcher/win32/handler_queue.cpp
    launcher/win32/main_window.cpp
    launcher/win32/progress_window.cpp
    launcher/win32/status_tooltip.cpp
    launcher/win32/window_class.cpp
    launcher/win32/window_placement.cpp)
list(TRANSFORM KVAT_WINDOW_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
add_library(kvat_window_win32 STATIC ${KVAT_WINDOW_SOURCES})
target_link_libraries(kvat_window_win32 PUBLIC kvat_platform_win32 user32 gdi32)
kvat_warnings(kvat_window_win32)

# Resources are compiled once and linked into every build of the executable.
set(KVAT_RESOURCES ${CMAKE_CURRENT_SOURCE_DIR}/resources/launcher.rc)
set_property(SOURCE ${KVAT_RESOURCES} APPEND PROPERTY OBJECT_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/resources/launcher.ico
    ${CMAKE_CURRENT_SOURCE_DIR}/resources/calix.bmp
    ${CMAKE_CURRENT_SOURCE_DIR}/resources/log.bmp
    ${KVAT_GENERATED_DIR}/kvat_this_version.h)
add_library(kvat_resources OBJECT ${KVAT_RESOURCES})
target_include_directories(kvat_resources PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/resources
                                                  ${KVAT_GENERATED_DIR})

# Release builds carry no symbols: the debug sections of the static C++ runtime would otherwise
# add half as much again to the file.
function(kvat_strip_in_release target)
    if(NOT MSVC)
        target_link_options(${target} PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
    endif()
endfunction()

# Stops the configure step for a vendor host the launcher could not use. The same rule as
# ParseVendorHost (launcher/vendor_address.h), which the build checks again when it compiles it.
function(kvat_check_vendor_host host)
    set(label "[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?")
    set(port "[1-9][0-9]?[0-9]?[0-9]?[0-9]?")
    if(NOT host MATCHES "^(https?://)?${label}(\\.${label})*(:(${port}))?$")
        message(FATAL_ERROR "KVAT_VENDOR_HOST \"${host}\" is not [http://|https://]host[:port]: "
                            "no path, no trailing slash, no other scheme.")
    endif()
    if(host MATCHES ":([0-9]+)$" AND CMAKE_MATCH_1 GREATER 65535)
        message(FATAL_ERROR "KVAT_VENDOR_HOST \"${host}\": port ${CMAKE_MATCH_1} is above 65535.")
    endif()
endfunction()

# kvat_add_launcher(<target> <host> <output directory> [WINDOW_LIBRARY <library>]): the
# executable KVAT_Launcher.exe built for one vendor host. Only vendor_host.cpp differs between
# builds, and, for the benchmark's trace build, the window library it links.
function(kvat_add_launcher target host output_directory)
    cmake_parse_arguments(PARSE_ARGV 3 ARG "" "WINDOW_LIBRARY" "")
    if(NOT ARG_WINDOW_LIBRARY)
        set(ARG_WINDOW_LIBRARY kvat_window_win32)
    endif()
    kvat_check_vendor_host("${host}")
    add_executable(${target} WIN32
        ${PROJECT_SOURCE_DIR}/launcher/win32/main.cpp
        ${PROJECT_SOURCE_DIR}/launcher/win32/vendor_host.cpp
        $<TARGET_OBJECTS:kvat_resources>)
    target_link_libraries(${target} PRIVATE ${ARG_WINDOW_LIBRARY})
    target_compile_definitions(${target} PRIVATE KVAT_VENDOR_HOST="${host}")
    if(NOT MSVC)
        target_link_options(${target} PRIVATE -municode -static -static-libgcc -static-libstdc++)
    endif()
    set_target_properties(${target} PROPERTIES
        OUTPUT_NAME KVAT_Launcher
        RUNTIME_OUTPUT_DIRECTORY ${output_directory})
    kvat_strip_in_release(${target})
    kvat_warnings(${target})
endfunction()

kvat_add_launcher(KVAT_Launcher "${KVAT_VENDOR_HOST}" ${PROJECT_BINARY_DIR})
install(TARGETS KVAT_Launcher RUNTIME DESTINATION .)
