#include "launcher/win32/window_placement.h"

#include <algorithm>

namespace kvat::win32 {

void CentreWindow(HWND window, HWND over) {
    RECT own{};
    GetWindowRect(window, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    RECT centre_on{};
    const bool over_window = over && GetWindowRect(over, &centre_on);
    // The primary monitor is the one whose top left corner is the origin; a hidden window may
    // lie on any other.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(over_window ? MonitorFromWindow(over, MONITOR_DEFAULTTOPRIMARY)
                                : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY),
                    &monitor);
    const RECT& area = monitor.rcWork;
    if (!over_window) {
        centre_on = area;
    }
    const int left = std::clamp(centre_on.left + (centre_on.right - centre_on.left - width) / 2,
                                area.left, std::max(area.left, area.right - width));
    const int top = std::clamp(centre_on.top + (centre_on.bottom - centre_on.top - height) / 2,
                               area.top, std::max(area.top, area.bottom - height));
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace kvat::win32
