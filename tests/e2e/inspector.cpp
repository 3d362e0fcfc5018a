// Looks at and drives the launcher's window from another process, as a person would: reads
// every control, clicks buttons, presses keys, rests the mouse to read a tooltip, reads the
// clipboard, asks for the window as an accessibility client does, reads and dismisses message
// boxes, and starts or ends launcher processes. Every answer is one line of JSON in UTF-8.
//
//   inspector COMMAND ARGS...   runs one command
//   inspector serve             reads commands from stdin, one a line, fields split by tabs
//
// Windows are named by their handle once found; handles are global, so they pass between
// processes unchanged.
#include <windows.h>
#include <oleacc.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "json_text.h"
#include "mouse_input.h"
#include "probe_hook.h"

namespace {

using kvat::test::MoveMouse;

using Args = std::vector<std::wstring>;

using kvat_e2e::Json;
using kvat_e2e::Wide;

// ---- text ---------------------------------------------------------------------------------

bool SameTextIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// ---- JSON ---------------------------------------------------------------------------------

std::string Json(bool value) {
    return value ? "true" : "false";
}
std::string Json(long long value) {
    return std::to_string(value);
}
std::string Json(double value) {
    return std::to_string(value);
}

// An object written field by field.
class Object {
  public:
    template <typename T>
    Object& Add(std::string_view name, const T& value) {
        return Raw(name, Json(value));
    }
    Object& Raw(std::string_view name, const std::string& json) {
        text_ += text_.empty() ? "{" : ", ";
        text_ += "\"";
        text_ += name;
        text_ += "\": ";
        text_ += json;
        return *this;
    }
    std::string str() const { return text_.empty() ? "{}" : text_ + "}"; }

  private:
    std::string text_;
};

std::string Array(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        out += (i ? ", " : "") + items[i];
    }
    return out + "]";
}

std::string Rect(const RECT& r) {
    return Array({Json(static_cast<long long>(r.left)), Json(static_cast<long long>(r.top)),
                  Json(static_cast<long long>(r.right - r.left)),
                  Json(static_cast<long long>(r.bottom - r.top))});
}

long long Handle(HWND hwnd) {
    return static_cast<long long>(reinterpret_cast<std::intptr_t>(hwnd));
}

// ---- arguments ----------------------------------------------------------------------------

long long Number(const Args& args, std::size_t i) {
    if (i >= args.size()) {
        throw std::runtime_error("missing argument " + std::to_string(i));
    }
    return std::stoll(args[i], nullptr, 0);
}

const std::wstring& Text(const Args& args, std::size_t i) {
    if (i >= args.size()) {
        throw std::runtime_error("missing argument " + std::to_string(i));
    }
    return args[i];
}

HWND WindowArg(const Args& args, std::size_t i) {
    return reinterpret_cast<HWND>(static_cast<std::intptr_t>(Number(args, i)));
}

DWORD Milliseconds(const Args& args, std::size_t i) {
    return static_cast<DWORD>(std::max<long long>(0, Number(args, i)));
}

// ---- time and waiting ---------------------------------------------------------------------

double Now() {
    return kvat_e2e::UnixTime();
}

// Polls `done` every millisecond or so until it holds or the time is up.
bool PollUntil(DWORD timeout_ms, const std::function<bool()>& done) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        if (done()) {
            return true;
        }
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(1);
    }
}

// ---- windows ------------------------------------------------------------------------------

