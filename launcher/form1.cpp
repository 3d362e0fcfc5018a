#include "launcher/form1.h"

#include <initializer_list>
#include <optional>

#include "launcher/constants.h"
#include "launcher/version_text.h"
#include "platform/settings_store.h"

namespace kvat {

using enum ControlId;

namespace {

std::string Concat(std::initializer_list<std::string_view> pieces) {
    std::string joined;
    for (std::string_view piece : pieces) {
        joined.append(piece);
    }
    return joined;
}

}  // namespace

Form1::Form1(Window& window, Platform& platform, std::string_view vendor_host)
    : window_(window), platform_(platform), vendor_host_(vendor_host) {}

void Form1::Form_Load() {
    platform_.SetAppTitle(kAppTitle);
    strThisVersion = kThisVersion;
    strDriverVersion = kDriverVersion;
    // A new check: nothing of the last one explains this one's statuses.
    check_ = {};
    software_explanation_.clear();
    driver_explanation_.clear();

    window_.SetVisible(txtThisVersion, false);
    window_.SetVisible(txtServerVersion, false);
    window_.SetVisible(txtUSBDriverVersion, false);
    window_.SetVisible(cmdDownloadSoftware, false);

    const std::string_view generation =
        platform_.WindowsMajorVersion() > 5 ? kWindowsVista : kWindowsXP;
    platform_.SaveSetting(kSettingsApp, kSettingsSection, kSettingWindowsOS, generation);

    // Saving WindowsOS just above creates the section, so on a healthy store the probe finds
    // it and Version is written only when that save left no key behind. The probe names the
    // section with a trailing backslash.
    if (!platform_.ProbeRegistryKey(RegistryHive::CurrentUser,
                                    SettingsSectionKey(kSettingsApp, kSettingsSection) + "\\")) {
        platform_.SaveSetting(platform_.AppTitle(), kSettingsSection, kSettingVersion,
                              strThisVersion);
    }

    strServerVersion = FetchVersion(kSoftwareVersionPath, kSoftwareFileLength,
                                    kSoftwareVersionWidth, check_.software);
    window_.SetVisible(txtThisVersion, true);
    window_.SetVisible(txtServerVersion, true);
    window_.SetCaption(txtThisVersion, Concat({text::kThisSoftwareVersion, strThisVersion}));
    ShowSoftwareStatus();

    // The device key is probed for its own sake; nothing below depends on it.
    platform_.ProbeRegistryKey(RegistryHive::LocalMachine, kFtdiDeviceKey);

    strServerDriverVersion =
        FetchVersion(kUsbVersionPath, kUsbFileLength, kUsbVersionWidth, check_.driver);
    strThisDriverVersion = platform_.GetSetting(platform_.AppTitle(), kSettingsSection,
                                                kSettingUsbVersion, kNoDriverRecord);
    check_.recorded_driver = strThisDriverVersion;
    window_.SetCaption(txtThisDriverVersion,
                       strThisDriverVersion != kNoDriverRecord
                           ? Concat({text::kDriverFound, strThisDriverVersion})
                           : std::string(text::kDriverNotFound));
    ShowDriverStatus();

    WriteProgramCaption(Label2, text::kCalixHead, text::kCalixTail);
    WriteProgramCaption(Label3, text::kLogHead, text::kLogTail);
    window_.Refresh();
}

std::string Form1::FetchVersion(std::string_view path, std::size_t length, std::size_t width,
                                VersionFileOutcome& outcome) {
    outcome.address = WebAddress(vendor_host_, path);
    outcome.answer = platform_.Fetch(outcome.address);
    outcome.version = VersionFromAnswer(outcome.answer.text, length, width);
    if (outcome.version.empty()) {
        outcome.reason = WhyNoVersion(outcome.answer, length);
    }
    return outcome.version;
}

void Form1::ShowSoftwareStatus() {
    if (strServerVersion.empty()) {
        // The download button stays as the start of the pass left it: hidden.
        window_.SetCaption(txtServerVersion, text::kServerUnverified);
        software_explanation_ = Explanation(text::kSoftwareFileTitle, check_.software);
    } else if (strServerVersion == strThisVersion) {
        window_.SetCaption(txtServerVersion, Concat({text::kServerSameBefore, strServerVersion,
                                                     text::kServerSameAfter}));
        window_.SetVisible(cmdDownloadSoftware, false);
    } else {
        // Any other version, older ones included, is offered for download.
        window_.SetCaption(txtServerVersion, Concat({text::kServerOtherBefore, strServerVersion,
                                                     text::kServerOtherAfter}));
        window_.SetVisible(cmdDownloadSoftware, true);
    }
}

void Form1::ShowDriverStatus() {
    // No answer from the server never confirms a record, not even an empty one.
    const bool same_driver = !strServerDriverVersion.empty() &&
                             EqualIgnoringCase(strThisDriverVersion, strServerDriverVersion);
    window_.SetVisible(txtUSBDriverVersion, true);
    if (strThisDriverVersion == kNoDriverRecord) {
        window_.SetCaption(txtUSBDriverVersion, text::kDriverNotInstalled);
        window_.SetVisible(cmdUpdateUSBdriver, true);
    } else if (!same_driver) {
        window_.SetCaption(txtUSBDriverVersion, text::kDriverOutdated);
        window_.SetVisible(cmdUpdateUSBdriver, true);
        // The caption does not tell a missing answer from another version; the reason does.
        if (!strServerDriverVersion.empty()) {
            check_.driver.reason = WhyDriverDiffers(strServerDriverVersion, strThisDriverVersion);
        }
        driver_explanation_ = Explanation(text::kUsbFileTitle, check_.driver);
    } else {
        // The driver button is hidden whenever a pass begins, so it stays hidden here.
        window_.SetCaption(txtUSBDriverVersion,
                           Concat({text::kDriverLatest, strThisDriverVersion}));
    }
}

void Form1::WriteProgramCaption(ControlId label, std::string_view head, std::string_view tail) {
    // Setting the whole caption first keeps repeated passes from lengthening it.
    window_.SetCaption(label, head);
    window_.SetCaption(label, Concat({window_.Caption(label), tail}));
}

void Form1::cmdCALIX_Click() {
    LaunchProgram(kCalixFile);
}

void Form1::cmdLOG_Click() {
    LaunchProgram(kLogFile);
}

void Form1::LaunchProgram(std::string_view file_name) {
    window_.SetVisible(Label1, false);
    window_.SetVisible(Label2, false);
    window_.SetVisible(Label3, false);
    window_.SetVisible(cmdCALIX, false);
    window_.SetVisible(cmdLOG, false);
    window_.SetVisible(msgLAUNCHING, true);
    const std::string folder = platform_.LauncherFolder();
    const ShellAnswer answer =
        platform_.ShellLaunch(kVerbOpen, Concat({folder, file_name}), std::nullopt);
    if (!answer.started()) {
        // Nothing is launching: the selection is back before the user reads why, and the window
        // stays as it is.
        ShowSelection();
        ReportNotStarted(file_name, folder, answer);
        return;
    }
    window_.SetTimerEnabled(true);
}

void Form1::Timer1_Timer() {
    window_.SetWindowState(WindowState::Minimized);
    window_.SetTimerEnabled(false);
    ShowSelection();
    window_.Refresh();
}

void Form1::ShowSelection() {
    window_.SetVisible(Label1, true);
    window_.SetVisible(Label2, true);
    window_.SetVisible(Label3, true);
    window_.SetVisible(cmdCALIX, true);
    window_.SetVisible(cmdLOG, true);
    window_.SetVisible(msgLAUNCHING, false);
}

void Form1::ReportNotStarted(std::string_view file_name, std::string_view folder,
                             const ShellAnswer& answer) {
    if (answer.cancelled_by_user()) {
        return;  // the user's own choice, made a moment ago
    }
    window_.ShowMessage(Concat({file_name.substr(1), text::kCannotStart, folder, text::kNewLine,
                                text::kWindowsSays, answer.reason}),
                        text::kErrorTitle, MessageStyle::Critical);
}

void Form1::cmdUpdateUSBdriver_Click() {
    window_.SetVisible(cmdUpdateUSBdriver, false);
    window_.Refresh();
    const std::string folder = platform_.LauncherFolder();
    const std::string installer = Concat({folder, kDriverInstallerFile});
    if (platform_.FileExists(installer)) {
        window_.ShowMessage(text::kInstallMessage, text::kInstallTitle, MessageStyle::OkOnly);
        const std::string arguments = platform_.CommandLine();
        const ShellAnswer answer = platform_.ShellLaunch(
            kVerbRunAs, installer,
            arguments.empty() ? std::nullopt : std::optional<std::string_view>(arguments));
        if (!answer.started()) {
            // Not started, so not installed: nothing is recorded, as for a missing installer.
            ReportNotStarted(kDriverInstallerFile, folder, answer);
            window_.SetVisible(cmdUpdateUSBdriver, true);
            return;
        }
        // Recorded once the installer runs: whether the user finishes the installation is never
        // known here.
        platform_.SaveSetting(platform_.AppTitle(), kSettingsSection, kSettingUsbVersion,
                              strDriverVersion);
        Form_Load();
    } else {
        window_.ShowMessage(text::kDriverMissingMessage, text::kErrorTitle, MessageStyle::Critical);
        window_.SetVisible(cmdUpdateUSBdriver, true);
    }
}

void Form1::cmdDownloadSoftware_Click() {
    OpenWebPage(WebAddress(vendor_host_, kDownloadPagePath));
}

void Form1::cmdWEBSITE_Click() {
    OpenWebPage(WebAddress(vendor_host_));
}

void Form1::OpenWebPage(std::string web_address) {
    const ShellAnswer answer = platform_.ShellLaunch(kVerbOpen, web_address, std::nullopt);
    if (!answer.started() && !answer.cancelled_by_user()) {
        window_.ShowMessage(
            Concat({text::kCannotOpenPage, text::kNewParagraph, text::kWindowsSays, answer.reason,
                    text::kNewParagraph, text::kTypeAddress, text::kNewLine, web_address}),
            text::kErrorTitle, MessageStyle::Critical);
    }
}

std::string Form1::StatusExplanation(ControlId control) const {
    switch (control) {
        case txtServerVersion:
            return software_explanation_;
        case txtUSBDriverVersion:
            return driver_explanation_;
        default:
            return {};
    }
}

std::string Form1::SupportReport(std::string_view windows_version) const {
    return kvat::SupportReport(WebAddress(vendor_host_), check_, windows_version);
}

void Form1::cmdEXIT_Click() {
    window_.Close();
}

void Form1::Click(ControlId control) {
    switch (control) {
        case cmdCALIX:
            cmdCALIX_Click();
            break;
        case cmdLOG:
            cmdLOG_Click();
            break;
        case cmdUpdateUSBdriver:
            cmdUpdateUSBdriver_Click();
            break;
        case cmdDownloadSoftware:
            cmdDownloadSoftware_Click();
            break;
        case cmdWEBSITE:
            cmdWEBSITE_Click();
            break;
        case cmdEXIT:
            cmdEXIT_Click();
            break;
        default:
            break;
    }
}

}  // namespace kvat
