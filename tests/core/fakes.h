// Recording fakes of the window and the platform. Every call lands in one shared log, in the
// order it was made, so tests can check the orders the handlers must keep.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "launcher/form1.h"
#include "launcher/window.h"
#include "platform/web_address.h"
#include "platform/launcher_error.h"
#include "platform/platform.h"

namespace kvat::testing {

using CallLog = std::vector<std::string>;

class FakeWindow final : public Window {
  public:
    explicit FakeWindow(CallLog& log) : log_(log) {
        for (const ControlDescription& control : Form1Description().controls) {
            captions_[control.id] = std::string(control.caption);
            visible_[control.id] = control.visible_at_start;
        }
    }

    void SetCaption(ControlId id, std::string_view caption) override {
        log_.push_back("caption " + Name(id) + "=" + std::string(caption));
        captions_[id] = caption;
    }
    std::string Caption(ControlId id) const override { return captions_.at(id); }
    void SetVisible(ControlId id, bool visible) override {
        log_.push_back((visible ? "show " : "hide ") + Name(id));
        visible_[id] = visible;
    }
    void SetTimerEnabled(bool enabled) override {
        log_.push_back(enabled ? "timer on" : "timer off");
        timer_enabled = enabled;
    }
    void SetWindowState(WindowState new_state) override {
        log_.push_back("state " + std::to_string(static_cast<int>(new_state)));
        state = new_state;
    }
    void Refresh() override { log_.push_back("refresh"); }
    void ShowMessage(std::string_view text, std::string_view title, MessageStyle style) override {
        log_.push_back("message " + std::string(title) + " " +
                       std::to_string(static_cast<int>(style)));
        messages.push_back({std::string(text), std::string(title), style});
    }
    void Close() override {
        log_.push_back("close");
        closed = true;
    }

    static std::string Name(ControlId id) { return std::string(Describe(id).name); }
    const std::string& caption(ControlId id) const { return captions_.at(id); }
    bool visible(ControlId id) const { return visible_.at(id); }

    struct Message {
        std::string text, title;
        MessageStyle style;
    };
    std::vector<Message> messages;
    bool timer_enabled = false;
    bool closed = false;
    WindowState state = WindowState::Normal;

  private:
    CallLog& log_;
    std::map<ControlId, std::string> captions_;
    std::map<ControlId, bool> visible_;
};

class FakePlatform final : public Platform {
  public:
    explicit FakePlatform(CallLog& log) : log_(log) {}

    void SetAppTitle(std::string_view title) override {
        log_.push_back("title " + std::string(title));
        app_title = title;
    }
    std::string AppTitle() const override { return app_title; }

    void SaveSetting(std::string_view app, std::string_view section, std::string_view key,
                     std::string_view value) override {
        log_.push_back("save " + std::string(app) + "/" + std::string(section) + "/" +
                       std::string(key) + "=" + std::string(value));
        if (fail_save_of == key) {
            throw LauncherError(5, "store refused");
        }
        settings[{std::string(app), std::string(section), std::string(key)}] = value;
    }
    std::string GetSetting(std::string_view app, std::string_view section, std::string_view key,
                           std::string_view default_value) override {
        log_.push_back("get " + std::string(app) + "/" + std::string(section) + "/" +
                       std::string(key));
        const auto found =
            settings.find({std::string(app), std::string(section), std::string(key)});
        return found == settings.end() ? std::string(default_value) : found->second;
    }
    bool ProbeRegistryKey(RegistryHive hive, std::string_view sub_key) override {
        log_.push_back(
            std::string(hive == RegistryHive::CurrentUser ? "probe HKCU\\" : "probe HKLM\\") +
            std::string(sub_key));
        if (hive == RegistryHive::LocalMachine) {
            return ftdi_key_exists;
        }
        // The section exists once anything was saved in it, unless the store loses it.
        if (section_probe_fails) {
            return false;
        }
        for (const auto& [address, value] : settings) {
            if (std::get<0>(address) == "KVAT_Software" && std::get<1>(address) == "Properties") {
                return true;
            }
        }
        return false;
    }
    FetchAnswer Fetch(std::string_view url) override {
        log_.push_back("fetch " + std::string(url));
        if (fetch_hook) {
            fetch_hook(url);
        }
        if (const auto found = answers.find(std::string(url)); found != answers.end()) {
            return found->second;
        }
        FetchAnswer refused;  // nothing listens where nothing is served
        refused.failure = FetchFailure::CouldNotConnect;
        refused.failure_detail = HostAndPortOf(url);
        return refused;
    }
    ShellAnswer ShellLaunch(std::string_view verb, std::string_view file,
                            std::optional<std::string_view> parameters) override {
        log_.push_back("shell " + std::string(verb) + " " + std::string(file) +
                       (parameters ? " [" + std::string(*parameters) + "]" : " (none)"));
        return shell_answer;
    }
    bool FileExists(std::string_view path) override {
        log_.push_back("exists " + std::string(path));
        return existing_files.count(std::string(path)) != 0;
    }
    int WindowsMajorVersion() override {
        log_.push_back("winver");
        return windows_major;
    }
    std::string LauncherFolder() override { return launcher_folder; }
    std::string CommandLine() override { return command_line; }

