// The platform of the server check: settings in memory, no device, no shell, and fetches that
// are kept for the report.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/platform.h"
#include "tools/server_check/fetch_record.h"

namespace kvat::server_check {

class CheckPlatform final : public Platform {
  public:
    // `recorded_driver` seeds the `USB Version` setting; without it no driver is recorded.
    CheckPlatform(Fetcher fetcher, std::optional<std::string_view> recorded_driver);

    void SetAppTitle(std::string_view title) override { app_title_ = title; }
    std::string AppTitle() const override { return app_title_; }
    void SaveSetting(std::string_view app, std::string_view section, std::string_view key,
                     std::string_view value) override;
    std::string GetSetting(std::string_view app, std::string_view section, std::string_view key,
                           std::string_view default_value) override;
    // The settings section exists once something was saved in it; there is no FTDI device.
    bool ProbeRegistryKey(RegistryHive hive, std::string_view sub_key) override;
    FetchAnswer Fetch(std::string_view url) override;
    // A current Windows: the generation saved is "Vista", as on every supported system.
    int WindowsMajorVersion() override { return 10; }

    // The start-up pass uses none of these.
    ShellAnswer ShellLaunch(std::string_view verb, std::string_view file,
                            std::optional<std::string_view> parameters) override;
    bool FileExists(std::string_view path) override;
    std::string LauncherFolder() override;
    std::string CommandLine() override;

    // Every fetch of the pass, in order.
    const std::vector<FetchRecord>& fetches() const { return fetches_; }

  private:
    using Address = std::tuple<std::string, std::string, std::string>;

    Fetcher fetcher_;
    std::string app_title_;
    std::map<Address, std::string> settings_;
    std::vector<FetchRecord> fetches_;
};

}  // namespace kvat::server_check
