#include "platform/win32/system_info.h"

#include <windows.h>

#include <cstdint>

#include <vector>

#include "platform/win32/system_library.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/win32_error.h"

namespace kvat::win32 {

int WindowsMajorVersion() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)  // deprecated: we want exactly what it reports
#endif
    if (!GetVersionExW(&info)) {
        return 0;
    }
    return static_cast<int>(info.dwMajorVersion);
}

std::string WindowsVersionText() {
    RTL_OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    using GetVersionFunction = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
    GetVersionFunction get_version = nullptr;
    // ntdll is in every process; RtlGetVersion has been there since Windows 2000.
    if (!ResolveExport(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion", get_version) ||
        get_version(&info) != 0) {
        return {};
    }
    std::string text = std::to_string(info.dwMajorVersion);
    text.append(".").append(std::to_string(info.dwMinorVersion));
    text.append(" build ").append(std::to_string(info.dwBuildNumber));
    if (info.szCSDVersion[0] != L'\0') {
        text.append(" ").append(Narrow(info.szCSDVersion));
    }
    return text;
}

std::string ExecutableFolder() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            ThrowLastError("Finding the launcher folder");
        }
        if (length < path.size()) {
            std::wstring_view full(path.data(), length);
            return Narrow(full.substr(0, full.find_last_of(L"\\/")));
        }
        path.resize(path.size() * 2);
    }
}

std::wstring_view ArgumentsOf(std::wstring_view command_line) {
    std::size_t i = 0;
    if (!command_line.empty() && command_line[0] == L'"') {
        const std::size_t close = command_line.find(L'"', 1);
        i = close == std::wstring_view::npos ? command_line.size() : close + 1;
    } else {
        while (i < command_line.size() && command_line[i] != L' ' && command_line[i] != L'\t') {
            ++i;
        }
    }
    while (i < command_line.size() && (command_line[i] == L' ' || command_line[i] == L'\t')) {
        ++i;
    }
    return command_line.substr(i);
}

std::string ArgumentText() {
    return Narrow(ArgumentsOf(GetCommandLineW()));
}

bool FileExists(std::string_view path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::chrono::steady_clock::time_point ProcessStartTime() {
    const auto now = std::chrono::steady_clock::now();
    FILETIME created{}, exited{}, kernel{}, user{};
    FILETIME system_now{};
    GetSystemTimeAsFileTime(&system_now);
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        return now;
    }
    const auto ticks = [](const FILETIME& time) {
        return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    // FILETIME counts 100 ns; a clock set back meanwhile makes the age 0, not negative.
    const std::uint64_t age =
        ticks(system_now) > ticks(created) ? ticks(system_now) - ticks(created) : 0;
    return now - std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                     std::chrono::duration<std::uint64_t, std::ratio<1, 10'000'000>>(age));
}

}  // namespace kvat::win32
