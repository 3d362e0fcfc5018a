// Stands in for the programs the launcher starts (its siblings, the driver installer, the web
// browser). Each start appends one line to "<own name>.record" beside the executable: the raw
// command line and the working directory, as JSON in UTF-8. It shows nothing and exits at once,
// so the launcher's session goes on undisturbed.
#include <windows.h>

#include <string>

#include "json_text.h"

namespace {

std::wstring OwnPath() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

std::wstring CurrentDirectory() {
    std::wstring directory(32768, L'\0');
    directory.resize(GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data()));
    return directory;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using kvat_e2e::Json;
    const std::wstring own = OwnPath();
    const std::size_t slash = own.find_last_of(L"\\/");
    const std::size_t dot = own.find_last_of(L'.');
    const std::wstring stem =
        dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)
            ? own.substr(0, dot)
            : own;

    const std::string line = "{\"command_line\": " + Json(GetCommandLineW()) +
                             ", \"cwd\": " + Json(CurrentDirectory()) +
                             ", \"time\": " + std::to_string(kvat_e2e::UnixTime()) + "}\n";

    // One append per start; several stand-ins may write at once, so the line goes in one write.
    const HANDLE file = CreateFileW((stem + L".record").c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == line.size() ? 0 : 1;
}
