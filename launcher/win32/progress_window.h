// The small window that shows while a start-up check waits for the vendor's server: what it waits
// for, a bar that moves toward the check's time bound, and Skip. Esc and the close box skip too.
#pragma once

#include <windows.h>

#include <functional>
#include <string_view>

#include "launcher/win32/gdi_object.h"
#include "launcher/win32/window_procedure.h"

namespace kvat::win32 {

struct ProgressLook {
    HINSTANCE instance = nullptr;
    int dpi = 96;
    HICON big_icon = nullptr;  // owned by the caller, and outlive the window
    HICON small_icon = nullptr;
};

class ProgressWindow {
  public:
    // Makes the window, hidden. Without an owner it has a taskbar button of its own and is
    // centred on the primary monitor's work area, as the launcher window is; with one it is
    // centred over it. `skip` runs when the user presses Skip, Esc or the close box.
    ProgressWindow(const ProgressLook& look, HWND owner, std::function<void()> skip);
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;
    ~ProgressWindow();

    HWND hwnd() const { return hwnd_; }

    // Shows it, active, with the focus on Skip.
    void Show();

    // The host asked, and the file waited for.
    void SetWaitingFor(std::string_view host_line, std::string_view file_line);
    // Of the whole check's time bound, the share that has passed (0 to 1).
    void SetProgress(double share);

  private:
    template <typename Owner>
    friend LRESULT CALLBACK OwnerWindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    // A child control at a place given in pixels at 96 dots per inch; nullptr when it cannot be
    // made.
    HWND CreateChild(const wchar_t* window_class, std::string_view text, DWORD style, int x, int y,
                     int width, int height, int id = 0);
    // The same, and a failure is an error; the control takes the window's font.
    HWND AddControl(const wchar_t* window_class, std::string_view text, DWORD style, int x, int y,
                    int width, int height, int id = 0);

    std::function<void()> skip_;
    int dpi_;
    HWND hwnd_ = nullptr;
    HWND host_line_ = nullptr;
    HWND file_line_ = nullptr;
    HWND bar_ = nullptr;
    FontHandle font_;
    int position_ = -1;
};

}  // namespace kvat::win32
