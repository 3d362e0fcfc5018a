# README.txt in the package, for whoever installs the launcher and for their IT staff: it names
# this build's real addresses, its version (cmake/Version.cmake), and the driver version and
# version-file texts of launcher/constants.h, where they are kept. It has Windows line ends
# whatever the checkout has. An edit of constants.h configures again, so the note never lags.

file(READ ${PROJECT_SOURCE_DIR}/launcher/constants.h KVAT_CONSTANTS_H)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/launcher/constants.h)

# The value of a text or number constant of launcher/constants.h.
function(kvat_constant name out)
    if(NOT KVAT_CONSTANTS_H MATCHES " ${name} =[ \n]*(\"([^\"]*)\"|([0-9]+);)")
        message(FATAL_ERROR "${name} not found in launcher/constants.h")
    endif()
    set(${out} "${CMAKE_MATCH_2}${CMAKE_MATCH_3}" PARENT_SCOPE)
endfunction()

# A version file's text as kvat-server-check --write makes it (VersionFileText): the label cut
# or padded with blanks to the leading characters, then the version.
function(kvat_version_file_text label_name version length_name out)
    kvat_constant(${label_name} label)
    kvat_constant(${length_name} length)
    string(LENGTH "${version}" width)
    math(EXPR lead "${length} - ${width}")
    string(REPEAT " " ${lead} blanks)
    string(SUBSTRING "${label}${blanks}" 0 ${lead} lead_text)
    set(${out} "${lead_text}${version}" PARENT_SCOPE)
endfunction()

kvat_constant(kDriverVersion KVAT_DRIVER_VERSION)
kvat_constant(kSoftwareFileLength KVAT_SOFTWARE_FILE_LENGTH)
kvat_version_file_text(kSoftwareFileLabel ${KVAT_THIS_VERSION} kSoftwareFileLength
                       KVAT_SOFTWARE_FILE_EXAMPLE)
kvat_version_file_text(kUsbFileLabel ${KVAT_DRIVER_VERSION} kUsbFileLength KVAT_USB_FILE_EXAMPLE)

# KVAT_VENDOR_HOST is [http://|https://]host[:port] (kvat_check_vendor_host holds it to that).
string(REGEX MATCH "^((https?)://)?([^:]+)(:([0-9]+))?$" matched "${KVAT_VENDOR_HOST}")
set(KVAT_VENDOR_SCHEME "${CMAKE_MATCH_2}")
set(KVAT_VENDOR_HOST_NAME "${CMAKE_MATCH_3}")
set(KVAT_VENDOR_PORT "${CMAKE_MATCH_5}")
if(NOT KVAT_VENDOR_SCHEME)
    set(KVAT_VENDOR_SCHEME http)
endif()
if(NOT KVAT_VENDOR_PORT)
    if(KVAT_VENDOR_SCHEME STREQUAL "https")
        set(KVAT_VENDOR_PORT 443)
    else()
        set(KVAT_VENDOR_PORT 80)
    endif()
endif()
# The home page is the bare address, as the launcher opens it (WebAddress).
set(KVAT_HOME_PAGE "${KVAT_VENDOR_SCHEME}://${KVAT_VENDOR_HOST_NAME}${CMAKE_MATCH_4}")
kvat_constant(kSoftwareVersionPath path)
set(KVAT_SOFTWARE_FILE_ADDRESS "${KVAT_HOME_PAGE}${path}")
kvat_constant(kUsbVersionPath path)
set(KVAT_USB_FILE_ADDRESS "${KVAT_HOME_PAGE}${path}")
kvat_constant(kDownloadPagePath path)
set(KVAT_DOWNLOAD_PAGE "${KVAT_HOME_PAGE}${path}")

configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt
               ${PROJECT_BINARY_DIR}/packaging/README.txt @ONLY NEWLINE_STYLE CRLF)
