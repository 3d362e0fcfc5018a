#include "launcher/win32/status_tooltip.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "launcher/win32/common_controls.h"

namespace kvat::win32 {
namespace {

// Wide enough for an address on one line; the reason wraps below it.
constexpr int kMaxTipWidth = 640;  // pixels at 96 dots per inch
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
    Tip& tip = tips_[id] = {area, text};
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
    // A maximum width lets the text break at its CR LF and wrap.
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, MulDiv(kMaxTipWidth, dpi_, 96));
    SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_AUTOPOP, kShownMilliseconds);
    for (auto& [id, tip] : tips_) {
        Add(id, tip);
    }
    return true;
}

void StatusTooltip::Add(UINT_PTR id, Tip& tip) {
    TTTOOLINFOW info = ToolInfo(window_, id);
    info.rect = tip.area;
    info.lpszText = tip.text.data();
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

}  // namespace kvat::win32
