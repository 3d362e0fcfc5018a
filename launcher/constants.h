// Every text the launcher shows and every constant it uses, in one place.
// Texts are UTF-8; "\r\n" is the CR LF pair that starts a new line in a caption.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "kvat_this_version.h"

namespace kvat {

// Versions built into the launcher. They are text and are only ever compared as text. This
// launcher's version comes from project(VERSION) in the top CMakeLists.txt, where alone it is
// written.
inline constexpr std::string_view kThisVersion = KVAT_THIS_VERSION;
inline constexpr std::string_view kDriverVersion = "2.12.28";

inline constexpr std::string_view kAppTitle = "KVAT_Software";
inline constexpr std::string_view kWindowTitle = "KVAT Software Selection";

// Settings store: application, section and the three values.
inline constexpr std::string_view kSettingsApp = "KVAT_Software";
inline constexpr std::string_view kSettingsSection = "Properties";
inline constexpr std::string_view kSettingWindowsOS = "WindowsOS";
inline constexpr std::string_view kSettingVersion = "Version";
inline constexpr std::string_view kSettingUsbVersion = "USB Version";
inline constexpr std::string_view kNoDriverRecord = "DNE";
inline constexpr std::string_view kWindowsVista = "Vista";
inline constexpr std::string_view kWindowsXP = "XP";

// Below HKEY_LOCAL_MACHINE.
inline constexpr std::string_view kFtdiDeviceKey =
    "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+00000001A\\0000\\Device "
    "Parameters";

// Files beside the launcher; each name carries its own leading backslash.
inline constexpr std::string_view kCalixFile = "\\Calix_KVAT.exe";
inline constexpr std::string_view kLogFile = "\\KVAT_Log.exe";
inline constexpr std::string_view kDriverInstallerFile = "\\CDM21228_Setup.exe";

// Paths on the vendor's web server.
inline constexpr std::string_view kSoftwareVersionPath =
    "/download/KVAT_Software/KVAT_Software_Version.txt";
inline constexpr std::string_view kUsbVersionPath = "/download/KVAT_Software/KVAT_USB_Version.txt";
inline constexpr std::string_view kDownloadPagePath = "/download/KVAT_Software_Download.htm";
inline constexpr std::string_view kHttpScheme = "http://";
inline constexpr std::string_view kHttpsScheme = "https://";

// Accepted answers of the two version files: total length and width of the trailing version.
inline constexpr std::size_t kSoftwareFileLength = 26;
inline constexpr std::size_t kSoftwareVersionWidth = 4;
inline constexpr std::size_t kUsbFileLength = 24;
inline constexpr std::size_t kUsbVersionWidth = 7;

// Leading text of the version files written for the vendor, padded to the leading characters
// the launcher does not examine. The launcher never reads it.
inline constexpr std::string_view kSoftwareFileLabel = "KVAT Software Version";
inline constexpr std::string_view kUsbFileLabel = "KVAT USB Driver";

inline constexpr std::string_view kVerbOpen = "open";
inline constexpr std::string_view kVerbRunAs = "runas";

inline constexpr unsigned kLaunchTimerIntervalMs = 3000;

// A start-up check that has not ended this long after it began shows the check's progress.
inline constexpr std::chrono::milliseconds kCheckProgressDelay{1000};
// ...and not before the file it waits for has itself taken this long: a server that answers at
// once never shows it, however late the check began.
inline constexpr std::chrono::milliseconds kFileWaitBeforeProgress{300};
// The files one start-up check fetches, one after the other.
inline constexpr unsigned kFilesPerCheck = 2;

// Status captions; the double blanks are intentional.
namespace text {
inline constexpr std::string_view kThisSoftwareVersion = "This Software Version:  ";
inline constexpr std::string_view kServerUnverified =
    "Latest Software Available:  UNABLE TO VERIFY\r\nCheck internet connection.";
inline constexpr std::string_view kServerSameBefore = "Latest Software Available on Server:  ";
inline constexpr std::string_view kServerSameAfter = "\r\nYou have the latest software.";
inline constexpr std::string_view kServerOtherBefore = "Latest Software Available:  ";
inline constexpr std::string_view kServerOtherAfter =
    "\r\nYou DO NOT have the latest software. Click to update now.";
inline constexpr std::string_view kDriverFound = "USB Driver Version found:  ";
inline constexpr std::string_view kDriverNotFound = "USB Driver Version not found.";
inline constexpr std::string_view kDriverNotInstalled =
    "USB Driver not installed.  Click to install.";
inline constexpr std::string_view kDriverOutdated =
    "USB Driver is not the latest version OR Internet not available to check server version.  "
    "Click to install.";
inline constexpr std::string_view kDriverLatest = "USB Driver installed and is latest version: ";
inline constexpr std::string_view kCalixHead = "CALIX\r\n\r\n";
inline constexpr std::string_view kCalixTail = "SETUP AND TUNING\r\n";
inline constexpr std::string_view kLogHead = "KVAT LOG\r\n\r\n";
inline constexpr std::string_view kLogTail = "DIAGNOSING AND TESTING\r\n";

inline constexpr std::string_view kInstallMessage =
    "Unplug the USB from Korvane device. Windows XP users might need to reboot after "
    "installation.\r\n\r\nPlease finish the USB Driver Installation now.";
inline constexpr std::string_view kInstallTitle = "USB Installation";
inline constexpr std::string_view kDriverMissingMessage = "Driver File Not Found.";
// The title of every message box that says something could not be done.
inline constexpr std::string_view kErrorTitle = "Error";

// When the shell could not start a program or the driver installer beside the launcher: the
// file, the folder it was looked for in, and Windows' own reason, word for word.
inline constexpr std::string_view kCannotStart =
    " could not be started.\r\n\r\nLooked for in: ";  // after the file, before the folder
inline constexpr std::string_view kWindowsSays = "Windows says: ";  // then Windows' reason
// When the shell could not open a web page: Windows' reason, and the address to type instead.
inline constexpr std::string_view kCannotOpenPage = "The web page could not be opened.";
inline constexpr std::string_view kTypeAddress = "Type this address into a web browser:";
inline constexpr std::string_view kNewLine = "\r\n";
inline constexpr std::string_view kNewParagraph = "\r\n\r\n";

// The small window that shows while a start-up check waits for the vendor's server for more than
// a moment. Its title must not be the launcher window's, so nothing that waits for that window
// takes this one for it.
inline constexpr std::string_view kCheckTitle = "KVAT - Checking for software updates";
inline constexpr std::string_view kCheckHost = "Checking for updates at ";
inline constexpr std::string_view kCheckSoftwareFile =
    "Waiting for the software version file (1 of 2)...";
inline constexpr std::string_view kCheckUsbFile =
    "Waiting for the USB driver version file (2 of 2)...";
inline constexpr std::string_view kCheckSkipHint = "Skip stops waiting for the server.";
inline constexpr std::string_view kCheckSkip = "Skip";

// Why a status says it could not verify, shown over it on demand and given as its accessible
// description: the file's title and address, then the reason.
inline constexpr std::string_view kSoftwareFileTitle = "Software version file";
inline constexpr std::string_view kUsbFileTitle = "USB driver version file";
inline constexpr std::string_view kReasonLead = "Reason: ";

// The report that Ctrl+C in the window copies for the vendor's support, line by line.
inline constexpr std::string_view kReportTitle = "KVAT Launcher ";  // then this version
inline constexpr std::string_view kReportTitleEnd = ": update check";
inline constexpr std::string_view kReportVendorHost = "Vendor host: ";
inline constexpr std::string_view kReportRedirected = "  Redirected to: ";
inline constexpr std::string_view kReportOutcome = "  Outcome: ";
inline constexpr std::string_view kReportNoAnswer = "no answer";
inline constexpr std::string_view kReportAccepted = ", accepted: version ";
inline constexpr std::string_view kReportNotAccepted = ", not accepted";
inline constexpr std::string_view kReportReason = "  Reason: ";
inline constexpr std::string_view kReportRecordedDriver = "Recorded USB driver version: ";
inline constexpr std::string_view kReportNone = "none";
inline constexpr std::string_view kReportWindows = "Windows: ";
inline constexpr std::string_view kReportUnknown = "unknown";

// Names the picture buttons carry for assistive technology; they are never drawn.
inline constexpr std::string_view kCalixAccessibleName = "CALIX setup and tuning";
inline constexpr std::string_view kLogAccessibleName = "KVAT LOG diagnosing and testing";
}  // namespace text

// True when the vendor host names its scheme itself ("https://host" or "http://host").
constexpr bool HasWebScheme(std::string_view vendor_host) {
    return vendor_host.starts_with(kHttpScheme) || vendor_host.starts_with(kHttpsScheme);
}

// The vendor host's scheme, "http://" when it names none, then host and path; the home page is
// the bare host with no trailing slash.
inline std::string WebAddress(std::string_view vendor_host, std::string_view path = {}) {
    std::string address(HasWebScheme(vendor_host) ? std::string_view{} : kHttpScheme);
    address.append(vendor_host).append(path);
    return address;
}

}  // namespace kvat
