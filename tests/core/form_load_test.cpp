// The start-up status check: what one pass shows, saves and in which order.
#include <gtest/gtest.h>

#include "fakes.h"
#include "this_version.h"

namespace kvat::testing {
namespace {

using enum ControlId;

const std::string kLatestSoftware =
    "Latest Software Available on Server:  " KVAT_THIS_VERSION "\r\nYou have the latest software.";
const std::string kUnverified =
    "Latest Software Available:  UNABLE TO VERIFY\r\nCheck internet connection.";
const std::string kNotInstalled = "USB Driver not installed.  Click to install.";
const std::string kOutdated =
    "USB Driver is not the latest version OR Internet not available to check server version.  "
    "Click to install.";

TEST(SoftwareStatus, ServerOffersOwnVersion) {
    Launcher launcher;
    launcher.ServeSoftware(SoftwareAnswer(KVAT_THIS_VERSION));
    launcher.form.Form_Load();
    EXPECT_EQ(launcher.form.strServerVersion, KVAT_THIS_VERSION);
    EXPECT_EQ(launcher.Caption(txtThisVersion), "This Software Version:  " KVAT_THIS_VERSION);
    EXPECT_EQ(launcher.Caption(txtServerVersion), kLatestSoftware);
    EXPECT_FALSE(launcher.Visible(cmdDownloadSoftware));
    EXPECT_TRUE(launcher.Visible(txtThisVersion));
    EXPECT_TRUE(launcher.Visible(txtServerVersion));
}

TEST(SoftwareStatus, AnyOtherVersionIsOfferedNewerOlderOrOtherCase) {
    for (const std::string& version :
         {NeighbourVersion(1), NeighbourVersion(-1), std::string("1.95"), std::string("9.5 ")}) {
        Launcher launcher;
        launcher.ServeSoftware(SoftwareAnswer(version));
        launcher.form.Form_Load();
        EXPECT_EQ(launcher.Caption(txtServerVersion),
                  "Latest Software Available:  " + version +
                      "\r\nYou DO NOT have the latest software. Click to update now.")
            << version;
        EXPECT_TRUE(launcher.Visible(cmdDownloadSoftware)) << version;
    }
}

TEST(SoftwareStatus, AnswersOfTheWrongLengthCountAsNoAnswer) {
    const std::string good = SoftwareAnswer(KVAT_THIS_VERSION);
    const std::vector<std::string> answers = {
        good + "\r\n",             // a line break at the end counts
        good.substr(1),            // 25 characters
        good + " ",                // 27 characters
        "",                        // nothing
        "<html>Not Found</html>",  // an error page
    };
    for (const std::string& answer : answers) {
        Launcher launcher;
        launcher.ServeSoftware(answer);
        launcher.form.Form_Load();
        EXPECT_EQ(launcher.form.strServerVersion, "") << answer;
        EXPECT_EQ(launcher.Caption(txtServerVersion), kUnverified) << answer;
        EXPECT_FALSE(launcher.Visible(cmdDownloadSoftware)) << answer;
    }
}

TEST(SoftwareStatus, DownloadButtonShownByOnePassIsHiddenAtTheNextUnansweredOne) {
    Launcher launcher;
    launcher.ServeSoftware(SoftwareAnswer(NeighbourVersion(1)));
    launcher.form.Form_Load();
    ASSERT_TRUE(launcher.Visible(cmdDownloadSoftware));
    launcher.ServeSoftware("");
    launcher.form.Form_Load();
    EXPECT_FALSE(launcher.Visible(cmdDownloadSoftware));
    EXPECT_EQ(launcher.Caption(txtServerVersion), kUnverified);
}

TEST(SoftwareStatus, OnlyTheLeadingCharactersAreFreeText) {
    Launcher launcher;
    launcher.ServeSoftware("anything at all, 22 ch" KVAT_THIS_VERSION);
    launcher.form.Form_Load();
    EXPECT_EQ(launcher.form.strServerVersion, KVAT_THIS_VERSION);
    EXPECT_FALSE(launcher.Visible(cmdDownloadSoftware));
}

TEST(DriverStatus, NoRecordMeansNotInstalledWhateverTheServerSays) {
    for (const std::string& answer : {UsbAnswer("2.12.28"), std::string()}) {
        Launcher launcher;
        launcher.ServeUsb(answer);
        launcher.form.Form_Load();
        EXPECT_EQ(launcher.form.strThisDriverVersion, "DNE");
        EXPECT_EQ(launcher.Caption(txtThisDriverVersion), "USB Driver Version not found.");
        EXPECT_EQ(launcher.Caption(txtUSBDriverVersion), kNotInstalled);
        EXPECT_TRUE(launcher.Visible(cmdUpdateUSBdriver));
        EXPECT_TRUE(launcher.Visible(txtUSBDriverVersion));
    }
}

TEST(DriverStatus, RecordedMarkerIsNoRecordButLowerCaseMarkerIsAVersion) {
    Launcher marker;
    marker.RecordDriver("DNE");
    marker.ServeUsb(UsbAnswer("2.12.28"));
    marker.form.Form_Load();
    EXPECT_EQ(marker.Caption(txtThisDriverVersion), "USB Driver Version not found.");
    EXPECT_EQ(marker.Caption(txtUSBDriverVersion), kNotInstalled);

    Launcher lower;
    lower.RecordDriver("dne");
    lower.ServeUsb(UsbAnswer("2.12.28"));
    lower.form.Form_Load();
    EXPECT_EQ(lower.Caption(txtThisDriverVersion), "USB Driver Version found:  dne");
    EXPECT_EQ(lower.Caption(txtUSBDriverVersion), kOutdated);
    EXPECT_TRUE(lower.Visible(cmdUpdateUSBdriver));
}

TEST(DriverStatus, RecordedVersionMatchingTheServerIsLatest) {
    Launcher launcher;
    launcher.RecordDriver("2.12.28");
    launcher.ServeUsb(UsbAnswer("2.12.28"));
    launcher.form.Form_Load();
    EXPECT_EQ(launcher.Caption(txtThisDriverVersion), "USB Driver Version found:  2.12.28");
    EXPECT_EQ(launcher.Caption(txtUSBDriverVersion),
              "USB Driver installed and is latest version: 2.12.28");
    EXPECT_FALSE(launcher.Visible(cmdUpdateUSBdriver));
}

TEST(DriverStatus, DriverVersionsDifferingOnlyInLetterCaseAreEqual) {
    Launcher launcher;
    launcher.RecordDriver("2.12.2A");
    launcher.ServeUsb(UsbAnswer("2.12.2a"));
    launcher.form.Form_Load();
    EXPECT_EQ(launcher.Caption(txtUSBDriverVersion),
              "USB Driver installed and is latest version: 2.12.2A");
    EXPECT_FALSE(launcher.Visible(cmdUpdateUSBdriver));
}

TEST(DriverStatus, OtherOrMissingServerVersionAsksToInstall) {
    for (const std::string& answer :
         {UsbAnswer("2.12.30"), UsbAnswer("2.12.28") + "\r\n", std::string()}) {
        Launcher launcher;
        launcher.RecordDriver("2.12.28");
        launcher.ServeUsb(answer);
        launcher.form.Form_Load();
        EXPECT_EQ(launcher.Caption(txtUSBDriverVersion), kOutdated) << answer;
        EXPECT_TRUE(launcher.Visible(cmdUpdateUSBdriver)) << answer;
    }
}

TEST(DriverStatus, NoServerAnswerNeverConfirmsAnEmptyRecord) {
    Launcher launcher;
    launcher.RecordDriver("");
    launcher.form.Form_Load();
    EXPECT_EQ(launcher.Caption(txtThisDriverVersion), "USB Driver Version found:  ");
    EXPECT_EQ(launcher.Caption(txtUSBDriverVersion), kOutdated);
    EXPECT_TRUE(launcher.Visible(cmdUpdateUSBdriver));
}

TEST(DriverStatus, TheDriverVersionIsTheLastSevenCharacters) {
    Launcher launcher;
    launcher.RecordDriver("2.12.28");
    launcher.ServeUsb("12345678901234567" + std::string("2.12.28"));
    launcher.form.Form_Load();
    EXPECT_EQ(launcher.form.strServerDriverVersion, "2.12.28");
    launcher.ServeUsb("1234567890123456" + std::string("2.12.28"));  // 23 characters
    launcher.form.Form_Load();
    EXPECT_EQ(launcher.form.strServerDriverVersion, "");
}

FetchAnswer Failed(FetchFailure failure, std::string detail = {}) {
    FetchAnswer answer;
    answer.failure = failure;
    answer.failure_detail = std::move(detail);
    return answer;
}

FetchAnswer Status(long status) {
    FetchAnswer answer;
    answer.status = status;
    return answer;
}

// Every way a version file can leave its status unverified, and what the status then says over
// itself on demand: the file, the address asked and the reason, in the words the vendor's check
// prints too.
TEST(StatusExplanation, EachOutcomeHasItsReasonNamingTheAddress) {
    const std::string good = SoftwareAnswer(KVAT_THIS_VERSION);
    const std::vector<std::pair<FetchAnswer, std::string>> software = {
        {Failed(FetchFailure::NameNotFound), "host name not found"},
        {Failed(FetchFailure::CouldNotConnect, "[::1]:8080"),
         "could not connect to [::1]:8080 (refused, unreachable or blocked)"},
        {Failed(FetchFailure::TimedOut), "no answer within 60 s"},
        {Failed(FetchFailure::ConnectionCut),
         "the connection ended before the whole answer arrived"},
        {Failed(FetchFailure::ClosedWithoutAnswer),
         "the server closed the connection without answering"},
        {Failed(FetchFailure::CertificateUntrusted),
         "the server's certificate comes from an authority this computer does not trust"},
        {Failed(FetchFailure::CertificateOtherName),
         "the server's certificate is for another name"},
        {Failed(FetchFailure::CertificateNotVerified),
         "the server's certificate could not be verified: its authority is not trusted, its "
         "chain is incomplete, or whether it was revoked could not be checked"},
        {Failed(FetchFailure::CertificateRevoked), "the server's certificate has been revoked"},
        {Failed(FetchFailure::CertificateInvalid), "the server's certificate is not valid"},
        {Failed(FetchFailure::CertificateWrongUse),
         "the server's certificate is not meant for this use"},
        {Failed(FetchFailure::ClientCertificateAsked),
         "the server asks for a client certificate, which the launcher does not have"},
        {Failed(FetchFailure::RedirectHttpsToHttp),
         "a redirect from https back to plain http, which the launcher refuses"},
        {Failed(FetchFailure::RedirectLimit), "more than 5 redirects (a loop or too long a chain)"},
        {Failed(FetchFailure::TooLarge), "more than 4096 bytes: the launcher stops reading there"},
        {Failed(FetchFailure::Skipped), "skipped: the user stopped waiting for the server"},
        {Failed(FetchFailure::Other, "network error 12157"), "network error 12157"},
        {Status(404), "HTTP status 404: the file is not on the server"},
        {Status(407), "HTTP status 407: a login is asked for, and the launcher never sends one"},
        {Status(403), "HTTP status 403: the server refuses to give the file"},
        {Status(503), "HTTP status 503: an error on the server's side"},
        {Status(300), "HTTP status 300"},
        {Launcher::Ok(good + "\r\n"),
         "28 characters, 2 too many: the file ends with a line break (CR LF)"},
        {Launcher::Ok(""), "0 characters, 26 too few: the file is empty"},
    };
    for (const auto& [answer, reason] : software) {
        Launcher launcher;
        launcher.platform.answers[kSoftwareUrl] = answer;
        launcher.form.Form_Load();
        ASSERT_EQ(launcher.Caption(txtServerVersion), kUnverified) << reason;
        EXPECT_EQ(launcher.form.StatusExplanation(txtServerVersion),
                  "Software version file: " + kSoftwareUrl + "\r\nReason: " + reason);
        // The next check that verifies leaves nothing to explain.
        launcher.ServeSoftware(good);
        launcher.form.Form_Load();
        EXPECT_EQ(launcher.form.StatusExplanation(txtServerVersion), "") << reason;
    }

    // The driver status explains only its "not the latest version OR Internet not available".
    const std::vector<std::tuple<std::optional<std::string>, FetchAnswer, std::string>> driver = {
        {"2.12.28", Launcher::Ok(UsbAnswer("2.12.30")),
         "the version 2.12.30 differs from the recorded 2.12.28"},
        {"dne", Launcher::Ok(UsbAnswer("2.12.28")),
         "the version 2.12.28 differs from the recorded dne"},
        {"2.12.28", Status(404), "HTTP status 404: the file is not on the server"},
        {"2.12.28", Launcher::Ok(UsbAnswer("2.12.28")), ""},        // latest
        {std::nullopt, Failed(FetchFailure::CouldNotConnect), ""},  // not installed
        {"", Failed(FetchFailure::CouldNotConnect, "[::1]:8080"),
         "could not connect to [::1]:8080 (refused, unreachable or blocked)"},  // empty record
    };
    for (const auto& [record, answer, reason] : driver) {
        Launcher launcher;
        if (record) {
            launcher.RecordDriver(*record);
        }
        launcher.platform.answers[kUsbUrl] = answer;
        launcher.form.Form_Load();
        EXPECT_EQ(
            launcher.form.StatusExplanation(txtUSBDriverVersion),
            reason.empty() ? "" : "USB driver version file: " + kUsbUrl + "\r\nReason: " + reason)
            << record.value_or("no record");
    }
}

TEST(WindowsGeneration, MajorVersionAboveFiveIsVista) {
    for (const auto& [major, expected] : std::vector<std::pair<int, std::string>>{
             {6, "Vista"}, {10, "Vista"}, {5, "XP"}, {0, "XP"}}) {
        Launcher launcher;
        launcher.platform.windows_major = major;
        launcher.form.Form_Load();
        EXPECT_EQ(launcher.Setting("WindowsOS"), expected) << major;
    }
}

TEST(WindowsGeneration, RewrittenOnEveryPass) {
    Launcher launcher;
    launcher.platform.windows_major = 5;
    launcher.form.Form_Load();
    launcher.platform.windows_major = 6;
    launcher.form.Form_Load();
    EXPECT_EQ(launcher.Setting("WindowsOS"), "Vista");
}

TEST(SettingsSection, FirstRunFindsTheSectionMadeByWindowsOsAndSkipsVersion) {
    Launcher launcher;
    launcher.form.Form_Load();
    EXPECT_EQ(launcher.Setting("WindowsOS"), "Vista");
    EXPECT_EQ(launcher.Setting("Version"), std::nullopt);
    const long save = launcher.Position("save KVAT_Software/Properties/WindowsOS=Vista");
    const long probe = launcher.Position(
        "probe HKCU\\Software\\VB and VBA Program Settings\\KVAT_Software\\Properties\\");
    ASSERT_GE(save, 0);
    EXPECT_GT(probe, save);
}

TEST(SettingsSection, MissingSectionRecordsTheVersionUnderTheAppTitle) {
    Launcher launcher;
    launcher.platform.section_probe_fails = true;
    launcher.form.Form_Load();
    EXPECT_EQ(launcher.Setting("Version"), KVAT_THIS_VERSION);
    // Both server files are still fetched when the section had to be made.
    EXPECT_GE(launcher.Position("fetch " + kSoftwareUrl), 0);
    EXPECT_GE(launcher.Position("fetch " + kUsbUrl), 0);
}

TEST(PassOrder, StepsRunInTheirFixedOrder) {
    Launcher launcher;
    launcher.ServeSoftware(SoftwareAnswer(KVAT_THIS_VERSION));
    launcher.ServeUsb(UsbAnswer("2.12.28"));
    launcher.form.Form_Load();
    const std::vector<std::string> expected = {
        "title KVAT_Software",
        "hide txtThisVersion",
        "hide txtServerVersion",
        "hide txtUSBDriverVersion",
        "hide cmdDownloadSoftware",
        "winver",
        "save KVAT_Software/Properties/WindowsOS=Vista",
        "probe HKCU\\Software\\VB and VBA Program Settings\\KVAT_Software\\Properties\\",
        "fetch " + kSoftwareUrl,
        "show txtThisVersion",
        "show txtServerVersion",
        "caption txtThisVersion=This Software Version:  " KVAT_THIS_VERSION,
        "caption txtServerVersion=" + kLatestSoftware,
        "hide cmdDownloadSoftware",
        "probe HKLM\\SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+00000001A\\0000\\"
        "Device Parameters",
        "fetch " + kUsbUrl,
        "get KVAT_Software/Properties/USB Version",
        "caption txtThisDriverVersion=USB Driver Version not found.",
        "show txtUSBDriverVersion",
        "caption txtUSBDriverVersion=" + kNotInstalled,
        "show cmdUpdateUSBdriver",
        "caption Label2=CALIX\r\n\r\n",
        "caption Label2=CALIX\r\n\r\nSETUP AND TUNING\r\n",
        "caption Label3=KVAT LOG\r\n\r\n",
        "caption Label3=KVAT LOG\r\n\r\nDIAGNOSING AND TESTING\r\n",
        "refresh",
    };
    EXPECT_EQ(launcher.log, expected);
}

TEST(PassOrder, TheFtdiKeyChangesNothing) {
    Launcher without;
    without.form.Form_Load();
    Launcher with;
    with.platform.ftdi_key_exists = true;
    with.form.Form_Load();
    EXPECT_EQ(without.log, with.log);
    EXPECT_EQ(without.platform.settings, with.platform.settings);
}

TEST(PassOrder, SettingsUseTheAppTitleSetAtTheStart) {
    Launcher launcher;
    launcher.platform.app_title = "SomethingElse";
    launcher.RecordDriver("2.12.28");
    launcher.platform.section_probe_fails = true;
    launcher.form.Form_Load();
    EXPECT_GE(launcher.Position("get KVAT_Software/Properties/USB Version"), 0);
    EXPECT_GE(launcher.Position("save KVAT_Software/Properties/Version=" KVAT_THIS_VERSION), 0);
}

TEST(RepeatedPasses, RebuildTheSameCaptions) {
    Launcher launcher;
    launcher.ServeSoftware(SoftwareAnswer(KVAT_THIS_VERSION));
    launcher.form.Form_Load();
    const std::string label2 = launcher.Caption(Label2);
    const std::string label3 = launcher.Caption(Label3);
    EXPECT_EQ(label2, "CALIX\r\n\r\nSETUP AND TUNING\r\n");
    EXPECT_EQ(label3, "KVAT LOG\r\n\r\nDIAGNOSING AND TESTING\r\n");
    launcher.form.Form_Load();
    launcher.form.Form_Load();
    EXPECT_EQ(launcher.Caption(Label2), label2);
    EXPECT_EQ(launcher.Caption(Label3), label3);
}

TEST(RepeatedPasses, NoPlaceholderCaptionSurvivesAPass) {
    Launcher launcher;
    launcher.form.Form_Load();
    for (ControlId id : {txtThisVersion, txtServerVersion, txtThisDriverVersion,
                         txtUSBDriverVersion, Label2, Label3}) {
        EXPECT_NE(launcher.Caption(id), Describe(id).caption) << Describe(id).name;
    }
}

TEST(Errors, AFailingStepEndsThePassAndKeepsWhatWasDone) {
    Launcher launcher;
    launcher.platform.section_probe_fails = true;
    launcher.platform.fail_save_of = "Version";
    EXPECT_THROW(launcher.form.Form_Load(), LauncherError);
    EXPECT_EQ(launcher.Setting("WindowsOS"), "Vista");
    EXPECT_EQ(launcher.form.strThisVersion, KVAT_THIS_VERSION);
    EXPECT_FALSE(launcher.Visible(txtThisVersion));  // hidden at the start, never shown again
    EXPECT_EQ(launcher.Position("fetch " + kSoftwareUrl), -1);
    EXPECT_EQ(launcher.Caption(Label2), "CALIX");
}

TEST(Errors, AFetchThatThrowsEndsThePassBeforeTheDriverStatus) {
    Launcher launcher;
    launcher.platform.fetch_hook = [](std::string_view url) {
        if (url.find("USB") != std::string_view::npos) {
            throw LauncherError(35761, "request timed out");
        }
    };
    launcher.ServeSoftware(SoftwareAnswer(KVAT_THIS_VERSION));
    EXPECT_THROW(launcher.form.Form_Load(), LauncherError);
    EXPECT_EQ(launcher.Caption(txtServerVersion), kLatestSoftware);
    EXPECT_EQ(launcher.Caption(txtUSBDriverVersion), "txtUSBDriverVersion");
}

}  // namespace
}  // namespace kvat::testing
