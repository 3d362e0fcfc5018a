// The real window after a real start-up pass: controls, layout, fonts, styles, focus, the launch
// timer and error reports, read back through the Win32 API.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "http_test_server.h"
#include "kvat_this_version.h"
#include "launcher/form1.h"
#include "launcher/win32/check_wait.h"
#include "launcher/win32/clipboard.h"
#include "launcher/win32/handler_queue.h"
#include "launcher/win32/main_window.h"
#include "launcher/win32/status_tooltip.h"
#include "platform/launcher_error.h"
#include "platform/win32/system_info.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_platform.h"
#include "tests/e2e/mouse_input.h"

namespace kvat::win32 {
namespace {

using enum ControlId;
using namespace std::chrono_literals;

constexpr wchar_t kAppKey[] = L"Software\\VB and VBA Program Settings\\KVAT_Software";
constexpr wchar_t kProgressClass[] = L"KVAT_Launcher.CheckProgress";

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

std::string TextOf(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

RECT ClientRectOf(HWND control, HWND parent) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Delivers the thread's pending messages until `done` holds or the time is up; keys for
// `dialog` go through the dialog keyboard handling first, as in the launcher's own loop.
template <typename Predicate>
bool PumpUntil(Predicate done, std::chrono::milliseconds limit, HWND dialog = nullptr) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (dialog && IsDialogMessageW(dialog, &message)) {
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

// A message box that some handler shows, as read from another thread before it is dismissed.
struct SeenMessageBox {
    std::string text;
    bool has_icon = false;
    bool owner_iconic = false;  // the owner's state just before the box was dismissed
};

// Watches for a message box with the given title, records it and presses OK.
class MessageBoxWatcher {
  public:
    // Keeps the box open for `hold` before pressing OK.
    explicit MessageBoxWatcher(std::wstring title, std::chrono::milliseconds hold = 0ms)
        : title_(std::move(title)), hold_(hold), thread_([this] { Watch(); }) {}
    ~MessageBoxWatcher() {
        stop_ = true;
        thread_.join();
    }
    bool seen() const { return seen_; }
    SeenMessageBox box() const { return box_; }

  private:
    void Watch() {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!stop_ && std::chrono::steady_clock::now() < deadline) {
            if (HWND box = FindWindowW(L"#32770", title_.c_str())) {
                box_.text = TextOf(GetDlgItem(box, 0xFFFF));
                // The icon sits in a static control of its own (SS_ICON).
                EnumChildWindows(
                    box,
                    [](HWND child, LPARAM found) -> BOOL {
                        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                            SendMessageW(child, STM_GETICON, 0, 0)) {
                            *reinterpret_cast<bool*>(found) = true;
                        }
                        return TRUE;
                    },
                    reinterpret_cast<LPARAM>(&box_.has_icon));
                std::this_thread::sleep_for(hold_);
                box_.owner_iconic = IsIconic(GetWindow(box, GW_OWNER)) != FALSE;
                seen_ = true;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                return;
            }
            std::this_thread::sleep_for(10ms);
        }
    }

    std::wstring title_;
    std::chrono::milliseconds hold_;
    SeenMessageBox box_;
    std::atomic<bool> seen_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The stand-in program beside the test, as the two sibling programs the launcher starts: it
// records its start and ends at once.
class SiblingPrograms {
  public:
    SiblingPrograms() {
        for (const wchar_t* name : kNames) {
            copied_ =
                CopyFileW(L"Z:" KVAT_STANDIN_EXE, (Folder() + name + L".exe").c_str(), FALSE) &&
                copied_;
        }
    }
    ~SiblingPrograms() {
        for (const wchar_t* name : kNames) {
            DeleteFileW((Folder() + name + L".exe").c_str());
            DeleteFileW((Folder() + name + L".record").c_str());
        }
    }
    bool copied() const { return copied_; }

  private:
    static constexpr const wchar_t* kNames[] = {L"KVAT_Log", L"Calix_KVAT"};
    static std::wstring Folder() { return Widen(ExecutableFolder()) + L"\\"; }
    bool copied_ = true;
};

class LauncherWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kAppKey);
        server_.Serve("/download/KVAT_Software/KVAT_Software_Version.txt",
                      {.body = "KVAT Software Version:" KVAT_THIS_VERSION});
        server_.Serve("/download/KVAT_Software/KVAT_USB_Version.txt",
                      {.body = "KVAT USB Driver: 2.12.28"});
        window_ = std::make_unique<MainWindow>(GetModuleHandleW(nullptr), platform_);
        platform_.SetFetchWaiter(window_->fetch_waiter());
        form_ = std::make_unique<Form1>(*window_, platform_, host_ = server_.host());
        window_->Attach(*form_);
    }
    void TearDown() override {
        form_.reset();
        window_.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, kAppKey);
    }
    void LoadAndShow() {
        window_->RunHandler([&] { form_->Form_Load(); });
        // It would stay until the window shows; a check that ends at once never makes one.
        EXPECT_EQ(FindWindowW(kProgressClass, nullptr), nullptr);
        window_->Show();
    }
    HWND Control(ControlId id) const { return window_->control(id); }
    bool Visible(ControlId id) const { return IsWindowVisible(Control(id)) != FALSE; }

    test::HttpTestServer server_;
    std::string host_;
    Win32Platform platform_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<Form1> form_;
};

