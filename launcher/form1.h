// The launcher window's behaviour: its five text members and its event handlers.
#pragma once

#include <string>
#include <string_view>

#include "launcher/check_outcome.h"
#include "launcher/window.h"
#include "launcher/window_description.h"
#include "platform/platform.h"

namespace kvat {

class Form1 {
  public:
    // `vendor_host` is the vendor's web host, optionally with ":port".
    Form1(Window& window, Platform& platform, std::string_view vendor_host);

    // Load: the start-up status check. Runs before the window is first shown, and again after
    // a driver installation.
    void Form_Load();

    void cmdCALIX_Click();
    void cmdLOG_Click();
    void Timer1_Timer();
    void cmdUpdateUSBdriver_Click();
    void cmdDownloadSoftware_Click();
    void cmdWEBSITE_Click();
    void cmdEXIT_Click();

    // Routes a click to its handler; clicks on controls without one are ignored.
    void Click(ControlId control);

    // Why `control` says what it says, when it is the software status "UNABLE TO VERIFY" or the
    // driver status "not the latest version OR Internet not available"; empty text otherwise.
    // Kept from the last start-up check.
    std::string StatusExplanation(ControlId control) const;
    // The report of the last start-up check for the vendor's support, on `windows_version`.
    std::string SupportReport(std::string_view windows_version) const;

    std::string strThisVersion;
    std::string strServerVersion;
    std::string strDriverVersion;
    std::string strThisDriverVersion;
    std::string strServerDriverVersion;

  private:
    // Fetches one version file and keeps what came; returns the version it gives, or empty text.
    std::string FetchVersion(std::string_view path, std::size_t length, std::size_t width,
                             VersionFileOutcome& outcome);
    void ShowSoftwareStatus();
    void ShowDriverStatus();
    void WriteProgramCaption(ControlId label, std::string_view head, std::string_view tail);
    void LaunchProgram(std::string_view file_name);
    // Timer1's restoring of the selection: its labels and buttons back, the launch message gone.
    void ShowSelection();
    // Says that the shell could not start `file_name` (with its leading backslash) from the
    // launcher folder, unless the user declined the shell's prompt: then nothing is said.
    void ReportNotStarted(std::string_view file_name, std::string_view folder,
                          const ShellAnswer& answer);
    void OpenWebPage(std::string web_address);

    Window& window_;
    Platform& platform_;
    std::string vendor_host_;
    CheckOutcome check_;  // what the last start-up check learned of the version files
    std::string software_explanation_;
    std::string driver_explanation_;
};

}  // namespace kvat
