#include "launcher/check_outcome.h"

#include "launcher/constants.h"

namespace kvat {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

void AppendFile(std::string& report, std::string_view title, const VersionFileOutcome& file) {
    report.append(title).append(": ").append(file.address).append(kLineEnd);
    if (!file.answer.final_url.empty()) {
        report.append(text::kReportRedirected).append(file.answer.final_url).append(kLineEnd);
    }
    report.append(text::kReportOutcome);
    if (file.answer.failure != FetchFailure::None) {
        report.append(text::kReportNoAnswer);
    } else {
        report.append("HTTP ").append(std::to_string(file.answer.status));
        if (file.version.empty()) {
            report.append(text::kReportNotAccepted);
        } else {
            report.append(text::kReportAccepted).append(file.version);
        }
    }
    report.append(kLineEnd);
    if (!file.reason.empty()) {
        report.append(text::kReportReason).append(file.reason).append(kLineEnd);
    }
}

}  // namespace

std::string Explanation(std::string_view file_title, const VersionFileOutcome& file) {
    std::string explanation(file_title);
    explanation.append(": ").append(file.address).append(kLineEnd);
    return explanation.append(text::kReasonLead).append(file.reason);
}

std::string SupportReport(std::string_view vendor_address, const CheckOutcome& check,
                          std::string_view windows_version) {
    std::string report(text::kReportTitle);
    report.append(kThisVersion).append(text::kReportTitleEnd).append(kLineEnd);
    report.append(text::kReportVendorHost).append(vendor_address).append(kLineEnd);
    AppendFile(report, text::kSoftwareFileTitle, check.software);
    AppendFile(report, text::kUsbFileTitle, check.driver);
    report.append(text::kReportRecordedDriver)
        .append(check.recorded_driver == kNoDriverRecord ? text::kReportNone
                                                         : std::string_view(check.recorded_driver))
        .append(kLineEnd);
    return report.append(text::kReportWindows)
        .append(windows_version.empty() ? text::kReportUnknown : windows_version)
        .append(kLineEnd);
}

}  // namespace kvat
