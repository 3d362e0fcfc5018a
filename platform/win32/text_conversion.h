// Conversions between the core's UTF-8 text and the system's UTF-16 and ANSI texts.
#pragma once

#include <string>
#include <string_view>

namespace kvat::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);
// Bytes in the system's ANSI code page, as UTF-8.
std::string AnsiToUtf8(std::string_view ansi);

}  // namespace kvat::win32