TEST_F(LauncherWindow, ShowsTheStatusTheFirstPassDecided) {
    LoadAndShow();
    EXPECT_EQ(TextOf(Control(txtThisVersion)), "This Software Version:  " KVAT_THIS_VERSION);
    EXPECT_EQ(TextOf(Control(txtServerVersion)),
              "Latest Software Available on Server:  " KVAT_THIS_VERSION
              "\r\nYou have the latest software.");
    EXPECT_EQ(TextOf(Control(txtThisDriverVersion)), "USB Driver Version not found.");
    EXPECT_EQ(TextOf(Control(txtUSBDriverVersion)), "USB Driver not installed.  Click to install.");
    EXPECT_EQ(TextOf(Control(Label2)), "CALIX\r\n\r\nSETUP AND TUNING\r\n");
    EXPECT_EQ(TextOf(Control(Label3)), "KVAT LOG\r\n\r\nDIAGNOSING AND TESTING\r\n");
    EXPECT_TRUE(Visible(cmdUpdateUSBdriver));
    EXPECT_FALSE(Visible(cmdDownloadSoftware));
    EXPECT_FALSE(Visible(msgLAUNCHING));
    for (ControlId id :
         {Label1, Label2, Label3, cmdCALIX, cmdLOG, Frame1, txtThisVersion, txtServerVersion,
          txtThisDriverVersion, txtUSBDriverVersion, cmdEXIT, cmdWEBSITE}) {
        EXPECT_TRUE(Visible(id)) << Describe(id).name;
        EXPECT_TRUE(IsWindowEnabled(Control(id))) << Describe(id).name;
    }

    // The settings the pass wrote.
    wchar_t os[16] = {};
    DWORD size = sizeof(os);
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER,
                           L"Software\\VB and VBA Program Settings\\KVAT_Software\\Properties",
                           L"WindowsOS", RRF_RT_REG_SZ, nullptr, os, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(os), L"Vista");  // Wine reports 6.1 unless told otherwise
}

