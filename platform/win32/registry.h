// The settings store in the current user's registry, and key probes.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace kvat::win32 {

// Creates the application and section keys when missing and writes a REG_SZ value.
// Throws LauncherError when the store refuses.
void SaveSetting(std::string_view app, std::string_view section, std::string_view key,
                 std::string_view value);

// The stored string, or `default_value` when the key path or value is missing or the value
// is not a string.
std::string GetSetting(std::string_view app, std::string_view section, std::string_view key,
                       std::string_view default_value);

// Opens the key with read access and closes it again; true when the open succeeded.
bool ProbeKey(RegistryHive hive, std::string_view sub_key);

}  // namespace kvat::win32
