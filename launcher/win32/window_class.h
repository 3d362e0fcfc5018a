// The window classes of the launcher's own windows.
#pragma once

#include <windows.h>

namespace kvat::win32 {

// Registers a class for top-level windows of the launcher: the arrow cursor, the system's button
// face as background, and no icon (each window sets its own, so that they are freed with it). A
// class already registered (the tests make several windows in one process) is no error.
void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure);

// The same kind of class, carrying the icons of its windows, registered for as long as this
// lives. Windows takes a class's icons as it creates each window, which is quicker than setting
// them on the window afterwards. The class must go before its icons do, and its windows before
// it: the owner of the icons holds this, and destroys its window first.
class IconWindowClass {
  public:
    IconWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, HICON big_icon,
                    HICON small_icon);
    ~IconWindowClass() { UnregisterClassW(name_, instance_); }
    IconWindowClass(const IconWindowClass&) = delete;
    IconWindowClass& operator=(const IconWindowClass&) = delete;

  private:
    HINSTANCE instance_;
    const wchar_t* name_;
};

}  // namespace kvat::win32
