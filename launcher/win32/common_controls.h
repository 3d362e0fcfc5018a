// The system's common controls (comctl32: progress bars, tooltips). They are loaded from the
// system folder when a window first needs one, never imported: comctl32 is not one of the DLLs
// Windows always takes from there. The executable has no manifest, so these are the classic
// controls.
#pragma once

#include <windows.h>

namespace kvat::win32 {

// Registers the classes named by `classes` (ICC_* flags); false when comctl32 cannot be had.
bool LoadCommonControls(DWORD classes);

}  // namespace kvat::win32