std::wstring WindowText(HWND hwnd) {
    // For another process's window this reads the stored text and sends nothing, so a busy
    // launcher cannot hang the inspector.
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring ClassName(HWND hwnd) {
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return name;
}

DWORD ProcessOf(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

std::wstring ImagePath(DWORD pid) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) {
        return {};
    }
    std::wstring path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(process, 0, path.data(), &size)) {
        size = 0;
    }
    CloseHandle(process);
    path.resize(size);
    return path;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(
        [](HWND hwnd, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

// Runs code in the launcher's process through a window hook: to read fonts and pictures there
// (under Wine, WM_GETFONT answers 0 to another process and GDI handles are private to their
// process) and to count the window's minimisations as they happen.
class Prober {
  public:
    explicit Prober(HWND main) : main_(main) {
        mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      sizeof(kvat_e2e::Shared), kvat_e2e::kSharedMapping);
        if (mapping_) {
            shared_ = static_cast<volatile kvat_e2e::Shared*>(
                MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, sizeof(kvat_e2e::Shared)));
        }
        std::wstring path(MAX_PATH, L'\0');
        path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
        path = path.substr(0, path.find_last_of(L"\\/") + 1) + kvat_e2e::kProbeDll;
        module_ = LoadLibraryW(path.c_str());
        const auto proc = module_ ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(
                                        GetProcAddress(module_, kvat_e2e::kProbeProc)))
                                  : nullptr;
        if (proc && shared_) {
            hook_ = SetWindowsHookExW(WH_CALLWNDPROC, proc, module_,
                                      GetWindowThreadProcessId(main, nullptr));
        }
    }
    Prober(const Prober&) = delete;
    Prober& operator=(const Prober&) = delete;
    ~Prober() {
        if (hook_) {
            UnhookWindowsHookEx(hook_);
        }
        if (module_) {
            FreeLibrary(module_);
        }
        if (shared_) {
            UnmapViewOfFile(const_cast<kvat_e2e::Shared*>(shared_));
        }
        if (mapping_) {
            CloseHandle(mapping_);
        }
    }

    HWND main() const { return main_; }
    bool hooked() const { return hook_ != nullptr; }

    // Counts the window's minimisations from now on.
    void Watch() {
        shared_->minimised = 0;
        shared_->watched = reinterpret_cast<LONG_PTR>(main_);
    }
    long long Minimised() const { return shared_ ? shared_->minimised : -1; }

    // The control's font and picture as JSON fields, or nulls where it has none (or the
    // launcher did not answer).
    void Describe(HWND control, Object& out) {
        const LONG sequence = ++sequence_;
        DWORD_PTR ignored = 0;
        const bool answered =
            hook_ &&
            SendMessageTimeoutW(main_, RegisterWindowMessageW(kvat_e2e::kQueryMessage),
                                reinterpret_cast<WPARAM>(control), sequence,
                                SMTO_ABORTIFHUNG | SMTO_BLOCK, 2000, &ignored) &&
            shared_->sequence == sequence;
        if (!answered) {
            out.Raw("font", "null").Raw("picture", "null").Add("probed", false);
            return;
        }
        if (shared_->has_font) {
            LOGFONTW font{};
            CopyMemory(&font, const_cast<const LOGFONTW*>(&shared_->font), sizeof font);
            out.Raw("font", Object()
                                .Add("face", std::wstring_view(font.lfFaceName))
                                .Add("height", static_cast<long long>(font.lfHeight))
                                .Add("weight", static_cast<long long>(font.lfWeight))
                                .Add("italic", font.lfItalic != 0)
                                .Add("underline", font.lfUnderline != 0)
                                .Add("strikeout", font.lfStrikeOut != 0)
                                .Add("charset", static_cast<long long>(font.lfCharSet))
                                .str());
        } else {
            out.Raw("font", "null");
        }
        out.Raw("picture", shared_->has_picture
                               ? Array({Json(static_cast<long long>(shared_->picture_width)),
                                        Json(static_cast<long long>(shared_->picture_height))})
                               : "null");
        out.Add("probed", true);
    }

  private:
    HWND main_;
    HANDLE mapping_ = nullptr;
    volatile kvat_e2e::Shared* shared_ = nullptr;
    HMODULE module_ = nullptr;
    HHOOK hook_ = nullptr;
    LONG sequence_ = 0;
};

// The focused window of the thread that owns `hwnd`, and its active window.
GUITHREADINFO ThreadInput(HWND hwnd) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &info);
    return info;
}

