// Where the settings store keeps its values in the current user's registry: one key per
// application below the settings root, and one key per section below that. Values saved by
// earlier releases of the launcher live there too, so the place never changes.
#pragma once

#include <string>
#include <string_view>

namespace kvat {

// Below HKEY_CURRENT_USER.
inline constexpr std::string_view kSettingsRoot = "Software\\VB and VBA Program Settings";

// "<root>\<app>\<section>", below HKEY_CURRENT_USER.
inline std::string SettingsSectionKey(std::string_view app, std::string_view section) {
    std::string path(kSettingsRoot);
    path.append("\\").append(app).append("\\").append(section);
    return path;
}

}  // namespace kvat
