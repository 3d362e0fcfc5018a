#include "launcher/win32/progress_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "launcher/constants.h"
#include "launcher/win32/window_class.h"
#include "launcher/win32/window_placement.h"
#include "launcher/win32/window_procedure.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/win32_error.h"

namespace kvat::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"KVAT_Launcher.CheckProgress";
constexpr DWORD kWindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr int kBarRange = 1000;

// The layout in pixels at 96 dots per inch.
constexpr int kClientWidth = 420;
constexpr int kClientHeight = 132;
constexpr int kMargin = 16;
constexpr int kInnerWidth = kClientWidth - 2 * kMargin;
constexpr int kLineHeight = 18;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 26;

// The font the system uses for messages, as a dialog would show them.
FontHandle MessageFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        return nullptr;
    }
    return FontHandle(CreateFontIndirectW(&metrics.lfMessageFont));
}

}  // namespace

ProgressWindow::ProgressWindow(const ProgressLook& look, HWND owner, std::function<void()> skip)
    : skip_(std::move(skip)), dpi_(look.dpi), font_(MessageFont()) {
    RegisterWindowClass(look.instance, kWindowClass, OwnerWindowProc<ProgressWindow>);
    // Alone, it stands for the launcher on the taskbar; over the launcher window it is part of it.
    const DWORD ex_style = WS_EX_CONTROLPARENT | (owner ? 0 : WS_EX_APPWINDOW);
    RECT frame{0, 0, MulDiv(kClientWidth, dpi_, 96), MulDiv(kClientHeight, dpi_, 96)};
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, ex_style);
    hwnd_ = CreateWindowExW(ex_style, kWindowClass, Widen(text::kCheckTitle).c_str(), kWindowStyle,
                            CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                            frame.bottom - frame.top, owner, nullptr, look.instance, this);
    if (!hwnd_) {
        ThrowLastError("Creating the progress window");
    }
    try {
        SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(look.big_icon));
        SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(look.small_icon));
        constexpr DWORD kText = SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS;
        host_line_ = AddControl(L"STATIC", {}, kText, kMargin, 14, kInnerWidth, kLineHeight);
        file_line_ = AddControl(L"STATIC", {}, kText, kMargin, 36, kInnerWidth, kLineHeight);
        // Without comctl32 there is no bar; the texts and Skip still say what happens.
        bar_ = CreateChild(PROGRESS_CLASSW, {}, 0, kMargin, 62, kInnerWidth, kLineHeight);
        if (bar_) {
            SendMessageW(bar_, PBM_SETRANGE32, 0, kBarRange);
        }
        const int button_left = kClientWidth - kMargin - kButtonWidth;
        AddControl(L"STATIC", text::kCheckSkipHint, kText, kMargin, 98, button_left - 2 * kMargin,
                   kLineHeight);
        AddControl(L"BUTTON", text::kCheckSkip, WS_TABSTOP | BS_DEFPUSHBUTTON, button_left, 94,
                   kButtonWidth, kButtonHeight, IDCANCEL);
        CentreWindow(hwnd_, owner);
    } catch (...) {
        DetachFromWindow(hwnd_);
        DestroyWindow(hwnd_);
        throw;
    }
}

void ProgressWindow::Show() {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetFocus(GetDlgItem(hwnd_, IDCANCEL));
    UpdateWindow(hwnd_);
}

ProgressWindow::~ProgressWindow() {
    DetachFromWindow(hwnd_);
    DestroyWindow(hwnd_);
}

HWND ProgressWindow::CreateChild(const wchar_t* window_class, std::string_view text, DWORD style,
                                 int x, int y, int width, int height, int id) {
    return CreateWindowExW(0, window_class, Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                           MulDiv(x, dpi_, 96), MulDiv(y, dpi_, 96), MulDiv(width, dpi_, 96),
                           MulDiv(height, dpi_, 96), hwnd_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

HWND ProgressWindow::AddControl(const wchar_t* window_class, std::string_view text, DWORD style,
                                int x, int y, int width, int height, int id) {
    HWND control = CreateChild(window_class, text, style, x, y, width, height, id);
    if (!control) {
        ThrowLastError("Creating a control of the progress window");
    }
    if (font_) {
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    }
    return control;
}

void ProgressWindow::SetWaitingFor(std::string_view host_line, std::string_view file_line) {
    SetWindowTextW(host_line_, Widen(host_line).c_str());
    SetWindowTextW(file_line_, Widen(file_line).c_str());
}

void ProgressWindow::SetProgress(double share) {
    const int position = static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * kBarRange));
    if (bar_ && position != position_) {
        position_ = position;
        SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
}

LRESULT ProgressWindow::HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
            // Skip itself, Esc (IDCANCEL) and Enter on the focused Skip button (IDOK).
            if (LOWORD(wparam) == IDCANCEL || LOWORD(wparam) == IDOK) {
                skip_();
            }
            return 0;
        case WM_CLOSE:
            skip_();
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

}  // namespace kvat::win32
