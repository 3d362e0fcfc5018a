// The button and timer handlers: launching, driver installation, web links and exit.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "fakes.h"

namespace kvat::testing {
namespace {

using enum ControlId;

const std::string kInstaller = "C:\\Program Files\\KVAT\\CDM21228_Setup.exe";
const std::string kInstallText =
    "Unplug the USB from Korvane device. Windows XP users might need to reboot after "
    "installation.\r\n\r\nPlease finish the USB Driver Installation now.";

// A launcher that has run its start-up pass, with the log cleared.
struct Started : Launcher {
    Started() {
        form.Form_Load();
        log.clear();
    }
};

TEST(Launching, EachButtonSwapsTheSelectionAndStartsItsProgram) {
    struct Case {
        ControlId button;
        std::string file;
    };
    for (const Case& c : {Case{cmdCALIX, "Calix_KVAT.exe"}, Case{cmdLOG, "KVAT_Log.exe"}}) {
        Started launcher;
        launcher.form.Click(c.button);
        const std::vector<std::string> expected = {
            "hide Label1",
            "hide Label2",
            "hide Label3",
            "hide cmdCALIX",
            "hide cmdLOG",
            "show msgLAUNCHING",
            "shell open C:\\Program Files\\KVAT\\" + c.file + " (none)",
            "timer on",
        };
        EXPECT_EQ(launcher.log, expected) << c.file;
    }
}

TEST(Launching, TimerMinimisesThenRestoresTheSelection) {
    Started launcher;
    launcher.form.cmdLOG_Click();
    launcher.log.clear();
    launcher.form.Timer1_Timer();
    const std::vector<std::string> expected = {
        "state 1",       "timer off",   "show Label1",       "show Label2", "show Label3",
        "show cmdCALIX", "show cmdLOG", "hide msgLAUNCHING", "refresh",
    };
    EXPECT_EQ(launcher.log, expected);
    EXPECT_EQ(launcher.window.state, WindowState::Minimized);
    EXPECT_FALSE(launcher.window.timer_enabled);
    for (ControlId id : {Label1, Label2, Label3, cmdCALIX, cmdLOG}) {
        EXPECT_TRUE(launcher.Visible(id));
    }
    EXPECT_FALSE(launcher.Visible(msgLAUNCHING));
}

TEST(Launching, TheTimerIsArmedOncePerLaunch) {
    Started launcher;
    EXPECT_FALSE(launcher.window.timer_enabled);
    launcher.form.cmdCALIX_Click();
    EXPECT_TRUE(launcher.window.timer_enabled);
    launcher.form.Timer1_Timer();
    EXPECT_FALSE(launcher.window.timer_enabled);
    launcher.form.cmdLOG_Click();
    EXPECT_TRUE(launcher.window.timer_enabled);
}

TEST(DriverInstall, PresentInstallerRunsElevatedThenRecordsThenRechecks) {
    Started launcher;
    launcher.platform.existing_files = {kInstaller};
    launcher.platform.command_line = "/S \"C:\\a b\\log.txt\"";
    launcher.RecordDriver("1.0.0");
    launcher.ServeUsb(UsbAnswer("2.12.28"));
    launcher.form.Click(cmdUpdateUSBdriver);

    const auto& log = launcher.log;
    ASSERT_GE(log.size(), 6u);
    EXPECT_EQ(log[0], "hide cmdUpdateUSBdriver");
    EXPECT_EQ(log[1], "refresh");
    EXPECT_EQ(log[2], "exists " + kInstaller);
    EXPECT_EQ(log[3], "message USB Installation 0");
    EXPECT_EQ(log[4], "shell runas " + kInstaller + " [/S \"C:\\a b\\log.txt\"]");
    EXPECT_EQ(log[5], "save KVAT_Software/Properties/USB Version=2.12.28");
    EXPECT_EQ(log[6], "title KVAT_Software");  // the start-up check runs again
    EXPECT_EQ(log.back(), "refresh");
    EXPECT_EQ(launcher.window.messages.at(0).text, kInstallText);

    // The re-run check sees the recorded version and finds it current.
    EXPECT_EQ(launcher.Caption(txtUSBDriverVersion),
              "USB Driver installed and is latest version: 2.12.28");
    EXPECT_FALSE(launcher.Visible(cmdUpdateUSBdriver));
}

TEST(DriverInstall, WithoutArgumentsTheInstallerGetsNoParameters) {
    Started launcher;
    launcher.platform.existing_files = {kInstaller};
    launcher.form.cmdUpdateUSBdriver_Click();
    EXPECT_GE(launcher.Position("shell runas " + kInstaller + " (none)"), 0);
}

TEST(DriverInstall, RecheckShowsTheButtonAgainWhenTheServerDisagreesOrIsSilent) {
    for (const std::string& answer : {UsbAnswer("2.12.30"), std::string()}) {
        Started launcher;
        launcher.platform.existing_files = {kInstaller};
        launcher.ServeUsb(answer);
        launcher.form.cmdUpdateUSBdriver_Click();
        EXPECT_TRUE(launcher.Visible(cmdUpdateUSBdriver)) << answer;
        EXPECT_EQ(launcher.Setting("USB Version"), "2.12.28");
        // Two more requests, software file first.
        EXPECT_LT(launcher.Position("fetch " + kSoftwareUrl),
                  launcher.Position("fetch " + kUsbUrl));
    }
}

TEST(DriverInstall, RecheckKeepsTheProgramLabelsAsTheyWere) {
    Started launcher;
    const std::string label2 = launcher.Caption(Label2);
    launcher.platform.existing_files = {kInstaller};
    launcher.form.cmdUpdateUSBdriver_Click();
    EXPECT_EQ(launcher.Caption(Label2), label2);
}

TEST(DriverInstall, MissingInstallerIsReportedAndNothingRecorded) {
    Started launcher;
    const std::string status = launcher.Caption(txtUSBDriverVersion);
    launcher.form.cmdUpdateUSBdriver_Click();
    const std::vector<std::string> expected = {
        "hide cmdUpdateUSBdriver", "refresh", "exists " + kInstaller, "message Error 16",
        "show cmdUpdateUSBdriver",
    };
    EXPECT_EQ(launcher.log, expected);
    EXPECT_EQ(launcher.window.messages.at(0).text, "Driver File Not Found.");
    EXPECT_EQ(launcher.Setting("USB Version"), std::nullopt);
    EXPECT_EQ(launcher.Caption(txtUSBDriverVersion), status);
}

TEST(DriverInstall, MissingInstallerKeepsAnEarlierRecord) {
    Started launcher;
    launcher.RecordDriver("2.08.30");
    launcher.form.cmdUpdateUSBdriver_Click();
    EXPECT_EQ(launcher.Setting("USB Version"), "2.08.30");
}

TEST(DriverInstall, AnErrorInTheRecheckReachesTheCallerAfterTheRecord) {
    Started launcher;
    launcher.platform.existing_files = {kInstaller};
    launcher.platform.fail_save_of = "WindowsOS";
    EXPECT_THROW(launcher.form.cmdUpdateUSBdriver_Click(), LauncherError);
    EXPECT_EQ(launcher.Setting("USB Version"), "2.12.28");
    EXPECT_FALSE(launcher.Visible(cmdUpdateUSBdriver));
}

TEST(DriverInstall, AnErrorSavingTheRecordSkipsTheRecheck) {
    Started launcher;
    launcher.platform.existing_files = {kInstaller};
    launcher.platform.fail_save_of = "USB Version";
    EXPECT_THROW(launcher.form.cmdUpdateUSBdriver_Click(), LauncherError);
    EXPECT_EQ(launcher.Position("title KVAT_Software"), -1);
    EXPECT_GE(launcher.Position("shell runas " + kInstaller + " (none)"), 0);
}

TEST(WebLinks, EachButtonOpensItsPageAndLeavesTheWindowAlone) {
    Started launcher;
    launcher.form.Click(cmdDownloadSoftware);
    launcher.form.Click(cmdWEBSITE);
    launcher.form.Click(cmdWEBSITE);
    const std::vector<std::string> expected = {
        "shell open http://vendor.test/download/KVAT_Software_Download.htm (none)",
        "shell open http://vendor.test (none)",
        "shell open http://vendor.test (none)",
    };
    EXPECT_EQ(launcher.log, expected);
}

TEST(WebLinks, HostWithAPortKeepsIt) {
    CallLog log;
    FakeWindow window{log};
    FakePlatform platform{log};
    Form1 form(window, platform, "127.0.0.1:8080");
    form.cmdWEBSITE_Click();
    EXPECT_EQ(log, std::vector<std::string>{"shell open http://127.0.0.1:8080 (none)"});
}

TEST(WebLinks, HttpsHostServesBothFetchesAndBothPages) {
    CallLog log;
    FakeWindow window{log};
    FakePlatform platform{log};
    Form1 form(window, platform, "https://vendor.test:8443");
    form.Form_Load();
    form.cmdDownloadSoftware_Click();
    form.cmdWEBSITE_Click();
    std::vector<std::string> web;
    std::copy_if(log.begin(), log.end(), std::back_inserter(web), [](const std::string& call) {
        return call.starts_with("fetch ") || call.starts_with("shell ");
    });
    const std::vector<std::string> expected = {
        "fetch https://vendor.test:8443/download/KVAT_Software/KVAT_Software_Version.txt",
        "fetch https://vendor.test:8443/download/KVAT_Software/KVAT_USB_Version.txt",
        "shell open https://vendor.test:8443/download/KVAT_Software_Download.htm (none)",
        "shell open https://vendor.test:8443 (none)",
    };
    EXPECT_EQ(web, expected);
}

// Every handler that calls the shell, against each answer the shell may give. A launch that did
// not happen is never treated as one: nothing is recorded, no timer runs, and the user is told
// why, unless the user declined the shell's prompt.
TEST(ShellAnswers, EachHandlerActsOnWhatTheShellDid) {
    const ShellAnswer started;
    const ShellAnswer not_found{2, "File not found."};
    const ShellAnswer no_association{1155, "No associated application."};
    const ShellAnswer cancelled{1223, "Operation canceled by user."};
    const std::vector<std::string> selection_back = {"show Label1", "show Label2",
                                                     "show Label3", "show cmdCALIX",
                                                     "show cmdLOG", "hide msgLAUNCHING"};
    const auto then = [](std::vector<std::string> calls, std::string_view call) {
        calls.emplace_back(call);
        return calls;
    };
    const std::string log_missing =
        "KVAT_Log.exe could not be started.\r\n\r\nLooked for in: C:\\Program Files\\KVAT\r\n"
        "Windows says: File not found.";
    const std::string page_unopened =
        "The web page could not be opened.\r\n\r\nWindows says: No associated application."
        "\r\n\r\nType this address into a web browser:\r\nhttp://vendor.test";
    struct Case {
        ControlId button;
        ShellAnswer answer;
        // The calls after the shell's, all of them; "..." at the end: and more after these.
        std::vector<std::string> after_shell;
        std::string message;  // the message box's text, or none
    };
    const std::vector<Case> cases = {
        {cmdLOG, started, {"timer on"}, ""},
        {cmdLOG, not_found, then(selection_back, "message Error 16"), log_missing},
        {cmdCALIX, no_association, then(selection_back, "message Error 16"),
         "Calix_KVAT.exe could not be started.\r\n\r\nLooked for in: C:\\Program Files\\KVAT\r\n"
         "Windows says: No associated application."},
        {cmdCALIX, cancelled, selection_back, ""},
        {cmdUpdateUSBdriver,
         started,
         {"save KVAT_Software/Properties/USB Version=2.12.28", "title KVAT_Software", "..."},
         ""},
        {cmdUpdateUSBdriver,
         {193, "Bad EXE format for CDM21228_Setup.exe."},
         {"message Error 16", "show cmdUpdateUSBdriver"},
         "CDM21228_Setup.exe could not be started.\r\n\r\nLooked for in: C:\\Program "
         "Files\\KVAT\r\nWindows says: Bad EXE format for CDM21228_Setup.exe."},
        {cmdUpdateUSBdriver, cancelled, {"show cmdUpdateUSBdriver"}, ""},
        {cmdWEBSITE, started, {}, ""},
        {cmdWEBSITE, no_association, {"message Error 16"}, page_unopened},
        {cmdDownloadSoftware,
         not_found,
         {"message Error 16"},
         "The web page could not be opened.\r\n\r\nWindows says: File not found.\r\n\r\nType this "
         "address into a web browser:\r\nhttp://vendor.test/download/KVAT_Software_Download.htm"},
        {cmdDownloadSoftware, cancelled, {}, ""},
    };
    for (const Case& c : cases) {
        const std::string row =
            std::string(Describe(c.button).name) + " " + std::to_string(c.answer.error);
        Started launcher;
        launcher.platform.existing_files = {kInstaller};
        launcher.platform.shell_answer = c.answer;
        launcher.form.Click(c.button);

        const auto shell =
            std::find_if(launcher.log.begin(), launcher.log.end(),
                         [](const std::string& call) { return call.starts_with("shell "); });
        ASSERT_NE(shell, launcher.log.end()) << row;
        std::vector<std::string> after(std::next(shell), launcher.log.end());
        // The message shown after the shell answered, if any (the driver's instruction comes
        // before).
        const bool told = std::ranges::count_if(after, [](const std::string& call) {
                              return call.starts_with("message ");
                          }) == 1;
        EXPECT_EQ(told ? launcher.window.messages.back().text : "", c.message) << row;
        if (!c.after_shell.empty() && c.after_shell.back() == "...") {
            after.resize(std::min(after.size(), c.after_shell.size() - 1));
            after.push_back("...");
        }
        EXPECT_EQ(after, c.after_shell) << row;
        // The window is never minimised by a click; only a launch that happened arms the timer,
        // and only an installer that started is recorded.
        EXPECT_EQ(launcher.window.state, WindowState::Normal) << row;
        EXPECT_EQ(launcher.window.timer_enabled,
                  c.answer.started() && c.button != cmdUpdateUSBdriver && c.button != cmdWEBSITE &&
                      c.button != cmdDownloadSoftware)
            << row;
        EXPECT_EQ(launcher.Setting("USB Version").has_value(),
                  c.answer.started() && c.button == cmdUpdateUSBdriver)
            << row;
    }
}

TEST(Exit, ClosesTheWindowEvenWhileLaunching) {
    Started launcher;
    launcher.form.cmdCALIX_Click();
    launcher.log.clear();
    launcher.form.Click(cmdEXIT);
    EXPECT_EQ(launcher.log, std::vector<std::string>{"close"});
    EXPECT_TRUE(launcher.window.closed);
    EXPECT_TRUE(launcher.Visible(msgLAUNCHING));  // nothing is restored on the way out
}

TEST(Clicks, ControlsWithoutAClickHandlerDoNothing) {
    Started launcher;
    for (ControlId id : {Label1, Label2, Label3, msgLAUNCHING, Frame1, txtThisVersion,
                         txtServerVersion, txtThisDriverVersion, txtUSBDriverVersion}) {
        launcher.form.Click(id);
    }
    EXPECT_TRUE(launcher.log.empty());
}

}  // namespace
}  // namespace kvat::testing
