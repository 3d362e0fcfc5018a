#include "launcher/win32/main_window.h"

#include "launcher/constants.h"
#include "launcher/form1.h"
#include "launcher/win32/clipboard.h"
#include "launcher/win32/dialog_focus.h"
#include "launcher/win32/error_report.h"
#include "launcher/win32/window_class.h"
#include "launcher/win32/window_placement.h"
#include "launcher/win32/window_procedure.h"
#include "platform/win32/start_trace.h"
#include "platform/win32/system_info.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/win32_error.h"
#include "resources/resource_ids.h"

namespace kvat::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"KVAT_Launcher.Form1";
constexpr UINT_PTR kTimer1 = 1;
constexpr int kFirstControlId = 1000;
// No WS_CLIPCHILDREN: the frame draws no interior, so the window must paint beneath it.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;

int ControlIdToCommand(ControlId id) {
    return kFirstControlId + static_cast<int>(id);
}

bool CommandToControlId(int command, ControlId& id) {
    const int index = command - kFirstControlId;
    if (index < 0 || index >= static_cast<int>(kControlCount)) {
        return false;
    }
    id = static_cast<ControlId>(index);
    return true;
}

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? dpi : 96;
}

struct ControlClass {
    const wchar_t* class_name;
    DWORD style;
};

ControlClass ClassFor(ControlKind kind) {
    constexpr DWORD kLabel = WS_CHILD | SS_NOPREFIX;
    constexpr DWORD kButton = WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON | BS_MULTILINE;
    switch (kind) {
        case ControlKind::Label:
            return {L"STATIC", kLabel | SS_LEFT};
        case ControlKind::CentredLabel:
            return {L"STATIC", kLabel | SS_CENTER};
        case ControlKind::PictureButton:
            return {L"BUTTON", kButton | BS_BITMAP};
        case ControlKind::Button:
            return {L"BUTTON", kButton};
        case ControlKind::Frame:
            return {L"BUTTON", WS_CHILD | BS_GROUPBOX};
    }
    return {L"STATIC", kLabel};
}

// Loads an image resource of the executable; a missing or unreadable one is an error.
HANDLE LoadResourceImage(HINSTANCE instance, int resource, UINT type, int width, int height,
                         UINT flags, std::string_view what) {
    HANDLE image = LoadImageW(instance, MAKEINTRESOURCEW(resource), type, width, height, flags);
    if (!image) {
        ThrowLastError("Loading " + std::string(what));
    }
    return image;
}

// The bitmap resource of a picture button's face, and where the window keeps it.
int PictureResource(Picture picture) {
    return picture == Picture::Calix ? IDB_CALIX : IDB_LOG;
}
std::size_t PictureIndex(Picture picture) {
    return picture == Picture::Calix ? 0 : 1;
}

std::string PictureName(const ControlDescription& description) {
    return "the picture of " + std::string(description.name);
}

// The launcher's icon at the size the system gives icons of the kind `width_metric` names. Not
// LR_SHARED: Wine then hands back the first size loaded, whatever size is asked.
IconHandle LoadLauncherIcon(HINSTANCE instance, int width_metric, int height_metric,
                            std::string_view what) {
    return IconHandle(static_cast<HICON>(
        LoadResourceImage(instance, IDI_LAUNCHER, IMAGE_ICON, GetSystemMetrics(width_metric),
                          GetSystemMetrics(height_metric), 0, what)));
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, const Platform& platform,
                       const std::function<void()>& beside_controls)
    : instance_(instance),
      platform_(platform),
      dpi_(ScreenDpi()),
      big_icon_(LoadLauncherIcon(instance, SM_CXICON, SM_CYICON, "the window icon")),
      small_icon_(LoadLauncherIcon(instance, SM_CXSMICON, SM_CYSMICON, "the small window icon")),
      // The icons come with the class: setting them on the window afterwards (WM_SETICON)
      // measured 5 to 8 ms more under Wine, on the way to the first show.
      class_(instance, kWindowClass, OwnerWindowProc<MainWindow>, big_icon_.get(),
             small_icon_.get()),
      handlers_([this] { Fail(); },
                [this] {
                    check_wait_->End();
                    UpdateExplanations();
                }) {
    const FormDescription& form = Form1Description();
    RECT frame{0, 0, TwipsToPixels(form.client_width_twips, dpi_),
               TwipsToPixels(form.client_height_twips, dpi_)};
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
    hwnd_ = CreateWindowExW(kWindowExStyle, kWindowClass, Widen(kWindowTitle).c_str(), kWindowStyle,
                            CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                            frame.bottom - frame.top, nullptr, nullptr, instance_, this);
    if (!hwnd_) {
        ThrowLastError("Creating the window");
    }
    MarkStart("window created");
    try {
        if (beside_controls) {
            beside_controls();
        }
        CreateControls();
        MarkStart("controls created");
        check_wait_.emplace(hwnd_,
                            ProgressLook{instance_, dpi_, big_icon_.get(), small_icon_.get()});
        // The start-up check needs no font and no picture: they come while it waits, for WinINet
        // or for the server.
        check_wait_->WhileWaiting([this] { return FinishingStep(); });
        tooltip_.emplace(hwnd_, dpi_);
    } catch (...) {
        // No destructor runs for a window that was never whole; it must not outlive this.
        DestroyOwnWindow();
        throw;
    }
}

