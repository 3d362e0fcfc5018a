// Plain text onto the clipboard.
#pragma once

#include <windows.h>

#include <string_view>

namespace kvat::win32 {

// Replaces the clipboard's contents with `text` (Unicode text; the system offers it in the other
// text formats too). False when the clipboard could not be had: another program held it open
// for longer than a tenth of a second.
bool CopyToClipboard(HWND owner, std::wstring_view text);

}  // namespace kvat::win32
