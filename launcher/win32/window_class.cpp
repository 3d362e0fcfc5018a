#include "launcher/win32/window_class.h"

#include "platform/win32/win32_error.h"

namespace kvat::win32 {
namespace {

// True when this call registered the class, false when it was registered already.
bool Register(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, HICON big_icon,
              HICON small_icon) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = instance;
    window_class.hIcon = big_icon;
    window_class.hIconSm = small_icon;
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = name;
    if (RegisterClassExW(&window_class)) {
        return true;
    }
    if (GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        ThrowLastError("Registering a window class");
    }
    return false;
}

}  // namespace

void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure) {
    Register(instance, name, procedure, nullptr, nullptr);
}

IconWindowClass::IconWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure,
                                 HICON big_icon, HICON small_icon)
    : instance_(instance), name_(name) {
    // Registered already, it would carry icons that may be gone.
    if (!Register(instance, name, procedure, big_icon, small_icon)) {
        throw Win32Error(ERROR_CLASS_ALREADY_EXISTS, "Registering the window class");
    }
}

}  // namespace kvat::win32
