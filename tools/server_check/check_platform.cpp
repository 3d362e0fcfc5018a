#include "tools/server_check/check_platform.h"

#include <utility>

#include "launcher/constants.h"
#include "platform/settings_store.h"
#include "tools/server_check/start_up_only.h"

namespace kvat::server_check {

CheckPlatform::CheckPlatform(Fetcher fetcher, std::optional<std::string_view> recorded_driver)
    : fetcher_(std::move(fetcher)) {
    if (recorded_driver) {
        SaveSetting(kSettingsApp, kSettingsSection, kSettingUsbVersion, *recorded_driver);
    }
}

void CheckPlatform::SaveSetting(std::string_view app, std::string_view section,
                                std::string_view key, std::string_view value) {
    settings_[{std::string(app), std::string(section), std::string(key)}] = value;
}

std::string CheckPlatform::GetSetting(std::string_view app, std::string_view section,
                                      std::string_view key, std::string_view default_value) {
    const auto found = settings_.find({std::string(app), std::string(section), std::string(key)});
    return found == settings_.end() ? std::string(default_value) : found->second;
}

bool CheckPlatform::ProbeRegistryKey(RegistryHive hive, std::string_view sub_key) {
    // The start-up pass probes its own section, named with a trailing backslash.
    if (hive != RegistryHive::CurrentUser ||
        sub_key != SettingsSectionKey(kSettingsApp, kSettingsSection) + "\\") {
        return false;
    }
    for (const auto& [address, value] : settings_) {
        if (std::get<0>(address) == kSettingsApp && std::get<1>(address) == kSettingsSection) {
            return true;
        }
    }
    return false;
}

FetchAnswer CheckPlatform::Fetch(std::string_view url) {
    fetches_.push_back(fetcher_(url));
    return fetches_.back();
}

ShellAnswer CheckPlatform::ShellLaunch(std::string_view, std::string_view,
                                       std::optional<std::string_view>) {
    NotInStartUpPass("the shell");
}

bool CheckPlatform::FileExists(std::string_view) {
    NotInStartUpPass("a file test");
}

std::string CheckPlatform::LauncherFolder() {
    NotInStartUpPass("the launcher folder");
}

std::string CheckPlatform::CommandLine() {
    NotInStartUpPass("the command line");
}

}  // namespace kvat::server_check
