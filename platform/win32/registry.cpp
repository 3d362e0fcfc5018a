#include "platform/win32/registry.h"

#include <windows.h>

#include <memory>
#include <type_traits>
#include <vector>

#include "platform/settings_store.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/win32_error.h"

namespace kvat::win32 {
namespace {

struct RegKeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};

using RegKey = std::unique_ptr<std::remove_pointer_t<HKEY>, RegKeyCloser>;

// The key opened for reading, or nothing.
RegKey OpenForReading(HKEY root, std::string_view sub_key) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, Widen(sub_key).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return nullptr;
    }
    return RegKey(key);
}

}  // namespace

void SaveSetting(std::string_view app, std::string_view section, std::string_view key,
                 std::string_view value) {
    HKEY created = nullptr;
    LSTATUS status =
        RegCreateKeyExW(HKEY_CURRENT_USER, Widen(SettingsSectionKey(app, section)).c_str(), 0,
                        nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &created, nullptr);
    if (status != ERROR_SUCCESS) {
        throw Win32Error(static_cast<unsigned long>(status), "Saving setting " + std::string(key));
    }
    const RegKey section_key(created);
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
    const RegKey section_key = OpenForReading(HKEY_CURRENT_USER, SettingsSectionKey(app, section));
    if (!section_key) {
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
    return OpenForReading(
               hive == RegistryHive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
               sub_key) != nullptr;
}

}  // namespace kvat::win32
