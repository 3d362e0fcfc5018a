// Bytes read as the launcher reads them on a Western Windows system: code page 1252, one byte to
// one character.
#pragma once

#include <string>
#include <string_view>

namespace kvat::server_check {

// UTF-8 text of the bytes read as Windows-1252. The five bytes that code page leaves undefined
// become the control characters of the same number, as Windows maps them.
std::string WesternToUtf8(std::string_view bytes);

}  // namespace kvat::server_check
