// What the handlers need of the window toolkit. The Win32 toolkit implements it for the real
// window; the unit tests implement it with a recorder.
#pragma once

#include <string>
#include <string_view>

#include "launcher/window_description.h"

namespace kvat {

enum class MessageStyle { OkOnly = 0, Critical = 16 };

enum class WindowState { Normal = 0, Minimized = 1, Maximized = 2 };

class Window {
  public:
    virtual ~Window() = default;

    virtual void SetCaption(ControlId control, std::string_view caption) = 0;
    virtual std::string Caption(ControlId control) const = 0;
    virtual void SetVisible(ControlId control, bool visible) = 0;
    virtual void SetTimerEnabled(bool enabled) = 0;
    virtual void SetWindowState(WindowState state) = 0;
    // Repaints the window and its controls now, not at the next idle moment.
    virtual void Refresh() = 0;
    // Modal; returns when the user has closed the box.
    virtual void ShowMessage(std::string_view text, std::string_view title, MessageStyle style) = 0;
    // Unloads the window, which ends the launcher.
    virtual void Close() = 0;
};

}  // namespace kvat
