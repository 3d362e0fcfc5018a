// A standard tooltip over parts of the launcher window: resting the mouse over a part shows the
// text it was given, every character of it: lines too wide for the screen are broken, an address
// after a slash. The tooltip control comes from the system's comctl32 and is made only when
// the mouse first moves onto a part with a text, so it costs the start nothing.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace kvat::win32 {

class StatusTooltip {
  public:
    StatusTooltip(HWND window, int dpi) : window_(window), dpi_(dpi) {}
    StatusTooltip(const StatusTooltip&) = delete;
    StatusTooltip& operator=(const StatusTooltip&) = delete;

    // The text shown over `area` (pixels of the window's client area) for part `id`; empty text
    // shows nothing there.
    void Set(UINT_PTR id, const RECT& area, const std::wstring& text);
    // The mouse moved over the window (not over a control that takes the mouse itself).
    void MouseMoved(const MSG& move);

  private:
    struct Tip {
        RECT area;
        std::wstring text;
        std::wstring shown;  // the text broken into lines that fit the tooltip
    };
    bool Create();
    void Add(UINT_PTR id, Tip& tip);

    int line_width_ = 0;  // the widest line the tooltip shows, in pixels

    HWND window_;
    int dpi_;
    HWND tooltip_ = nullptr;  // owned by the window: destroyed with it, before this goes
    std::map<UINT_PTR, Tip> tips_;
};

}  // namespace kvat::win32
