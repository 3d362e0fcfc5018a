#include "launcher/win32/error_report.h"

#include <exception>
#include <new>

#include "platform/launcher_error.h"
#include "platform/win32/text_conversion.h"

namespace kvat::win32 {
namespace {

// Numbers for failures that carry none of their own.
constexpr long kOutOfMemory = 7;
constexpr long kInternalError = 51;

}  // namespace

ErrorReport DescribeCurrentException() {
    try {
        throw;
    } catch (const LauncherError& error) {
        return {error.number(), error.what()};
    } catch (const std::bad_alloc&) {
        return {kOutOfMemory, "Out of memory"};
    } catch (const std::exception& error) {
        return {kInternalError, error.what()};
    } catch (...) {
        return {kInternalError, "Unknown error"};
    }
}

std::string ErrorReportText(const ErrorReport& report) {
    return "Error " + std::to_string(report.number) + ":\r\n\r\n" + report.description;
}

void ShowErrorReport(HWND owner, std::string_view title, const ErrorReport& report) {
    MessageBoxW(owner, Widen(ErrorReportText(report)).c_str(), Widen(title).c_str(),
                MB_OK | MB_ICONERROR);
}

}  // namespace kvat::win32
