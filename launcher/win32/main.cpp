// The launcher's start: create the window, run its load handler before the window is first
// shown, then deliver its events until it closes.
#include <windows.h>

#include "launcher/form1.h"
#include "launcher/win32/error_report.h"
#include "launcher/win32/main_window.h"
#include "launcher/win32/vendor_host.h"
#include "platform/win32/start_trace.h"
#include "platform/win32/system_info.h"
#include "platform/win32/system_library.h"
#include "platform/win32/win32_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    using namespace kvat;
    win32::MarkStart("launcher's code begins");
    // Before anything can load a DLL: only the system folder may provide one.
    win32::RestrictDllSearchToSystemFolder();
    win32::Win32Platform platform;
    try {
        // Loading WinINet takes about as long as building the window's controls: both at once.
        // Not earlier: while Windows sets up the display for the first window, a DLL loading
        // beside it makes both wait.
        win32::MainWindow window(instance, platform, [&] { platform.StartLoadingWinInet(); });
        platform.SetFetchWaiter(window.fetch_waiter());
        // The user has been waiting since the launcher started, not only since the check did.
        window.SilentSince(win32::ProcessStartTime());
        Form1 form(window, platform, kVendorHost);
        window.Attach(form);
        win32::MarkStart("pass begins");
        window.RunHandler([&] { form.Form_Load(); });
        win32::MarkStart("pass ends");
        if (window.failed()) {
            return win32::kErrorExitCode;
        }
        window.Show();
        win32::MarkStart("window shown");
        return window.RunMessageLoop();
    } catch (...) {
        // The window itself could not be made.
        win32::ShowErrorReport(nullptr, platform.AppTitle(), win32::DescribeCurrentException());
        return win32::kErrorExitCode;
    }
}
