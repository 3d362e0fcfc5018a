#include "launcher/win32/status_tooltip.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <string_view>

#include "launcher/win32/common_controls.h"

namespace kvat::win32 {
namespace {

// Wide enough for an address on one line; the reason wraps below it.
constexpr int kMaxTipWidth = 640;  // pixels at 96 dots per inch
// Room the tooltip takes around its text (border, its own margins), at 96 dots per inch.
constexpr int kTipFrame = 16;
// Long enough to read two lines; the longest a tooltip takes.
constexpr WPARAM kShownMilliseconds = 32000;

// The classic controls (the launcher has no manifest) take this size, not that of today's
// TTTOOLINFOW.
TTTOOLINFOW ToolInfo(HWND window, UINT_PTR id) {
    TTTOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.uFlags = TTF_SUBCLASS;
    info.hwnd = window;
    info.uId = id;
    return info;
}

// The width of the work area of the monitor that shows `window`; 0 when it is not known.
int WorkAreaWidth(HWND window) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    return GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor)
               ? monitor.rcWork.right - monitor.rcWork.left
               : 0;
}

// `text` with each line broken into lines no wider than `width` in the font of `dc`: after the
// last blank that fits, else after the last slash (an address has no blanks), else after the
// last character that fits. The tooltip would break only at blanks, and under Wine it cuts a
// longer word at its edge. Nothing is dropped: only line breaks are added.
std::wstring BreakLines(HDC dc, std::wstring_view text, int width) {
    std::wstring broken;
    for (std::size_t begin = 0; begin <= text.size();) {
        const std::size_t end = std::min(text.find(L"\r\n", begin), text.size());
        std::wstring_view rest = text.substr(begin, end - begin);
        for (;;) {
            int fit = 0;
            SIZE size{};
            if (!GetTextExtentExPointW(dc, rest.data(), static_cast<int>(rest.size()), width, &fit,
                                       nullptr, &size) ||
                static_cast<std::size_t>(fit) >= rest.size()) {
                break;
            }
            const std::wstring_view fitting = rest.substr(0, std::max(fit, 1));
            std::size_t cut = fitting.find_last_of(L' ');
            if (cut == std::wstring_view::npos) {
                cut = fitting.find_last_of(L'/');
            }
            cut = cut == std::wstring_view::npos ? fitting.size() : cut + 1;
            broken.append(rest.substr(0, cut)).append(L"\r\n");
            rest.remove_prefix(cut);
        }
        broken.append(rest);
        if (end == text.size()) {
            break;
        }
        broken.append(L"\r\n");
        begin = end + 2;
    }
    return broken;
}

}  // namespace

void StatusTooltip::Set(UINT_PTR id, const RECT& area, const std::wstring& text) {
    const auto found = tips_.find(id);
    if (found == tips_.end() ? text.empty() : found->second.text == text) {
        return;  // as shown already
    }
    if (tooltip_ && found != tips_.end()) {
        TTTOOLINFOW info = ToolInfo(window_, id);
        SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
    if (text.empty()) {
        if (found != tips_.end()) {
            tips_.erase(found);
        }
        return;
    }
    Tip& tip = tips_[id] = {area, text, {}};
    if (tooltip_) {
        Add(id, tip);
    }
}

void StatusTooltip::MouseMoved(const MSG& move) {
    if (tooltip_) {
        return;  // it watches the window itself
    }
    // Made only when the mouse comes onto a part with a text: a window that merely appears under
    // the mouse gets a move too.
    const POINT at{GET_X_LPARAM(move.lParam), GET_Y_LPARAM(move.lParam)};
    const bool over_tip = std::ranges::any_of(tips_, [&](const auto& entry) {
        const RECT& area = entry.second.area;
        return at.x >= area.left && at.x < area.right && at.y >= area.top && at.y < area.bottom;
    });
    if (!over_tip || !Create()) {
        return;
    }
    // From the next move on the tooltip watches the window itself; this one it is told of.
    MSG relayed = move;
    SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

bool StatusTooltip::Create() {
    if (!LoadCommonControls(ICC_BAR_CLASSES)) {
        return false;  // no tooltip; the window works as before, and the next move tries again
    }
    // Shown also while another window is active: resting the mouse there is the question.
    tooltip_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, nullptr, nullptr);
    if (!tooltip_) {
        return false;
    }
    // No wider than the screen, so that the tooltip never has to be cut to fit it. A maximum
    // width also lets the text break at its CR LF.
    line_width_ = MulDiv(kMaxTipWidth, dpi_, 96);
    if (const int screen = WorkAreaWidth(window_) - MulDiv(kTipFrame, dpi_, 96); screen > 0) {
        line_width_ = std::min(line_width_, screen);
    }
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, line_width_);
    SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_AUTOPOP, kShownMilliseconds);
    for (auto& [id, tip] : tips_) {
        Add(id, tip);
    }
    return true;
}

void StatusTooltip::Add(UINT_PTR id, Tip& tip) {
    tip.shown = tip.text;
    if (HDC dc = GetDC(tooltip_)) {
        // Measured in the font the tooltip draws with.
        const HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(tooltip_, WM_GETFONT, 0, 0));
        const HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
        tip.shown = BreakLines(dc, tip.text, line_width_);
        if (previous) {
            SelectObject(dc, previous);
        }
        ReleaseDC(tooltip_, dc);
    }
    TTTOOLINFOW info = ToolInfo(window_, id);
    info.rect = tip.area;
    info.lpszText = tip.shown.data();
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

}  // namespace kvat::win32