TEST_F(LauncherWindow, ControlsAreBuiltFromTheDescription) {
    LoadAndShow();
    const int dpi = window_->dpi();
    for (const ControlDescription& description : Form1Description().controls) {
        SCOPED_TRACE(std::string(description.name));
        HWND control = Control(description.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(GetParent(control), window_->hwnd());
        const LONG style = GetWindowLongW(control, GWL_STYLE);
        switch (description.kind) {
            case ControlKind::Label:
            case ControlKind::CentredLabel:
                EXPECT_EQ(ClassOf(control), L"Static");
                EXPECT_TRUE(style & SS_NOPREFIX);  // '&' in a server answer stays literal
                EXPECT_EQ(style & SS_TYPEMASK,
                          description.kind == ControlKind::CentredLabel ? SS_CENTER : SS_LEFT);
                break;
            case ControlKind::Frame:
                EXPECT_EQ(ClassOf(control), L"Button");
                EXPECT_EQ(style & BS_TYPEMASK, BS_GROUPBOX);
                break;
            case ControlKind::Button:
            case ControlKind::PictureButton:
                EXPECT_EQ(ClassOf(control), L"Button");
                EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON);  // never the default button
                EXPECT_TRUE(style & WS_TABSTOP);
                EXPECT_EQ((style & BS_BITMAP) != 0, description.kind == ControlKind::PictureButton);
                break;
        }
        if (description.kind == ControlKind::PictureButton) {
            EXPECT_NE(SendMessageW(control, BM_GETIMAGE, IMAGE_BITMAP, 0), 0);
        }

        const PixelRect expected = ClientPixelRect(description.id, dpi);
        const RECT actual = ClientRectOf(control, window_->hwnd());
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right - actual.left, expected.width);
        EXPECT_EQ(actual.bottom - actual.top, expected.height);

        if (description.font) {
            LOGFONTW font{};
            const auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
            ASSERT_NE(handle, nullptr);
            GetObjectW(handle, sizeof(font), &font);
            EXPECT_EQ(std::wstring(font.lfFaceName), L"Arial");
            EXPECT_EQ(font.lfHeight, -MulDiv(description.font->centipoints, dpi, 7200));
            EXPECT_EQ(font.lfWeight, description.font->bold ? FW_BOLD : FW_NORMAL);
            EXPECT_EQ(font.lfCharSet, ANSI_CHARSET);
            EXPECT_FALSE(font.lfItalic || font.lfUnderline || font.lfStrikeOut);
        }
    }
}

// Fonts and pictures come while a check waits; a window whose check never waited long enough for
// them (WinINet ready at once, a server answering at once, Skip) still shows with all of them.
TEST_F(LauncherWindow, ShownWithoutAWaitItsFontsAndPicturesAreInPlace) {
    window_->Show();
    for (const ControlDescription& description : Form1Description().controls) {
        SCOPED_TRACE(std::string(description.name));
        const HWND control = Control(description.id);
        EXPECT_EQ(SendMessageW(control, WM_GETFONT, 0, 0) != 0, description.font.has_value());
        EXPECT_EQ(SendMessageW(control, BM_GETIMAGE, IMAGE_BITMAP, 0) != 0,
                  description.kind == ControlKind::PictureButton);
    }
}

