// Where the launcher's windows appear.
#pragma once

#include <windows.h>

namespace kvat::win32 {

// Moves `window` (keeping its size) to the centre of `over`, or, without it, of the primary
// monitor's work area, and keeps it inside that monitor's work area.
void CentreWindow(HWND window, HWND over = nullptr);

}  // namespace kvat::win32
