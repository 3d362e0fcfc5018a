#include "platform/win32/win32_error.h"

#include <windows.h>

#include <string>

#include "platform/win32/text_conversion.h"

namespace kvat::win32 {

std::string SystemMessage(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring message = length ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    if (message.empty()) {
        return "system error " + std::to_string(code);
    }
    return Narrow(message);
}

LauncherError Win32Error(unsigned long code, std::string_view what) {
    return LauncherError(static_cast<long>(code), std::string(what) + ": " + SystemMessage(code));
}

void ThrowLastError(std::string_view what) {
    throw Win32Error(GetLastError(), what);
}

}  // namespace kvat::win32
