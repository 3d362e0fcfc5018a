#include "platform/win32/system_library.h"

#include <string>

namespace kvat::win32 {
namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

std::wstring SystemFolder() {
    std::wstring folder(MAX_PATH, L'\0');
    for (;;) {
        const UINT length = GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
        if (length == 0) {
            return {};
        }
        if (length < folder.size()) {
            folder.resize(length);
            return folder;
        }
        folder.resize(length);  // the size it asks for, terminator included
    }
}

}  // namespace

void RestrictDllSearchToSystemFolder() {
    // Windows 8 and later have SetDefaultDllDirectories; Vista and 7 have it with update
    // KB2533623. It is looked up so that the launcher still starts where it is missing.
    SetDefaultDllDirectoriesFunction set_default_directories = nullptr;
    if (ResolveExport(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories",
                      set_default_directories) &&
        set_default_directories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return;
    }
    SetDllDirectoryW(L"");
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
    if (HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return module;
    }
    // Systems without the flag refuse it as an invalid parameter; anything else is a real
    // failure to load.
    if (GetLastError() != ERROR_INVALID_PARAMETER) {
        return nullptr;
    }
    return LoadSystemLibraryByPath(name);
}

HMODULE LoadSystemLibraryByPath(const wchar_t* name) {
    const std::wstring folder = SystemFolder();
    if (folder.empty()) {
        return nullptr;
    }
    const std::wstring path = folder + L'\\' + name;
    // With a full path, the altered search order takes the DLL's own dependencies from the
    // system folder too, not from the launcher's folder.
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace kvat::win32
