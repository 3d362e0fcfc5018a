#include "platform/win32/system_library.h"

#include <gtest/gtest.h>

#include <string>

namespace kvat::win32 {
namespace {

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(towlower(c));
    }
    return text;
}

std::wstring FolderOf(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(module, path.data(), MAX_PATH));
    return Lower(path.substr(0, path.find_last_of(L'\\')));
}

// Both ways of loading, the search flag and the full path that older Windows needs instead,
// take the DLL from the system folder.
TEST(SystemLibrary, LoadsFromTheSystemFolderEitherWay) {
    wchar_t system_folder[MAX_PATH] = {};
    ASSERT_NE(GetSystemDirectoryW(system_folder, MAX_PATH), 0u);
    for (const auto load : {&LoadSystemLibrary, &LoadSystemLibraryByPath}) {
        const HMODULE module = load(L"wininet.dll");
        ASSERT_NE(module, nullptr) << GetLastError();
        EXPECT_EQ(FolderOf(module), Lower(system_folder));
        FreeLibrary(module);
    }
    EXPECT_EQ(LoadSystemLibrary(L"no-such-library.dll"), nullptr);
}

}  // namespace
}  // namespace kvat::win32
