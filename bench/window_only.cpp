// The benchmark's "window only" launcher: the launcher's window, built and shown exactly as the
// launcher builds and shows it, but with the start-up check left out. So it loads no WinINet and
// asks no server, and its start shows what the window itself costs beside the check.
#include <windows.h>

#include "launcher/win32/main_window.h"
#include "platform/win32/system_library.h"
#include "platform/win32/win32_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    using namespace kvat;
    win32::RestrictDllSearchToSystemFolder();
    win32::Win32Platform platform;
    try {
        win32::MainWindow window(instance, platform);
        window.Show();
        return window.RunMessageLoop();
    } catch (...) {
        return 1;
    }
}
