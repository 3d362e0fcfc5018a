// The launcher's platform on Windows: each service forwards to the file that owns it.
#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/win32/fetch_waiter.h"
#include "platform/win32/http_fetch.h"
#include "platform/win32/shell.h"
#include "platform/win32/wininet_library.h"

namespace kvat::win32 {

// The run-time's name for the application before anything sets it: the executable's name.
inline constexpr std::string_view kDefaultAppTitle = "KVAT_Launcher";

class Win32Platform final : public Platform {
  public:
    explicit Win32Platform(FetchLimits limits = {}) : limits_(limits) {}

    // Begins loading WinINet in the background, for the first fetch to find it ready.
    void StartLoadingWinInet() { wininet_.StartLoading(); }
    // Who waits for each fetch; a plain wait on the calling thread until one is set.
    void SetFetchWaiter(FetchWaiter& waiter) { waiter_ = &waiter; }

    void SetAppTitle(std::string_view title) override { app_title_ = title; }
    std::string AppTitle() const override { return app_title_; }
    void SaveSetting(std::string_view app, std::string_view section, std::string_view key,
                     std::string_view value) override;
    std::string GetSetting(std::string_view app, std::string_view section, std::string_view key,
                           std::string_view default_value) override;
    bool ProbeRegistryKey(RegistryHive hive, std::string_view sub_key) override;
    FetchAnswer Fetch(std::string_view url) override;
    ShellAnswer ShellLaunch(std::string_view verb, std::string_view file,
                            std::optional<std::string_view> parameters) override;
    bool FileExists(std::string_view path) override;
    int WindowsMajorVersion() override;
    std::string LauncherFolder() override;
    std::string CommandLine() override;

  private:
    FetchLimits limits_;
    WinInetLibrary wininet_;
    PlainWaiter plain_waiter_;
    FetchWaiter* waiter_ = &plain_waiter_;
    Shell shell_;
    std::string app_title_{kDefaultAppTitle};
};

}  // namespace kvat::win32
