// The launcher window on Win32: built from the window description, it implements the window
// operations the handlers use and forwards clicks and the timer to them.
#pragma once

#include <windows.h>

#include <array>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "launcher/window.h"
#include "launcher/win32/accessible_descriptions.h"
#include "launcher/win32/check_wait.h"
#include "launcher/win32/gdi_object.h"
#include "launcher/win32/handler_queue.h"
#include "launcher/win32/status_tooltip.h"
#include "launcher/win32/window_class.h"
#include "launcher/win32/window_procedure.h"
#include "platform/platform.h"

namespace kvat {
class Form1;
}

namespace kvat::win32 {

class MainWindow final : public Window {
  public:
    // Creates the window and its controls, hidden, with what a start-up check needs of them: their
    // captions and visibility. Their fonts and pictures come while the first check waits (for
    // WinINet or for the server), or at the first Show at the latest. `platform` names the
    // application in error reports. `beside_controls` runs once the window itself exists, before
    // its controls are built: work that may go on while they are.
    MainWindow(HINSTANCE instance, const Platform& platform,
               const std::function<void()>& beside_controls = {});
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
    ~MainWindow() override;

    // The handlers that serve the window's events.
    void Attach(Form1& form) { form_ = &form; }

    // How the window's thread waits for the fetches of a start-up check (see CheckWait).
    FetchWaiter& fetch_waiter() { return *check_wait_; }
    // Nothing of the launcher has been on screen since `moment`: the progress window of the first
    // start-up check shows one second after that at the latest.
    void SilentSince(std::chrono::steady_clock::time_point moment) {
        check_wait_->SilentSince(moment);
    }

    // Shows the window centred, in the normal state, with the focus on the first button, its
    // fonts and pictures in place (an error when they could not be had). A progress window of the
    // check before it then goes.
    void Show();
    // Delivers events until the window is gone; returns the process exit code. Ctrl+C copies
    // the report of the last check for the vendor's support.
    int RunMessageLoop();

    // Runs an event handler; an error it raises is reported and ends the launcher. Handlers run
    // one at a time: an event that arrives while one is in progress (say, inside its message
    // box, or while its start-up check waits for the server) waits until that handler has
    // finished. A start-up check is over when the handler that ran it is.
    void RunHandler(std::function<void()> handler);
    bool failed() const { return exit_code_ != 0; }

    HWND hwnd() const { return hwnd_; }
    HWND control(ControlId id) const { return controls_[static_cast<std::size_t>(id)]; }
    int dpi() const { return dpi_; }

    // Window operations.
    void SetCaption(ControlId control, std::string_view caption) override;
    std::string Caption(ControlId control) const override;
    void SetVisible(ControlId control, bool visible) override;
    void SetTimerEnabled(bool enabled) override;
    void SetWindowState(WindowState state) override;
    void Refresh() override;
    void ShowMessage(std::string_view text, std::string_view title, MessageStyle style) override;
    void Close() override;

  private:
    template <typename Owner>
    friend LRESULT CALLBACK OwnerWindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    void CreateControls();
    // The rest of the window, one step at a time: the fonts, then each picture. False once
    // nothing is left; an error ends the steps and is kept for Show.
    bool FinishingStep();
    void SetFonts();
    void LoadPicture(Picture which);
    void DestroyOwnWindow();
    HFONT FontFor(int centipoints, bool bold);
    void ClickFocusedButton();
    void Fail();
    // After each handler: what the status texts now explain, over them and to accessibility.
    void UpdateExplanations();
    void CopySupportReport();

    HINSTANCE instance_;
    const Platform& platform_;
    Form1* form_ = nullptr;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    std::array<HWND, kControlCount> controls_{};
    std::map<std::pair<int, bool>, FontHandle> fonts_;
    std::array<BitmapHandle, 2> pictures_;
    static constexpr int kFinishingSteps = 3;
    int finishing_steps_done_ = 0;
    std::exception_ptr finish_error_;
    IconHandle big_icon_;
    IconHandle small_icon_;
    IconWindowClass class_;  // after the icons: it goes before them
    std::optional<CheckWait> check_wait_;
    std::optional<StatusTooltip> tooltip_;
    AccessibleDescriptions descriptions_;
    HandlerQueue handlers_;
    HWND focus_before_deactivation_ = nullptr;
    bool timer_enabled_ = false;
    int exit_code_ = 0;
};

}  // namespace kvat::win32
