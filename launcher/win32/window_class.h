// The window classes of the launcher's own windows.
#pragma once

#include <windows.h>

namespace kvat::win32 {

// Registers a class for top-level windows of the launcher: the arrow cursor, the system's button
// face as background, and no icon (each window sets its own, so that they are freed with it). A
// class already registered (the tests make several windows in one process) is no error.
void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure);

}  // namespace kvat::win32
