// The one window procedure of the launcher's window classes: it hands each message to the C++
// object that made the window (the last argument of CreateWindowExW), from WM_NCCREATE on, and
// to the system's default once that object has let go of the window, or before it took it.
#pragma once

#include <windows.h>

namespace kvat::win32 {

// `Owner` has LRESULT HandleMessage(HWND, UINT, WPARAM, LPARAM) and befriends this.
template <typename Owner>
LRESULT CALLBACK OwnerWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* owner = reinterpret_cast<Owner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return owner ? owner->HandleMessage(hwnd, message, wparam, lparam)
                 : DefWindowProcW(hwnd, message, wparam, lparam);
}

// The window's owner lets go of it: from now on its messages go to the system's default.
inline void DetachFromWindow(HWND hwnd) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
}

}  // namespace kvat::win32