// The window's own work while a check waits never holds the check up by more than one step:
// none runs once what the check waits for has come.
TEST(CheckWaitSteps, RunOnlyWhileWhatTheCheckWaitsForHasNotCome) {
    const HWND window = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                        nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    const UniqueHandle came(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CheckWait wait(window, ProgressLook{});
    int steps = 0;
    // The second step is when the awaited event comes; two more are left for the next wait.
    wait.WhileWaiting([&] {
        if (++steps == 2) {
            SetEvent(came.get());
        }
        return steps < 4;
    });
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    EXPECT_EQ(wait.Wait(came.get(), deadline, L"http://host/a"), WaitEnd::Finished);
    EXPECT_EQ(steps, 2);
    ResetEvent(came.get());
    EXPECT_EQ(wait.Wait(came.get(), std::chrono::steady_clock::now() + 50ms, L"http://host/a"),
              WaitEnd::TimedOut);
    EXPECT_EQ(steps, 4);
    wait.End();
    DestroyWindow(window);
}

TEST_F(LauncherWindow, FixedSingleBorderCentredWithItsIcon) {
    LoadAndShow();
    HWND hwnd = window_->hwnd();
    EXPECT_EQ(TextOf(hwnd), "KVAT Software Selection");
    const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_EQ(GetWindow(hwnd, GW_OWNER), nullptr);  // a taskbar entry of its own
    EXPECT_FALSE(IsIconic(hwnd) || IsZoomed(hwnd));

    RECT client{};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, TwipsToPixels(13095, window_->dpi()));
    EXPECT_EQ(client.bottom, TwipsToPixels(9255, window_->dpi()));

    RECT frame{};
    GetWindowRect(hwnd, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    EXPECT_LE(std::abs((frame.left - work.left) - (work.right - frame.right)), 1);
    EXPECT_LE(std::abs((frame.top - work.top) - (work.bottom - frame.bottom)), 1);

    // Its class carries both icons, each at the size the system gives its kind.
    for (const auto& [index, metric] :
         {std::pair{GCLP_HICON, SM_CXICON}, {GCLP_HICONSM, SM_CXSMICON}}) {
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(reinterpret_cast<HICON>(GetClassLongPtrW(hwnd, index)), &info));
        BITMAP mask{};
        GetObjectW(info.hbmMask, sizeof mask, &mask);
        DeleteObject(info.hbmMask);
        DeleteObject(info.hbmColor);
        EXPECT_EQ(mask.bmWidth, GetSystemMetrics(metric)) << index;
    }
}

TEST_F(LauncherWindow, FocusStartsOnTheFirstPictureAndTabSkipsHiddenButtons) {
    LoadAndShow();
    HWND hwnd = window_->hwnd();
    EXPECT_EQ(GetFocus(), Control(cmdCALIX));
    std::vector<HWND> order;
    HWND item = Control(cmdCALIX);
    for (int i = 0; i < 5; ++i) {
        order.push_back(item);
        item = GetNextDlgTabItem(hwnd, item, FALSE);
    }
    const std::vector<HWND> expected = {Control(cmdCALIX), Control(cmdLOG),
                                        Control(cmdUpdateUSBdriver), Control(cmdEXIT),
                                        Control(cmdWEBSITE)};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(item, Control(cmdCALIX));  // and round again
}

