#include "platform/win32/win32_platform.h"

#include "platform/win32/registry.h"
#include "platform/win32/system_info.h"
#include "platform/win32/text_conversion.h"

namespace kvat::win32 {

void Win32Platform::SaveSetting(std::string_view app, std::string_view section,
                                std::string_view key, std::string_view value) {
    win32::SaveSetting(app, section, key, value);
}

std::string Win32Platform::GetSetting(std::string_view app, std::string_view section,
                                      std::string_view key, std::string_view default_value) {
    return win32::GetSetting(app, section, key, default_value);
}

bool Win32Platform::ProbeRegistryKey(RegistryHive hive, std::string_view sub_key) {
    return ProbeKey(hive, sub_key);
}

FetchAnswer Win32Platform::Fetch(std::string_view url) {
    const std::wstring wide_url = Widen(url);
    return AnswerOf(HttpGet(wininet_, wide_url, limits_, *waiter_), wide_url);
}

ShellAnswer Win32Platform::ShellLaunch(std::string_view verb, std::string_view file,
                                       std::optional<std::string_view> parameters) {
    return shell_.Launch(verb, file, parameters);
}

bool Win32Platform::FileExists(std::string_view path) {
    return win32::FileExists(path);
}

int Win32Platform::WindowsMajorVersion() {
    return win32::WindowsMajorVersion();
}

std::string Win32Platform::LauncherFolder() {
    return ExecutableFolder();
}

std::string Win32Platform::CommandLine() {
    return ArgumentText();
}

}  // namespace kvat::win32