std::string Control(HWND main, HWND control, Prober* prober) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&rect), 2);
    const auto style = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
    Object out;
    out.Add("id", static_cast<long long>(GetDlgCtrlID(control)))
        .Add("class", ClassName(control))
        .Add("text", WindowText(control))
        .Add("visible", (style & WS_VISIBLE) != 0)
        .Add("enabled", IsWindowEnabled(control) != 0)
        .Raw("rect", Rect(rect))
        .Add("style", static_cast<long long>(style));
    if (prober) {
        prober->Describe(control, out);
    }
    return out.str();
}

// ---- message box icons --------------------------------------------------------------------

// A 32-bit top-down bitmap to draw into or copy the screen into.
class Canvas {
  public:
    Canvas(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<const std::uint32_t*>(bits);
        old_ = SelectObject(dc_, bitmap_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }
    bool ok() const { return bits_ != nullptr; }
    std::uint32_t at(int i) const { return bits_[i] & 0xFFFFFFu; }
    int size() const { return width_ * height_; }
    void Fill(COLORREF colour) {
        const RECT all{0, 0, width_, height_};
        const HBRUSH brush = CreateSolidBrush(colour);
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
        GdiFlush();
    }

  private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    const std::uint32_t* bits_ = nullptr;
};

// Which system icon an icon static shows, told from its pixels on the screen: the icon handle
// belongs to the other process and cannot be read from here.
std::wstring IconShown(HWND icon_static) {
    RECT rect{};
    GetWindowRect(icon_static, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) {
        return L"none";
    }
    Canvas shown(width, height);
    const HDC screen = GetDC(nullptr);
    BitBlt(shown.dc(), 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    GdiFlush();
    if (!shown.ok()) {
        return L"unknown";
    }
    // Nothing drawn there (yet): only the background.
    bool uniform = true;
    for (int i = 1; i < shown.size() && uniform; ++i) {
        uniform = shown.at(i) == shown.at(0);
    }
    if (uniform) {
        return L"none";
    }

    struct Candidate {
        const wchar_t* id;
        const wchar_t* name;
    };
    const Candidate candidates[] = {{IDI_HAND, L"stop"},
                                    {IDI_QUESTION, L"question"},
                                    {IDI_EXCLAMATION, L"exclamation"},
                                    {IDI_ASTERISK, L"information"},
                                    {IDI_APPLICATION, L"application"}};
    std::wstring best = L"unknown";
    double best_score = 0.9;  // below this, no candidate is taken
    for (const Candidate& candidate : candidates) {
        const HICON icon = LoadIconW(nullptr, candidate.id);
        Canvas on_black(width, height);
        Canvas on_white(width, height);
        on_black.Fill(RGB(0, 0, 0));
        on_white.Fill(RGB(255, 255, 255));
        DrawIconEx(on_black.dc(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
        DrawIconEx(on_white.dc(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
        GdiFlush();
        // Only the icon's opaque pixels look the same on both backgrounds; compare those.
        int opaque = 0;
        int matching = 0;
        for (int i = 0; i < shown.size(); ++i) {
            if (on_black.at(i) == on_white.at(i)) {
                ++opaque;
                matching += shown.at(i) == on_black.at(i) ? 1 : 0;
            }
        }
        const double score = opaque ? static_cast<double>(matching) / opaque : 0.0;
        if (score > best_score) {
            best_score = score;
            best = candidate.name;
        }
    }
    return best;
}

// ---- the commands -------------------------------------------------------------------------

struct Session {
    std::map<DWORD, HANDLE> spawned;  // processes this inspector started, by id
    std::unique_ptr<Prober> watch;    // the window whose minimisations are being counted
};

// find TITLE IMAGE_PATH|- TIMEOUT_MS: a top-level window with this exact title, optionally of
// the process running that executable; hidden windows count.
std::string Find(const Args& args, Session&) {
    const std::wstring& title = Text(args, 1);
    const std::wstring& image = Text(args, 2);
    HWND found = nullptr;
    int count = 0;
    PollUntil(Milliseconds(args, 3), [&] {
        count = 0;
        for (HWND hwnd : TopLevelWindows()) {
            if (ClassName(hwnd) == L"#32770" || WindowText(hwnd) != title) {
                continue;
            }
            if (image != L"-" && !SameTextIgnoringCase(ImagePath(ProcessOf(hwnd)), image)) {
                continue;
            }
            found = hwnd;
            ++count;
        }
        return count > 0;
    });
    Object answer;
    answer.Add("found", found != nullptr).Add("count", static_cast<long long>(count));
    if (found) {
        answer.Add("hwnd", Handle(found))
            .Add("pid", static_cast<long long>(ProcessOf(found)))
            .Add("image", ImagePath(ProcessOf(found)))
            .Add("visible", IsWindowVisible(found) != 0);
    }
    return answer.str();
}

// state HWND [fonts]: the window and every control on it; with "fonts", each control's font and
// picture too (slower: it runs code in the launcher's process).
std::string State(const Args& args, Session& session) {
    const HWND main = WindowArg(args, 1);
    const bool fonts = args.size() > 2 && args[2] == L"fonts";
    if (!IsWindow(main)) {
        return Object().Add("exists", false).str();
    }
    RECT client{};
    GetClientRect(main, &client);
    RECT outer{};
    GetWindowRect(main, &outer);
    const GUITHREADINFO input = ThreadInput(main);
    std::vector<std::string> controls;
    {
        // One hook per window: a second one would count each minimisation twice.
        const bool watched = session.watch && session.watch->main() == main;
        std::unique_ptr<Prober> own = fonts && !watched ? std::make_unique<Prober>(main) : nullptr;
        Prober* prober = !fonts ? nullptr : watched ? session.watch.get() : own.get();
        for (HWND child : Children(main)) {
            controls.push_back(Control(main, child, prober));
        }
    }
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(main, MONITOR_DEFAULTTOPRIMARY), &monitor);
    return Object()
        .Add("exists", true)
        .Add("title", WindowText(main))
        .Add("class", ClassName(main))
        .Add("visible", IsWindowVisible(main) != 0)
        .Add("enabled", IsWindowEnabled(main) != 0)
        .Add("owner", Handle(GetWindow(main, GW_OWNER)))
        .Add("iconic", IsIconic(main) != 0)
        .Add("zoomed", IsZoomed(main) != 0)
        .Add("style", static_cast<long long>(static_cast<DWORD>(GetWindowLongW(main, GWL_STYLE))))
        .Add("ex_style",
             static_cast<long long>(static_cast<DWORD>(GetWindowLongW(main, GWL_EXSTYLE))))
        .Raw("client", Array({Json(static_cast<long long>(client.right)),
                              Json(static_cast<long long>(client.bottom))}))
        .Raw("window", Rect(outer))
        .Raw("work_area", Rect(monitor.rcWork))
        .Add("focus", static_cast<long long>(input.hwndFocus && IsChild(main, input.hwndFocus)
                                                 ? GetDlgCtrlID(input.hwndFocus)
                                                 : 0))
        .Add("active", input.hwndActive == main)
        .Add("foreground", GetForegroundWindow() == main)
        .Add("focus_hwnd", Handle(input.hwndFocus))
        .Add("active_hwnd", Handle(input.hwndActive))
        .Add("dpi", static_cast<long long>(dpi))
        .Raw("controls", Array(controls))
        .str();
}

// click HWND CONTROL_ID: what a mouse click does, refused on a control a person could not
// click.
std::string Click(const Args& args, Session&) {
    const HWND control = GetDlgItem(WindowArg(args, 1), static_cast<int>(Number(args, 2)));
    if (!control) {
        return Object().Add("ok", false).Add("reason", std::wstring(L"no such control")).str();
    }
    if (!IsWindowVisible(control) || !IsWindowEnabled(control)) {
        return Object().Add("ok", false).Add("reason", std::wstring(L"not clickable")).str();
    }
    PostMessageW(control, BM_CLICK, 0, 0);
    return Object().Add("ok", true).Add("time", Now()).str();
}

// key HWND VK: a key press and release, delivered to the control that has the focus.
std::string Key(const Args& args, Session&) {
    const HWND main = WindowArg(args, 1);
    const auto vk = static_cast<WPARAM>(Number(args, 2));
    const HWND target = ThreadInput(main).hwndFocus ? ThreadInput(main).hwndFocus : main;
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC))
                        << 16;
    PostMessageW(target, WM_KEYDOWN, vk, scan | 1);
    PostMessageW(target, WM_KEYUP, vk, scan | 1 | (LPARAM{3} << 30));
    return Object()
        .Add("ok", true)
        .Add("target", static_cast<long long>(GetDlgCtrlID(target)))
        .str();
}

// syscommand HWND close|restore: the title bar's close box, or restoring from the taskbar.
std::string SysCommand(const Args& args, Session&) {
    const std::wstring& what = Text(args, 2);
    const WPARAM command = what == L"close" ? SC_CLOSE : what == L"restore" ? SC_RESTORE : 0;
    if (!command) {
        throw std::runtime_error("unknown system command");
    }
    return Object()
        .Add("ok", PostMessageW(WindowArg(args, 1), WM_SYSCOMMAND, command, 0) != 0)
        .Add("time", Now())
        .str();
}

// wait HWND visible|hidden|iconic|restored|gone TIMEOUT_MS: when the window first got there.
std::string Wait(const Args& args, Session&) {
    const HWND hwnd = WindowArg(args, 1);
    const std::wstring& condition = Text(args, 2);
    std::function<bool()> holds;
    if (condition == L"visible") {
        holds = [&] { return IsWindowVisible(hwnd) != 0; };
    } else if (condition == L"hidden") {
        holds = [&] { return IsWindow(hwnd) && !IsWindowVisible(hwnd); };
    } else if (condition == L"iconic") {
        holds = [&] { return IsIconic(hwnd) != 0; };
    } else if (condition == L"restored") {
        holds = [&] { return IsWindow(hwnd) && !IsIconic(hwnd); };
    } else if (condition == L"gone") {
        holds = [&] { return !IsWindow(hwnd); };
    } else {
        throw std::runtime_error("unknown condition");
    }
    const bool reached = PollUntil(Milliseconds(args, 3), holds);
    return Object().Add("reached", reached).Add("time", Now()).str();
}

// watch HWND: counts the window's minimisations from now on, each as it happens.
std::string Watch(const Args& args, Session& session) {
    session.watch.reset();
    session.watch = std::make_unique<Prober>(WindowArg(args, 1));
    if (!session.watch->hooked()) {
        session.watch.reset();
        return Object().Add("ok", false).str();
    }
    session.watch->Watch();
    return Object().Add("ok", true).str();
}

// minimised: how often the watched window has been minimised, even if it is gone by now.
std::string Minimised(const Args&, Session& session) {
    return Object()
        .Add("count", session.watch ? session.watch->Minimised() : -1LL)
        .Add("watched", session.watch ? Handle(session.watch->main()) : 0LL)
        .str();
}

// idle HWND TIMEOUT_MS: waits until the window's thread is back in a message loop, so the
// handler that was running has finished (or shows a modal box).
// ping HWND TIMEOUT_MS: whether the system takes the window for hung, and whether its thread
// answers a sent message as the system's own checks send it, and how soon.
std::string Ping(const Args& args, Session&) {
    const HWND hwnd = WindowArg(args, 1);
    const bool hung = IsHungAppWindow(hwnd) != FALSE;
    const double sent = Now();
    DWORD_PTR ignored = 0;
    const bool answered = SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                                              Milliseconds(args, 2), &ignored) != 0;
    return Object().Add("hung", hung).Add("answered", answered).Add("seconds", Now() - sent).str();
}

// idle HWND TIMEOUT_MS: waits until the launcher has finished its handler: its thread answers,
// and its window takes input again (a start-up check disables it) or shows a message box.
std::string Idle(const Args& args, Session&) {
    const HWND hwnd = WindowArg(args, 1);
    const bool idle = PollUntil(Milliseconds(args, 2), [&] {
        DWORD_PTR ignored = 0;
        if (!SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_BLOCK, 1000, &ignored)) {
            return false;
        }
        const HWND popup = GetWindow(hwnd, GW_ENABLEDPOPUP);
        return IsWindowEnabled(hwnd) || (popup && ClassName(popup) == L"#32770");
    });
    return Object().Add("idle", idle).Add("time", Now()).str();
}

HWND FindMessageBox(DWORD pid, const std::wstring& title) {
    for (HWND hwnd : TopLevelWindows()) {
        if (ClassName(hwnd) == L"#32770" && IsWindowVisible(hwnd) &&
            (title == L"*" || WindowText(hwnd) == title) && (pid == 0 || ProcessOf(hwnd) == pid)) {
            return hwnd;
        }
    }
    return nullptr;
}

// msgbox PID|0 TITLE|* TIMEOUT_MS: the message box's text, buttons and icon.
std::string ReadMessageBox(const Args& args, Session&) {
    const auto pid = static_cast<DWORD>(Number(args, 1));
    const std::wstring& title = Text(args, 2);
    HWND box = nullptr;
    PollUntil(Milliseconds(args, 3), [&] { return (box = FindMessageBox(pid, title)) != nullptr; });
    if (!box) {
        return Object().Add("found", false).str();
    }
    std::vector<std::string> buttons;
    HWND icon_static = nullptr;
    for (HWND child : Children(box)) {
        const auto style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
        if (ClassName(child) == L"Button" && (style & WS_VISIBLE)) {
            buttons.push_back(Object()
                                  .Add("id", static_cast<long long>(GetDlgCtrlID(child)))
                                  .Add("text", WindowText(child))
                                  .str());
        }
        if (ClassName(child) == L"Static" && (style & SS_TYPEMASK) == SS_ICON &&
            (style & WS_VISIBLE)) {
            icon_static = child;
        }
    }
    // Whether there is an icon, the static itself says; which one, only its pixels tell, so
    // give the box a moment to paint it.
    std::wstring icon = L"none";
    DWORD_PTR icon_handle = 0;
    if (icon_static &&
        SendMessageTimeoutW(icon_static, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 2000,
                            &icon_handle) &&
        icon_handle) {
        PollUntil(3000, [&] {
            icon = IconShown(icon_static);
            return icon != L"unknown" && icon != L"none";
        });
        if (icon == L"none") {
            icon = L"unknown";  // set but never seen on the screen
        }
    }
    const HWND text = GetDlgItem(box, 0xFFFF);
    return Object()
        .Add("found", true)
        .Add("hwnd", Handle(box))
        .Add("pid", static_cast<long long>(ProcessOf(box)))
        .Add("owner", Handle(GetWindow(box, GW_OWNER)))
        .Add("text", text ? WindowText(text) : std::wstring())
        .Add("icon", icon)
        .Raw("buttons", Array(buttons))
        .str();
}

// dismiss BOX_HWND: presses the box's OK button.
std::string Dismiss(const Args& args, Session&) {
    const HWND ok = GetDlgItem(WindowArg(args, 1), IDOK);
    const bool posted = ok && PostMessageW(ok, BM_CLICK, 0, 0);
    return Object().Add("ok", posted).Add("time", Now()).str();
}

// spawn CWD COMMAND_LINE: starts a process with exactly this command line, as a shortcut
// would.
std::string Spawn(const Args& args, Session& session) {
    std::wstring command_line = Text(args, 2);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Wine now and then refuses a start with ERROR_INTERNAL_ERROR while its server is busy with
    // the previous session's processes; a second try a moment later goes through.
    BOOL started = FALSE;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt > 0) {
            Sleep(200);
        }
        started = CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 Text(args, 1).c_str(), &startup, &process);
        if (!started && GetLastError() != ERROR_INTERNAL_ERROR) {
            break;
        }
    }
    if (!started) {
        return Object().Add("ok", false).Add("error", static_cast<long long>(GetLastError())).str();
    }
    CloseHandle(process.hThread);
    session.spawned[process.dwProcessId] = process.hProcess;
    return Object()
        .Add("ok", true)
        .Add("pid", static_cast<long long>(process.dwProcessId))
        .Add("time", Now())
        .str();
}