TEST_F(LauncherWindow, EnterPressesTheFocusedButtonAndNoneIsTheDefault) {
    LoadAndShow();
    SetFocus(Control(cmdUpdateUSBdriver));
    MessageBoxWatcher watcher(L"Error");
    PostMessageW(Control(cmdUpdateUSBdriver), WM_KEYDOWN, VK_RETURN, 0);
    // Delivered as the launcher's loop delivers keys: through the dialog keyboard handling.
    ASSERT_TRUE(PumpUntil([&] { return watcher.seen(); }, 5s, window_->hwnd()));
    EXPECT_EQ(watcher.box().text, "Driver File Not Found.");
    for (ControlId id :
         {cmdCALIX, cmdLOG, cmdUpdateUSBdriver, cmdDownloadSoftware, cmdWEBSITE, cmdEXIT}) {
        EXPECT_EQ(GetWindowLongW(Control(id), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    }
}

// What a watcher thread saw of the progress window of one slow start-up check, before it skipped
// the rest of the check as a user would.
struct SeenProgress {
    HWND hwnd = nullptr;
    std::chrono::steady_clock::duration after{};  // from the start of the check
    std::string title;
    HWND owner = nullptr;
    bool has_icon = false;
    bool launcher_enabled = true;
};

SeenProgress SkipASlowCheck(MainWindow& window, Form1& form, UINT skip_message, WPARAM skip) {
    SeenProgress seen;
    const auto began = std::chrono::steady_clock::now();
    std::thread watcher([&] {
        while (!seen.hwnd && std::chrono::steady_clock::now() - began < 5s) {
            seen.hwnd = FindWindowW(kProgressClass, nullptr);
            std::this_thread::sleep_for(5ms);
        }
        seen.after = std::chrono::steady_clock::now() - began;
        if (seen.hwnd) {
            seen.title = TextOf(seen.hwnd);
            seen.owner = GetWindow(seen.hwnd, GW_OWNER);
            seen.has_icon = SendMessageW(seen.hwnd, WM_GETICON, ICON_SMALL, 0) != 0;
            seen.launcher_enabled = IsWindowEnabled(window.hwnd()) != FALSE;
            // Keys go to the focused Skip button, through the dialog keyboard handling.
            PostMessageW(skip_message == WM_KEYDOWN ? GetDlgItem(seen.hwnd, IDCANCEL) : seen.hwnd,
                         skip_message, skip, 0);
        }
    });
    window.RunHandler([&] { form.Form_Load(); });
    watcher.join();
    return seen;
}

TEST_F(LauncherWindow, ASlowCheckShowsItsProgressAfterASecondAndEscOrTheCloseBoxSkipsIt) {
    server_.Serve("/download/KVAT_Software/KVAT_Software_Version.txt",
                  {.body = "KVAT Software Version:" KVAT_THIS_VERSION, .delay = 30s});
    const auto unverified =
        "Latest Software Available:  UNABLE TO VERIFY\r\nCheck internet connection.";

    // Before the window first shows, alone and with a taskbar button of its own.
    auto began = std::chrono::steady_clock::now();
    const SeenProgress first = SkipASlowCheck(*window_, *form_, WM_KEYDOWN, VK_ESCAPE);
    EXPECT_LT(std::chrono::steady_clock::now() - began, first.after + 1s);
    ASSERT_TRUE(first.hwnd);
    EXPECT_GE(first.after, 900ms);
    EXPECT_EQ(first.title, "KVAT - Checking for software updates");
    EXPECT_EQ(first.owner, nullptr);
    EXPECT_TRUE(GetWindowLongW(first.hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_TRUE(first.has_icon);
    EXPECT_EQ(TextOf(Control(txtServerVersion)), unverified);
    // It stays until the launcher window is on screen, so the screen is never empty.
    EXPECT_TRUE(IsWindowVisible(first.hwnd));
    window_->Show();
    EXPECT_FALSE(IsWindow(first.hwnd));

    // Checking again over the shown window, which takes no input meanwhile.
    began = std::chrono::steady_clock::now();
    const SeenProgress again = SkipASlowCheck(*window_, *form_, WM_SYSCOMMAND, SC_CLOSE);
    EXPECT_LT(std::chrono::steady_clock::now() - began, again.after + 1s);
    ASSERT_TRUE(again.hwnd);
    EXPECT_EQ(again.owner, window_->hwnd());
    EXPECT_FALSE(again.launcher_enabled);
    EXPECT_FALSE(IsWindow(again.hwnd));
    EXPECT_TRUE(IsWindowEnabled(window_->hwnd()));
    EXPECT_EQ(TextOf(Control(txtServerVersion)), unverified);

    // Skipping counts the files not yet answered as not answered: the driver file is never asked.
    std::vector<std::string> paths;
    for (const auto& request : server_.Requests()) {
        paths.push_back(request.path);
    }
    EXPECT_EQ(paths,
              std::vector<std::string>(2, "/download/KVAT_Software/KVAT_Software_Version.txt"));
}

// Rests the mouse on the middle of `window` after a move from outside it, as a user does, and
// returns the tooltip that shows there, or nullptr.
HWND HoverForTooltip(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    for (const POINT to : {POINT{rect.left - 20, rect.top - 20},
                           POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}}) {
        test::MoveMouse(to);
        PumpUntil([] { return false; }, 100ms);
    }
    HWND tooltip = nullptr;
    PumpUntil(
        [&] {
            return (tooltip = FindWindowW(L"tooltips_class32", nullptr)) &&
                   IsWindowVisible(tooltip);
        },
        5s);
    return tooltip && IsWindowVisible(tooltip) ? tooltip : nullptr;
}

// A window that hands its mouse moves to a status tooltip, as the launcher window does.
class TooltipHost {
  public:
    TooltipHost() {
        WNDCLASSW window_class{};
        window_class.lpfnWndProc = [](HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
            auto* host = reinterpret_cast<TooltipHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            if (host && message == WM_MOUSEMOVE) {
                host->tooltip->MouseMoved({window, message, wparam, lparam, 0, {}});
            }
            return DefWindowProcW(window, message, wparam, lparam);
        };
        window_class.hInstance = GetModuleHandleW(nullptr);
        window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        window_class.lpszClassName = L"KVAT_Test.TooltipHost";
        RegisterClassW(&window_class);
        hwnd = CreateWindowExW(0, window_class.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 100, 100,
                               kSize, kSize, nullptr, nullptr, window_class.hInstance, nullptr);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        tooltip.emplace(hwnd, 96);
        tooltip->Set(1, {0, 0, kSize, kSize}, L"");
    }
    ~TooltipHost() { DestroyWindow(hwnd); }

    static constexpr int kSize = 200;
    HWND hwnd = nullptr;
    std::optional<StatusTooltip> tooltip;
};

TEST(StatusTooltipLines, EveryLineFitsInsideTheTooltipAndNoCharacterIsLost) {
    // An address wider than the screen has no blank to break at; the reason has blanks.
    const std::wstring address = L"https://" + std::wstring(120, L'w') +
                                 L".example:8443/download/KVAT_Software/"
                                 L"KVAT_USB_Version.txt";
    const std::wstring explanation =
        L"USB driver version file: " + address + L"\r\nReason: " + std::wstring(30, L'x') +
        L" the server's certificate comes from an authority this "
        L"computer does not trust, which is a long reason with many words in it";
    TooltipHost host;
    host.tooltip->Set(1, {0, 0, TooltipHost::kSize, TooltipHost::kSize}, explanation);
    HWND tooltip = HoverForTooltip(host.hwnd);
    ASSERT_NE(tooltip, nullptr);

    std::wstring shown(4096, L'\0');
    shown.resize(static_cast<std::size_t>(
        SendMessageW(tooltip, WM_GETTEXT, shown.size(), reinterpret_cast<LPARAM>(shown.data()))));
    const auto without_breaks = [](std::wstring text) {
        std::erase(text, L'\r');
        std::erase(text, L'\n');
        return text;
    };
    EXPECT_EQ(without_breaks(shown), without_breaks(explanation));

    RECT client{};
    GetClientRect(tooltip, &client);
    RECT margin{};
    SendMessageW(tooltip, TTM_GETMARGIN, 0, reinterpret_cast<LPARAM>(&margin));
    HDC dc = GetDC(tooltip);
    SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(tooltip, WM_GETFONT, 0, 0)));
    for (std::size_t begin = 0; begin <= shown.size();) {
        const std::size_t end = std::min(shown.find(L"\r\n", begin), shown.size());
        SIZE extent{};
        GetTextExtentPoint32W(dc, shown.data() + begin, static_cast<int>(end - begin), &extent);
        EXPECT_LE(extent.cx + margin.left + margin.right, client.right)
            << Narrow(shown.substr(begin, end - begin));
        begin = end + 2;
    }
    ReleaseDC(tooltip, dc);
    // All of it on the screen.
    RECT frame{};
    GetWindowRect(tooltip, &frame);
    EXPECT_GE(frame.left, 0);
    EXPECT_LE(frame.right, GetSystemMetrics(SM_CXSCREEN));
}

TEST_F(LauncherWindow, ALateFirstCheckWithAServerAnsweringAtOnceMakesNoProgressWindow) {
    // A cold start that reaches its first fetch well after the launcher's first second.
    window_->SilentSince(std::chrono::steady_clock::now() - 2s);
    // Each window is counted as it is made, so that one made and gone again is counted too.
    static thread_local int progress_windows = 0;
    const auto count = [](int code, WPARAM wparam, LPARAM lparam) -> LRESULT {
        if (code == HCBT_CREATEWND) {
            const wchar_t* name = reinterpret_cast<CBT_CREATEWNDW*>(lparam)->lpcs->lpszClass;
            progress_windows += !IS_INTRESOURCE(name) && std::wstring_view(name) == kProgressClass;
        }
        return CallNextHookEx(nullptr, code, wparam, lparam);
    };
    const HHOOK hook = SetWindowsHookExW(WH_CBT, count, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    LoadAndShow();
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(progress_windows, 0);
    EXPECT_EQ(TextOf(Control(txtServerVersion)),
              "Latest Software Available on Server:  " KVAT_THIS_VERSION
              "\r\nYou have the latest software.");
}

TEST(LauncherWindowResources, AMissingIconOrPictureIsAnErrorAndLeavesNoWindow) {
    // A module without the launcher's icon and pictures stands in for a damaged executable.
    Win32Platform platform;
    EXPECT_THROW(MainWindow(GetModuleHandleW(L"kernel32.dll"), platform), LauncherError);
    EXPECT_EQ(FindWindowW(L"KVAT_Launcher.Form1", nullptr), nullptr);
    // So does a failure of the work done while the controls are built.
    EXPECT_THROW(MainWindow(GetModuleHandleW(nullptr), platform,
                            [] { throw LauncherError(7, "Out of memory"); }),
                 LauncherError);
    EXPECT_EQ(FindWindowW(L"KVAT_Launcher.Form1", nullptr), nullptr);
}

TEST(HandlerQueueFailures, AFailureAfterAHandlerIsReportedAsItsOwn) {
    int failures = 0;
    HandlerQueue queue([&failures] { ++failures; }, [] { throw std::bad_alloc(); });
    queue.Run([] {});
    EXPECT_EQ(failures, 1);
}

TEST(SupportReportCopy, FailsWhenAnotherProgramHoldsTheClipboard) {
    // The copy's own window owns the clipboard, as the launcher's does: Windows refuses
    // SetClipboardData to a clipboard opened with no owner once it has been emptied.
    const HWND owner = CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    // Another thread holds it open, as another program would, longer than a copy waits for it.
    std::promise<bool> opened;
    std::atomic<bool> release = false;
    std::thread holder([&] {
        const HWND window = CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE,
                                            nullptr, nullptr, nullptr);
        const bool open = window && OpenClipboard(window);
        opened.set_value(open);
        while (open && !release) {
            std::this_thread::sleep_for(10ms);
        }
        CloseClipboard();
        DestroyWindow(window);
    });
    const bool held = opened.get_future().get();
    EXPECT_TRUE(held);
    EXPECT_FALSE(held && CopyToClipboard(owner, L"report"));
    release = true;
    holder.join();
    EXPECT_TRUE(CopyToClipboard(owner, L"report"));
    DestroyWindow(owner);
}

TEST_F(LauncherWindow, RepeatedPassesKeepTheProgramLabels) {
    form_->Form_Load();
    const std::string label3 = TextOf(Control(Label3));
    form_->Form_Load();
    EXPECT_EQ(TextOf(Control(Label3)), label3);
    EXPECT_EQ(server_.Requests().size(), 4u);
}

TEST_F(LauncherWindow, LaunchSwapsTheSelectionAndTheTimerMinimisesOnce) {
    const SiblingPrograms programs;
    ASSERT_TRUE(programs.copied());
    LoadAndShow();
    const auto clicked = std::chrono::steady_clock::now();
    SendMessageW(Control(cmdLOG), BM_CLICK, 0, 0);
    EXPECT_TRUE(Visible(msgLAUNCHING));
    for (ControlId id : {Label1, Label2, Label3, cmdCALIX, cmdLOG}) {
        EXPECT_FALSE(Visible(id)) << Describe(id).name;
    }
    // The focus left the hidden picture button for one that can take it.
    EXPECT_TRUE(IsWindowVisible(GetFocus()));

    ASSERT_TRUE(PumpUntil([&] { return IsIconic(window_->hwnd()) != FALSE; }, 10s));
    EXPECT_GE(std::chrono::steady_clock::now() - clicked, 2900ms);
    EXPECT_FALSE(Visible(msgLAUNCHING));
    for (ControlId id : {Label1, Label2, Label3, cmdCALIX, cmdLOG}) {
        EXPECT_TRUE(Visible(id)) << Describe(id).name;
    }

    // Restored by the user, it stays restored: the timer fired once.
    ShowWindow(window_->hwnd(), SW_RESTORE);
    PumpUntil([] { return false; }, 3500ms);
    EXPECT_FALSE(IsIconic(window_->hwnd()));
}

TEST_F(LauncherWindow, MissingInstallerIsReportedWithTheStopIcon) {
    LoadAndShow();
    MessageBoxWatcher watcher(L"Error");
    SendMessageW(Control(cmdUpdateUSBdriver), BM_CLICK, 0, 0);
    ASSERT_TRUE(watcher.seen());
    EXPECT_EQ(watcher.box().text, "Driver File Not Found.");
    EXPECT_TRUE(watcher.box().has_icon);
    EXPECT_TRUE(Visible(cmdUpdateUSBdriver));
}

TEST_F(LauncherWindow, TheTimerWaitsForAHandlerThatIsStillRunning) {
    const SiblingPrograms programs;
    ASSERT_TRUE(programs.copied());
    LoadAndShow();
    SendMessageW(Control(cmdLOG), BM_CLICK, 0, 0);
    {
        // The timer falls due while the driver handler's message box is open.
        MessageBoxWatcher watcher(L"Error", 4s);
        SendMessageW(Control(cmdUpdateUSBdriver), BM_CLICK, 0, 0);
        ASSERT_TRUE(watcher.seen());
        EXPECT_FALSE(watcher.box().owner_iconic);
    }
    EXPECT_TRUE(Visible(cmdUpdateUSBdriver));  // the handler finished first...
    ASSERT_TRUE(PumpUntil([&] { return IsIconic(window_->hwnd()) != FALSE; }, 2s));
    EXPECT_TRUE(Visible(cmdLOG));  // ...then the timer restored the selection
}

TEST_F(LauncherWindow, AnErrorInAHandlerIsReportedAndEndsTheLauncher) {
    LoadAndShow();
    MessageBoxWatcher watcher(L"KVAT_Software");
    window_->RunHandler(
        [] { throw LauncherError(5, "Saving setting WindowsOS: Access is denied"); });
    ASSERT_TRUE(watcher.seen());
    EXPECT_EQ(watcher.box().text, "Error 5:\r\n\r\nSaving setting WindowsOS: Access is denied");
    EXPECT_TRUE(watcher.box().has_icon);
    EXPECT_TRUE(window_->failed());
    EXPECT_EQ(window_->hwnd(), nullptr);  // the window is gone
    MSG quit{};
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 1u);
}

TEST_F(LauncherWindow, ExitClosesTheWindowWhileLaunching) {
    const SiblingPrograms programs;
    ASSERT_TRUE(programs.copied());
    LoadAndShow();
    SendMessageW(Control(cmdCALIX), BM_CLICK, 0, 0);
    SendMessageW(Control(cmdEXIT), BM_CLICK, 0, 0);
    EXPECT_EQ(window_->hwnd(), nullptr);
    MSG quit{};
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 0u);
    // No timer message can reach a handler any more.
    EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE));
}

}  // namespace
}  // namespace kvat::win32
