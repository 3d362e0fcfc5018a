// The launcher window's behaviour: its five text members and its event handlers.
#pragma once

#include <string>
#include <string_view>

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

    std::string strThisVersion;
    std::string strServerVersion;
    std::string strDriverVersion;
    std::string strThisDriverVersion;
    std::string strServerDriverVersion;

  private:
    void ShowSoftwareStatus();
    void ShowDriverStatus();
    void WriteProgramCaption(ControlId label, std::string_view head, std::string_view tail);
    void LaunchProgram(std::string_view file_name);
    void OpenWebPage(std::string web_address);

    Window& window_;
    Platform& platform_;
    std::string vendor_host_;
};

}  // namespace kvat