// wait-exit PID TIMEOUT_MS: whether and how a process ended.
std::string WaitExit(const Args& args, Session& session) {
    const auto pid = static_cast<DWORD>(Number(args, 1));
    HANDLE process = nullptr;
    bool owned = false;
    if (const auto it = session.spawned.find(pid); it != session.spawned.end()) {
        process = it->second;
    } else {
        process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        owned = true;
    }
    if (!process) {
        return Object().Add("exited", true).Add("known", false).str();
    }
    const bool exited = WaitForSingleObject(process, Milliseconds(args, 2)) == WAIT_OBJECT_0;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    if (owned) {
        CloseHandle(process);
    }
    return Object()
        .Add("exited", exited)
        .Add("known", true)
        .Add("code", static_cast<long long>(code))
        .Add("time", Now())
        .str();
}

// kill EXE_NAME: ends every process running an executable of this name.
std::string Kill(const Args& args, Session&) {
    const std::wstring& name = Text(args, 1);
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    long long killed = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (!SameTextIgnoringCase(entry.szExeFile, name)) {
            continue;
        }
        if (const HANDLE process =
                OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
            if (TerminateProcess(process, 1)) {
                WaitForSingleObject(process, 5000);
                ++killed;
            }
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
    return Object().Add("killed", killed).str();
}

// ---- explanations on demand --------------------------------------------------------------

// The shown tooltip of a window's thread, if any; its text is the tip on show.
HWND ShownTooltip(HWND owner) {
    for (HWND hwnd : TopLevelWindows()) {
        if (ClassName(hwnd) == L"tooltips_class32" && IsWindowVisible(hwnd) &&
            GetWindowThreadProcessId(hwnd, nullptr) == GetWindowThreadProcessId(owner, nullptr)) {
            return hwnd;
        }
    }
    return nullptr;
}

// hover HWND CONTROL_ID TIMEOUT_MS: rests the mouse on the middle of the control, after a move
// from outside the window, and reads the tooltip that shows there, if one does in time.
std::string Hover(const Args& args, Session&) {
    const HWND main = WindowArg(args, 1);
    const HWND control = GetDlgItem(main, static_cast<int>(Number(args, 2)));
    if (!control) {
        throw std::runtime_error("no such control");
    }
    RECT window{};
    RECT rect{};
    GetWindowRect(main, &window);
    GetWindowRect(control, &rect);
    MoveMouse({window.left - 20, window.top - 20});
    PollUntil(2000, [&] { return ShownTooltip(main) == nullptr; });
    MoveMouse({(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
    HWND tooltip = nullptr;
    PollUntil(Milliseconds(args, 3), [&] { return (tooltip = ShownTooltip(main)) != nullptr; });
    Object answer;
    answer.Add("shown", tooltip != nullptr);
    if (tooltip) {
        // A tooltip answers WM_GETTEXT with the tip it shows; the system carries the text over.
        std::wstring text(4096, L'\0');
        DWORD_PTR length = 0;
        SendMessageTimeoutW(tooltip, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                            SMTO_ABORTIFHUNG | SMTO_BLOCK, 2000, &length);
        text.resize(length);
        answer.Add("text", text);
    }
    return answer.str();
}

// press HWND VK...: the keys pressed together in this order and released in the other, as real
// input to the window, made the foreground window first.
std::string Press(const Args& args, Session&) {
    const HWND main = WindowArg(args, 1);
    SetForegroundWindow(main);
    std::vector<INPUT> keys;
    for (std::size_t i = 2; i < args.size(); ++i) {
        INPUT key{};
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = static_cast<WORD>(Number(args, i));
        keys.push_back(key);
    }
    for (std::size_t i = keys.size(); i-- > 0;) {
        keys.push_back(keys[i]);
        keys.back().ki.dwFlags = KEYEVENTF_KEYUP;
    }
    const UINT sent = SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
    return Object()
        .Add("ok", sent == keys.size())
        .Add("foreground", GetForegroundWindow() == main)
        .str();
}

// clipboard [clear]: the clipboard's Unicode text, or null; "clear" empties it.
std::string Clipboard(const Args& args, Session&) {
    // Another program may hold it open for a moment.
    if (!PollUntil(2000, [] { return OpenClipboard(nullptr) != FALSE; })) {
        throw std::runtime_error("the clipboard stays open");
    }
    Object answer;
    if (args.size() > 1 && args[1] == L"clear") {
        answer.Add("ok", EmptyClipboard() != FALSE);
    } else if (const HANDLE data = GetClipboardData(CF_UNICODETEXT);
               const auto* text = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr) {
        answer.Add("text", std::wstring(text));
        GlobalUnlock(data);
    } else {
        answer.Raw("text", "null");
    }
    CloseClipboard();
    return answer.str();
}

// accessible HWND CONTROL_ID: asks for the window's accessible object as an accessibility
// client does, which sends the window WM_GETOBJECT; whether the system gave one, and the
// control's handle, by which annotations name it.
std::string Accessible(const Args& args, Session&) {
    const HWND main = WindowArg(args, 1);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IAccessible* window = nullptr;
    const bool given =
        SUCCEEDED(AccessibleObjectFromWindow(main, static_cast<DWORD>(OBJID_CLIENT),
                                             IID_IAccessible, reinterpret_cast<void**>(&window)));
    if (window) {
        window->Release();
    }
    return Object()
        .Add("given", given)
        .Add("hwnd", Handle(GetDlgItem(main, static_cast<int>(Number(args, 2)))))
        .str();
}

std::string Time(const Args&, Session&) {
    return Object().Add("time", Now()).str();
}

using Command = std::string (*)(const Args&, Session&);

const std::map<std::wstring, Command>& Commands() {
    static const std::map<std::wstring, Command> commands{
        {L"find", Find},
        {L"state", State},
        {L"click", Click},
        {L"key", Key},
        {L"syscommand", SysCommand},
        {L"wait", Wait},
        {L"idle", Idle},
        {L"ping", Ping},
        {L"watch", Watch},
        {L"minimised", Minimised},
        {L"msgbox", ReadMessageBox},
        {L"dismiss", Dismiss},
        {L"spawn", Spawn},
        {L"wait-exit", WaitExit},
        {L"kill", Kill},
        {L"time", Time},
        {L"hover", Hover},
        {L"press", Press},
        {L"clipboard", Clipboard},
        {L"accessible", Accessible},
    };
    return commands;
}

std::string Run(const Args& args, Session& session) {
    try {
        const auto it = args.empty() ? Commands().end() : Commands().find(args[0]);
        if (it == Commands().end()) {
            throw std::runtime_error("unknown command");
        }
        return it->second(args, session);
    } catch (const std::exception& error) {
        return Object().Add("error", Wide(error.what())).str();
    }
}

void Write(const std::string& line) {
    const std::string out = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written,
              nullptr);
}

// One command a line until the input ends; the driver keeps one inspector for a whole session.
int Serve(Session& session) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::string pending;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(input, chunk, sizeof chunk, &read, nullptr) && read > 0) {
        pending.append(chunk, read);
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            Args args;
            for (std::size_t start = 0;;) {
                const std::size_t tab = line.find('\t', start);
                args.push_back(Wide(line.substr(start, tab - start)));
                if (tab == std::string::npos) {
                    break;
                }
                start = tab + 1;
            }
            if (args.size() == 1 && args[0] == L"quit") {
                return 0;
            }
            Write(Run(args, session));
        }
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Session session;
    if (argc == 2 && std::wstring_view(argv[1]) == L"serve") {
        return Serve(session);
    }
    const Args args(argv + 1, argv + argc);
    const std::string answer = Run(args, session);
    Write(answer);
    return answer.rfind("{\"error\"", 0) == 0 ? 2 : 0;
}
