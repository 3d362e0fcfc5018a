#include "tools/server_check/server_check.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "launcher/constants.h"
#include "launcher/form1.h"
#include "launcher/vendor_address.h"
#include "launcher/version_text.h"
#include "platform/ascii.h"
#include "tools/server_check/check_platform.h"
#include "tools/server_check/text_window.h"

namespace kvat::server_check {
namespace {

using enum ControlId;

constexpr std::size_t kContentShown = 80;  // characters of an answer quoted in the report

// Line breaks and other control characters spelled out, so that they can be seen.
std::string Visible(std::string_view text) {
    std::string shown;
    for (char c : text) {
        if (c == '\r') {
            shown += "<CR>";
        } else if (c == '\n') {
            shown += "<LF>";
        } else if (c == '\t') {
            shown += "<TAB>";
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "<%02X>", static_cast<unsigned char>(c));
            shown += code;
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string Quoted(std::string_view text) {
    const std::string shown = Visible(text);
    // Cut after kContentShown characters, at a character boundary.
    std::size_t end = 0;
    for (std::size_t characters = 0; characters < kContentShown && end < shown.size();
         ++characters) {
        do {
            ++end;
        } while (end < shown.size() && (static_cast<unsigned char>(shown[end]) & 0xC0) == 0x80);
    }
    std::string quoted(1, '"');
    quoted.append(shown, 0, end).append(1, '"');
    if (end < shown.size()) {
        quoted.append("...");
    }
    return quoted;
}

constexpr long kBadRequest = 400;

bool Is2xx(long status) {
    return status >= 200 && status <= 299;
}

struct VersionFile {
    std::string_view title;
    std::string_view path;
    std::size_t length;
    const std::string* version;  // the window member the pass left
};

void ReportFile(std::ostream& out, std::string_view host, const VersionFile& file,
                const std::vector<FetchRecord>& fetches) {
    const std::string address = WebAddress(host, file.path);
    out << file.title << "\n  address     " << address << "\n";
    const FetchRecord* record = nullptr;
    for (const FetchRecord& fetch : fetches) {
        if (fetch.address == address) {
            record = &fetch;
        }
    }
    if (!record) {
        out << "  accepted    no: the start-up pass did not ask for it\n";
        return;
    }
    if (!record->final_url.empty()) {
        out << "  redirected  " << record->final_url << "\n";
    }

    // The launcher's own wording of the reason, as its window explains its status.
    const std::string why = WhyNoVersion(*record, file.length);
    if (record->failure != FetchFailure::None) {
        out << "  answer      none: " << why << "\n";
        if (!record->refused_location.empty()) {
            out << "  refused     a redirect to " << record->refused_location << "\n";
        }
    } else {
        out << "  answer      HTTP " << record->status << ", " << record->bytes.size()
            << (record->bytes.size() == 1 ? " byte" : " bytes");
        if (Is2xx(record->status)) {
            out << ", " << CharacterCount(record->text) << " characters (" << file.length
                << " expected)";
            // The text the launcher counted; an error page would say nothing about the file.
            out << "\n  content     " << Quoted(record->text);
        }
        out << "\n";
    }
    if (!file.version->empty()) {
        out << "  accepted    yes: version " << Quoted(*file.version) << "\n";
    } else {
        out << "  accepted    no: " << (why.empty() ? "the launcher takes no version" : why)
            << "\n";
    }
}

// Failures a server gives when it speaks the other scheme on the port: plain http on an https
// port, or https on an http one.
bool MayBeOtherScheme(FetchFailure failure) {
    return failure == FetchFailure::ConnectionCut || failure == FetchFailure::ClosedWithoutAnswer ||
           failure == FetchFailure::SecureChannelFailed || failure == FetchFailure::Other;
}

// When the host's own address failed so, and the port does answer the other scheme, says so.
void ReportSchemeHint(std::ostream& out, std::string_view host, const Fetcher& fetcher,
                      const std::vector<FetchRecord>& fetches) {
    // nginx answers plain http on its https port with a 400 of its own.
    const bool failed_at_host = std::ranges::any_of(fetches, [](const FetchRecord& fetch) {
        return fetch.final_url.empty() &&
               (MayBeOtherScheme(fetch.failure) || fetch.status == kBadRequest);
    });
    const auto address = ParseVendorHost(host);
    if (!failed_at_host || !address) {
        return;
    }
    const bool secure = address->scheme == kHttpsScheme;
    const unsigned port = address->port != 0 ? address->port : secure ? 443 : 80;
    const std::string other = std::string(secure ? kHttpScheme : kHttpsScheme) +
                              std::string(address->host) + ":" + std::to_string(port);
    // Any answer, or a certificate to judge, shows the other scheme spoken there.
    const FetchRecord probe = fetcher(WebAddress(other, kSoftwareVersionPath));
    const bool answered = probe.status != 0 ||
                          probe.failure == FetchFailure::CertificateUntrusted ||
                          probe.failure == FetchFailure::CertificateOtherName ||
                          probe.failure == FetchFailure::CertificateDate;
    if (answered) {
        out << "Hint: port " << port << " answers " << (secure ? "plain http" : "https") << ", not "
            << (secure ? "https" : "plain http") << ": try HOST " << other << "\n\n";
    }
}

// The forms of this build's versions: X.Y (two digits, a dot, a digit) and 2.12.28's. The
// launcher takes any text of the right width; a vendor means one of these.
bool InSoftwareForm(std::string_view version) {
    return version.size() == 4 && IsAsciiDigit(version[0]) && IsAsciiDigit(version[1]) &&
           version[2] == '.' && IsAsciiDigit(version[3]);
}

bool InDriverForm(std::string_view version) {
    return version.size() == 7 && IsAsciiDigit(version[0]) && version[1] == '.' &&
           IsAsciiDigit(version[2]) && IsAsciiDigit(version[3]) && version[4] == '.' &&
           IsAsciiDigit(version[5]) && IsAsciiDigit(version[6]);
}

// The vendor's checks of the versions the launcher accepted, which the launcher does not make;
// one line each. True when none found a fault.
bool ReportVendorChecks(std::ostream& out, const Form1& form,
                        std::optional<std::string_view> recorded_driver) {
    out << "\nVendor's checks (the launcher does not make them)\n";
    bool passed = true;
    const std::string& software = form.strServerVersion;
    if (!software.empty()) {
        const bool good = InSoftwareForm(software);
        out << "  [vendor] software version  " << Quoted(software)
            << (good ? " is a version of this build's form"
                     : " is not a version: this build's versions are two digits, a dot and one "
                       "digit, such as " +
                           std::string(kThisVersion))
            << "\n";
        passed = passed && good;
    }
    const std::string& driver = form.strServerDriverVersion;
    if (!driver.empty()) {
        const std::string_view recorded = recorded_driver.value_or(kDriverVersion);
        out << "  [vendor] driver version    " << Quoted(driver);
        if (!InDriverForm(driver)) {
            out << " is not a version: driver versions are one digit, a dot, two digits, a dot "
                   "and two digits, such as "
                << kDriverVersion << "\n";
            passed = false;
        } else if (!EqualIgnoringCase(driver, recorded)) {
            out << " is not " << recorded
                << (recorded_driver
                        ? ", the recorded driver version: a launcher that recorded it would offer "
                          "the driver at every start, and installing it would not clear the "
                          "button\n"
                        : ", the driver version this build installs and records: every launcher "
                          "of this build would offer its driver at every start, and installing it "
                          "would never clear the button\n");
            passed = false;
        } else {
            out << " is the " << (recorded_driver ? "recorded" : "installed and recorded")
                << " driver version\n";
        }
    }
    if (software.empty() && driver.empty()) {
        out << "  [vendor] no version to judge: the launcher accepted neither file\n";
    }
    return passed;
}

constexpr std::string_view kIndent = "                        ";

// "  txtThisVersion        " : the control's name in a column of its own.
std::string ControlColumn(ControlId control) {
    const std::string_view name = Describe(control).name;
    return "  " + std::string(name) + std::string(kIndent.size() - 2 - name.size(), ' ');
}

// Each CR LF line of `text` on a line of its own, after `first` and then `others`.
void ReportLines(std::ostream& out, std::string_view text, std::string_view first,
                 std::string_view others) {
    for (std::size_t line = 0;; ++line) {
        const std::size_t end = text.find("\r\n");
        out << (line == 0 ? first : others) << Visible(text.substr(0, end)) << "\n";
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 2);
    }
}

// The caption, and what the window shows on hovering over it, word for word.
void ReportCaption(std::ostream& out, const TextWindow& window, ControlId control,
                   std::string_view explanation) {
    if (!window.Visible(control)) {
        out << ControlColumn(control) << "(hidden)\n";
        return;
    }
    ReportLines(out, window.Caption(control), ControlColumn(control), kIndent);
    if (!explanation.empty()) {
        const std::string tooltip = std::string(kIndent) + "[tooltip] ";
        ReportLines(out, explanation, tooltip, tooltip);
    }
}

void ReportButton(std::ostream& out, const TextWindow& window, ControlId control,
                  std::string_view what) {
    out << ControlColumn(control) << (window.Visible(control) ? "shown" : "hidden") << " (" << what
        << ")\n";
}

}  // namespace

bool CheckServer(std::string_view host, std::optional<std::string_view> recorded_driver,
                 const Fetcher& fetcher, std::ostream& out) {
    TextWindow window;
    CheckPlatform platform(fetcher, recorded_driver);
    Form1 form(window, platform, host);
    form.Form_Load();

    out << "Server check of " << WebAddress(host) << " as launcher " << kThisVersion
        << " sees it; recorded USB driver: "
        << (recorded_driver ? Quoted(*recorded_driver) : std::string("none")) << "\n\n";
    const VersionFile files[] = {
        {"Software version file", kSoftwareVersionPath, kSoftwareFileLength,
         &form.strServerVersion},
        {"USB driver version file", kUsbVersionPath, kUsbFileLength, &form.strServerDriverVersion},
    };
    for (const VersionFile& file : files) {
        ReportFile(out, host, file, platform.fetches());
        out << "\n";
    }
    ReportSchemeHint(out, host, fetcher, platform.fetches());

    out << "The launcher window would show\n";
    for (ControlId control :
         {txtThisVersion, txtServerVersion, txtThisDriverVersion, txtUSBDriverVersion}) {
        ReportCaption(out, window, control, form.StatusExplanation(control));
    }
    ReportButton(out, window, cmdDownloadSoftware, "the download button");
    ReportButton(out, window, cmdUpdateUSBdriver, "the driver install button");

    const bool software_ok = !form.strServerVersion.empty();
    const bool driver_ok = !form.strServerDriverVersion.empty();
    out << "\n";
    if (software_ok && driver_ok) {
        out << "Both version files are accepted.\n";
    } else {
        out << "Not accepted: "
            << (software_ok ? ""
                : driver_ok ? "the software version file"
                            : "the software version file and ")
            << (driver_ok ? "" : "the USB driver version file") << ".\n";
    }
    const bool vendor_ok = ReportVendorChecks(out, form, recorded_driver);
    if (!vendor_ok) {
        out << "\nThe vendor's checks found a fault: not ready for the launchers of this build.\n";
    }
    return software_ok && driver_ok && vendor_ok;
}

}  // namespace kvat::server_check