void MainWindow::DestroyOwnWindow() {
    if (hwnd_) {
        descriptions_.Clear();
        DetachFromWindow(hwnd_);
        DestroyWindow(hwnd_);
        hwnd_ = nullptr;
    }
}

MainWindow::~MainWindow() {
    DestroyOwnWindow();
}

HFONT MainWindow::FontFor(int centipoints, bool bold) {
    auto& font = fonts_[{centipoints, bold}];
    if (!font) {
        const int height = -MulDiv(centipoints, dpi_, 7200);
        font.reset(CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                               ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial"));
        if (!font) {
            const DWORD error = GetLastError();
            fonts_.erase({centipoints, bold});
            throw Win32Error(error, "Creating the Arial font");
        }
    }
    return font.get();
}

void MainWindow::CreateControls() {
    for (const ControlDescription& description : Form1Description().controls) {
        const ControlClass control_class = ClassFor(description.kind);
        const PixelRect rect = ClientPixelRect(description.id, dpi_);
        std::string_view text = description.caption;
        if (description.picture == Picture::Calix) {
            text = text::kCalixAccessibleName;
        } else if (description.picture == Picture::Log) {
            text = text::kLogAccessibleName;
        }
        const DWORD style =
            control_class.style | WS_CLIPSIBLINGS | (description.visible_at_start ? WS_VISIBLE : 0);
        HWND control = CreateWindowExW(
            0, control_class.class_name, Widen(text).c_str(), style, rect.left, rect.top,
            rect.width, rect.height, hwnd_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlIdToCommand(description.id))),
            instance_, nullptr);
        if (!control) {
            ThrowLastError("Creating control " + std::string(description.name));
        }
        controls_[static_cast<std::size_t>(description.id)] = control;
        // Loaded later, but a picture missing from the executable is an error before anything
        // starts, as a missing icon is.
        if (description.picture != Picture::None &&
            !FindResourceW(instance_, MAKEINTRESOURCEW(PictureResource(description.picture)),
                           RT_BITMAP)) {
            ThrowLastError("Loading " + PictureName(description));
        }
    }
    // The frame lies beneath the controls it holds, so it never paints over them. It takes no
    // focus, so the Tab order of the buttons is unchanged.
    SetWindowPos(control(ControlId::Frame1), HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

bool MainWindow::FinishingStep() {
    if (finishing_steps_done_ == kFinishingSteps || finish_error_) {
        return false;
    }
    if (finishing_steps_done_ == 0) {
        MarkStart("fonts and pictures begin");
    }
    try {
        if (finishing_steps_done_ == 0) {
            SetFonts();
        } else {
            LoadPicture(finishing_steps_done_ == 1 ? Picture::Calix : Picture::Log);
        }
        ++finishing_steps_done_;
    } catch (...) {
        finish_error_ = std::current_exception();
        return false;
    }
    if (finishing_steps_done_ < kFinishingSteps) {
        return true;
    }
    MarkStart("fonts and pictures in place");
    return false;
}

void MainWindow::SetFonts() {
    for (const ControlDescription& description : Form1Description().controls) {
        if (description.font) {
            SendMessageW(control(description.id), WM_SETFONT,
                         reinterpret_cast<WPARAM>(
                             FontFor(description.font->centipoints, description.font->bold)),
                         FALSE);
        }
    }
}

void MainWindow::LoadPicture(Picture which) {
    for (const ControlDescription& description : Form1Description().controls) {
        if (description.picture != which) {
            continue;
        }
        BitmapHandle& picture = pictures_[PictureIndex(which)];
        picture.reset(static_cast<HBITMAP>(
            LoadResourceImage(instance_, PictureResource(which), IMAGE_BITMAP, 0, 0,
                              LR_CREATEDIBSECTION, PictureName(description))));
        SendMessageW(control(description.id), BM_SETIMAGE, IMAGE_BITMAP,
                     reinterpret_cast<LPARAM>(picture.get()));
    }
}

void MainWindow::Show() {
    // Nothing of the window shows before all of it is there.
    while (FinishingStep()) {
    }
    if (finish_error_) {
        std::rethrow_exception(finish_error_);
    }
    CentreWindow(hwnd_);
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetFocus(control(ControlId::cmdCALIX));
    UpdateWindow(hwnd_);
    check_wait_->End();
}

int MainWindow::RunMessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Ctrl+C, as in a message box, wherever the focus is in the window.
        if (hwnd_ && message.message == WM_KEYDOWN && message.wParam == 'C' &&
            GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_MENU) >= 0 &&
            (message.hwnd == hwnd_ || IsChild(hwnd_, message.hwnd))) {
            CopySupportReport();
            continue;
        }
        // Dialog-style keyboard handling: Tab moves between buttons, Space and Enter press one.
        if (hwnd_ && IsDialogMessageW(hwnd_, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return exit_code_;
}

void MainWindow::RunHandler(std::function<void()> handler) {
    handlers_.Run(std::move(handler));
}

void MainWindow::UpdateExplanations() {
    if (!form_ || !hwnd_) {
        return;
    }
    for (const ControlDescription& description : Form1Description().controls) {
        const std::wstring explanation = Widen(form_->StatusExplanation(description.id));
        const PixelRect rect = ClientPixelRect(description.id, dpi_);
        tooltip_->Set(static_cast<UINT_PTR>(description.id),
                      {rect.left, rect.top, rect.left + rect.width, rect.top + rect.height},
                      explanation);
        descriptions_.Set(control(description.id), explanation);
    }
}

void MainWindow::CopySupportReport() {
    // Read when asked: the last check may have been re-run since the start. When the clipboard
    // cannot be had, the warning sound says so, so that nobody pastes what was there before.
    if (form_ && !CopyToClipboard(hwnd_, Widen(form_->SupportReport(WindowsVersionText())))) {
        MessageBeep(MB_ICONWARNING);
    }
}

void MainWindow::Fail() {
    const ErrorReport report = DescribeCurrentException();
    check_wait_->End(/*launcher_ends=*/true);
    // Nothing else of the launcher runs while the report is up or after it.
    KillTimer(hwnd_, kTimer1);
    timer_enabled_ = false;
    form_ = nullptr;
    exit_code_ = kErrorExitCode;
    handlers_.Stop();
    ShowErrorReport(hwnd_, platform_.AppTitle(), report);
    if (hwnd_) {
        DestroyWindow(hwnd_);
    } else {
        PostQuitMessage(exit_code_);
    }
}

LRESULT MainWindow::HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_NCCREATE:
            // Known from the window's first message on, before CreateWindowExW returns it.
            hwnd_ = hwnd;
            break;
        case WM_COMMAND: {
            // The dialog keyboard handling turns Enter into IDOK, as a dialog's default button
            // would get it. The launcher has no default button: Enter presses the focused one.
            if (LOWORD(wparam) == IDOK && HIWORD(wparam) == BN_CLICKED) {
                ClickFocusedButton();
                return 0;
            }
            ControlId id{};
            if (HIWORD(wparam) == BN_CLICKED && CommandToControlId(LOWORD(wparam), id) && form_) {
                RunHandler([this, id] {
                    if (form_) {
                        form_->Click(id);
                    }
                });
            }
            return 0;
        }
        case WM_TIMER:
            if (wparam == kTimer1) {
                // Only a timer that is still enabled when its turn comes may fire.
                handlers_.Tick([this] {
                    if (timer_enabled_ && form_) {
                        form_->Timer1_Timer();
                    }
                });
            }
            return 0;
        case WM_ACTIVATE:
            // Like a dialog: the focused button keeps the focus across switches to other windows.
            if (LOWORD(wparam) == WA_INACTIVE) {
                focus_before_deactivation_ = GetFocus();
            } else if (HIWORD(wparam) == 0) {  // not minimised
                // Where the focus was, or, if that button went meanwhile (or a start-up check
                // held the focus), the first button in Tab order.
                if (RestoreDialogFocus(hwnd_, focus_before_deactivation_)) {
                    return 0;
                }
            }
            break;
        case WM_CLOSE:
            // The close box, the system menu or another program: the window goes once the
            // handler in progress (a start-up check waiting for the server, say) has finished.
            if (handlers_.busy()) {
                RunHandler([this] { Close(); });
                return 0;
            }
            break;
        case WM_MOUSEMOVE:
            // The status texts take no mouse input of their own: moves over them come here.
            if (tooltip_) {
                tooltip_->MouseMoved({hwnd, message, wparam, lparam, 0, {}});
            }
            break;
        case WM_GETOBJECT:
            // An accessibility client is looking at the window: it gets the descriptions.
            descriptions_.ClientAsked();
            break;
        case WM_DESTROY:
            // The system wants its annotations taken away while the controls still exist.
            descriptions_.Clear();
            // Events for a window that is gone have nobody to serve them.
            handlers_.Stop();
            KillTimer(hwnd_, kTimer1);
            timer_enabled_ = false;
            hwnd_ = nullptr;
            PostQuitMessage(exit_code_);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

void MainWindow::ClickFocusedButton() {
    HWND focus = GetFocus();
    ControlId id{};
    if (!focus || GetParent(focus) != hwnd_ || !CommandToControlId(GetDlgCtrlID(focus), id) ||
        !IsWindowVisible(focus)) {
        return;
    }
    if (const ControlKind kind = Describe(id).kind;
        kind == ControlKind::Button || kind == ControlKind::PictureButton) {
        // The same path as a click, so the handler runs as for the mouse or Space.
        SendMessageW(focus, BM_CLICK, 0, 0);
    }
}

void MainWindow::SetCaption(ControlId id, std::string_view caption) {
    if (!SetWindowTextW(control(id), Widen(caption).c_str())) {
        ThrowLastError("Setting the caption of " + std::string(Describe(id).name));
    }
}

std::string MainWindow::Caption(ControlId id) const {
    HWND handle = control(id);
    std::wstring caption(static_cast<std::size_t>(GetWindowTextLengthW(handle)) + 1, L'\0');
    SetLastError(ERROR_SUCCESS);
    const int length = GetWindowTextW(handle, caption.data(), static_cast<int>(caption.size()));
    if (length == 0 && GetLastError() != ERROR_SUCCESS) {
        ThrowLastError("Reading the caption of " + std::string(Describe(id).name));
    }
    caption.resize(static_cast<std::size_t>(length));
    return Narrow(caption);
}

void MainWindow::SetVisible(ControlId id, bool visible) {
    HWND handle = control(id);
    const bool had_focus = GetFocus() == handle;
    ShowWindow(handle, visible ? SW_SHOWNA : SW_HIDE);
    // A hidden button cannot keep the keyboard focus; hand it on in Tab order.
    if (!visible && had_focus) {
        if (HWND next = GetNextDlgTabItem(hwnd_, handle, FALSE); next && next != handle) {
            SetFocus(next);
        }
    }
}

void MainWindow::SetTimerEnabled(bool enabled) {
    if (enabled) {
        if (!SetTimer(hwnd_, kTimer1, Form1Description().timer_interval_ms, nullptr)) {
            ThrowLastError("Starting Timer1");
        }
    } else {
        KillTimer(hwnd_, kTimer1);
    }
    timer_enabled_ = enabled;
}

void MainWindow::SetWindowState(WindowState state) {
    switch (state) {
        case WindowState::Normal:
            ShowWindow(hwnd_, SW_RESTORE);
            break;
        case WindowState::Minimized:
            ShowWindow(hwnd_, SW_MINIMIZE);
            break;
        case WindowState::Maximized:
            ShowWindow(hwnd_, SW_MAXIMIZE);
            break;
    }
}

void MainWindow::Refresh() {
    RedrawWindow(hwnd_, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void MainWindow::ShowMessage(std::string_view text, std::string_view title, MessageStyle style) {
    MessageBoxW(hwnd_, Widen(text).c_str(), Widen(title).c_str(), static_cast<UINT>(style));
}

void MainWindow::Close() {
    DestroyWindow(hwnd_);
}

}  // namespace kvat::win32
