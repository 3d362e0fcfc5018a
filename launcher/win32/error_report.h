// How the launcher reports an error that ended a handler: a message box with the error's
// number and description, titled with the application title.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace kvat::win32 {

struct ErrorReport {
    long number;
    std::string description;
};

// Call from inside a catch block: describes the exception being handled.
ErrorReport DescribeCurrentException();

std::string ErrorReportText(const ErrorReport& report);

void ShowErrorReport(HWND owner, std::string_view title, const ErrorReport& report);

// The exit code of a launcher that ended on an error.
inline constexpr int kErrorExitCode = 1;

}  // namespace kvat::win32
