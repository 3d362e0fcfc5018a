#include "platform/win32/registry.h"

#include <windows.h>

#include <vector>

#include "platform/settings_store.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/win32_error.h"

namespace kvat::win32 {
namespace {

class RegKey {
  public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() {
        if (key_) {
            RegCloseKey(key_);
        }
    }
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

}  // namespace

void SaveSetting(std::string_view app, std::string_view section, std::string_view key,
                 std::string_view value) {
    RegKey section_key;
    LSTATUS status = RegCreateKeyExW(
        HKEY_CURRENT_USER, Widen(SettingsSectionKey(app, section)).c_str(), 0, nullptr,
        REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, section_key.out(), nullptr);
    if (status != ERROR_SUCCESS) {
        throw Win32Error(static_cast<unsigned long>(status), "Saving setting " + std::string(key));
    }
    const std::wstring name = Widen(key);
    const std::wstring data = Widen(value);
    status = RegSetValueExW(section_key.get(), name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) {
        throw Win32Error(static_cast<unsigned long>(status), "Saving setting " + std::string(key));
    }
}

std::string GetSetting(std::string_view app, std::string_view section, std::string_view key,
                       std::string_view default_value) {
    RegKey section_key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Widen(SettingsSectionKey(app, section)).c_str(), 0,
                      KEY_READ, section_key.out()) != ERROR_SUCCESS) {
        return std::string(default_value);
    }
    const std::wstring name = Widen(key);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(section_key.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::string(default_value);
    }
    // The value may change between the two calls; ask again while it grows.
    std::vector<wchar_t> buffer;
    LSTATUS status = ERROR_MORE_DATA;
    while (status == ERROR_MORE_DATA) {
        buffer.assign(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        status = RegQueryValueExW(section_key.get(), name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(buffer.data()), &size);
    }
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        return std::string(default_value);
    }
    // Stored strings need not end in NUL, and may hold one before their end.
    std::wstring_view stored(buffer.data(), size / sizeof(wchar_t));
    if (const auto nul = stored.find(L'\0'); nul != std::wstring_view::npos) {
        stored = stored.substr(0, nul);
    }
    return Narrow(stored);
}

bool ProbeKey(RegistryHive hive, std::string_view sub_key) {
    RegKey probed;
    const HKEY root = hive == RegistryHive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    return RegOpenKeyExW(root, Widen(sub_key).c_str(), 0, KEY_READ, probed.out()) == ERROR_SUCCESS;
}

}  // namespace kvat::win32