    using Address = std::tuple<std::string, std::string, std::string>;
    std::map<Address, std::string> settings;
    std::map<std::string, FetchAnswer> answers;
    std::function<void(std::string_view)> fetch_hook;
    std::set<std::string> existing_files;
    ShellAnswer shell_answer;  // what the shell makes of every launch; started unless set
    std::string app_title = "KVAT_Launcher";
    std::string launcher_folder = "C:\\Program Files\\KVAT";
    std::string command_line;
    std::string fail_save_of;
    int windows_major = 10;
    bool ftdi_key_exists = false;
    bool section_probe_fails = false;

  private:
    CallLog& log_;
};

inline constexpr std::string_view kHost = "vendor.test";
inline const std::string kSoftwareUrl =
    "http://vendor.test/download/KVAT_Software/KVAT_Software_Version.txt";
inline const std::string kUsbUrl = "http://vendor.test/download/KVAT_Software/KVAT_USB_Version.txt";

// The launcher as the handlers see it: one window, one platform, one log.
struct Launcher {
    CallLog log;
    FakeWindow window{log};
    FakePlatform platform{log};
    Form1 form{window, platform, kHost};

    // A whole answer with status 200.
    void ServeSoftware(std::string answer) { platform.answers[kSoftwareUrl] = Ok(answer); }
    void ServeUsb(std::string answer) { platform.answers[kUsbUrl] = Ok(answer); }
    static FetchAnswer Ok(std::string text) {
        FetchAnswer answer;
        answer.text = std::move(text);
        answer.status = 200;
        return answer;
    }
    void RecordDriver(std::string version) {
        platform.settings[{"KVAT_Software", "Properties", "USB Version"}] = std::move(version);
    }
    std::optional<std::string> Setting(const std::string& key) const {
        const auto found = platform.settings.find({"KVAT_Software", "Properties", key});
        if (found == platform.settings.end()) {
            return std::nullopt;
        }
        return found->second;
    }
    std::string Caption(ControlId id) const { return window.caption(id); }
    bool Visible(ControlId id) const { return window.visible(id); }
    // Index of the first log entry equal to `entry`, or -1.
    long Position(std::string_view entry) const {
        for (std::size_t i = 0; i < log.size(); ++i) {
            if (log[i] == entry) {
                return static_cast<long>(i);
            }
        }
        return -1;
    }
};

// Version-file answers of the accepted lengths, ending in the given version.
inline std::string SoftwareAnswer(std::string_view version) {
    return "KVAT Software Version:" + std::string(version);
}
inline std::string UsbAnswer(std::string_view version) {
    return "KVAT USB Driver: " + std::string(version);
}

}  // namespace kvat::testing
