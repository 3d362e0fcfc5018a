#include "platform/win32/win32_error.h"

#include <windows.h>

#include <string>

#include "platform/win32/text_conversion.h"

namespace kvat::win32 {

namespace {

// Each insert (%1 to %99, with or without a printf format "!...!") becomes `insert`; the
// description is asked for with its inserts left in, since filling them from an argument list
// would read arguments of types the caller cannot know.
std::wstring FillInserts(std::wstring_view text, std::wstring_view insert) {
    std::wstring filled;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'%' && i + 1 < text.size() && text[i + 1] >= L'1' && text[i + 1] <= L'9') {
            i += 1;
            while (i + 1 < text.size() && text[i + 1] >= L'0' && text[i + 1] <= L'9') {
                ++i;
            }
            if (i + 1 < text.size() && text[i + 1] == L'!') {
                const std::size_t format_end = text.find(L'!', i + 2);
                i = format_end == std::wstring_view::npos ? text.size() : format_end;
            }
            filled.append(insert);
        } else {
            filled.push_back(text[i]);
        }
    }
    return filled;
}

std::wstring SystemText(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
        text.pop_back();
    }
    return text;
}

std::string UnknownError(unsigned long code) {
    return "system error " + std::to_string(code);
}

}  // namespace

std::string SystemSentence(unsigned long code, std::string_view insert) {
    const std::wstring text = SystemText(code);
    return text.empty() ? UnknownError(code) : Narrow(FillInserts(text, Widen(insert)));
}

std::string SystemMessage(unsigned long code) {
    std::wstring message = SystemText(code);
    while (!message.empty() && (message.back() == L'.' || message.back() == L' ')) {
        message.pop_back();
    }
    return message.empty() ? UnknownError(code) : Narrow(message);
}

LauncherError Win32Error(unsigned long code, std::string_view what) {
    return LauncherError(static_cast<long>(code), std::string(what) + ": " + SystemMessage(code));
}

void ThrowLastError(std::string_view what) {
    throw Win32Error(GetLastError(), what);
}

}  // namespace kvat::win32
