// Where the keyboard focus goes back to in a window that works like a dialog.
#pragma once

#include <windows.h>

namespace kvat::win32 {

// Gives the focus back to `remembered`, or, when there is none or it has been hidden since, to
// the first control of `window` in Tab order. False when there is no such control either.
inline bool RestoreDialogFocus(HWND window, HWND remembered) {
    const HWND focus = remembered && IsWindowVisible(remembered)
                           ? remembered
                           : GetNextDlgTabItem(window, nullptr, FALSE);
    if (!focus) {
        return false;
    }
    SetFocus(focus);
    return true;
}

}  // namespace kvat::win32
