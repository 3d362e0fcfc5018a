// What the launcher learns about itself: its folder, its argument text, files beside it.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>

#include "platform/win32/system_info.h"
#include "platform/win32/text_conversion.h"

namespace kvat::win32 {
namespace {

TEST(ArgumentsOf, KeepsTheArgumentTextExactly) {
    EXPECT_EQ(ArgumentsOf(L"launcher.exe"), L"");
    EXPECT_EQ(ArgumentsOf(L"launcher.exe "), L"");
    EXPECT_EQ(ArgumentsOf(L"launcher.exe /S"), L"/S");
    EXPECT_EQ(ArgumentsOf(L"launcher.exe   /S  \"a  b\" "), L"/S  \"a  b\" ");
    EXPECT_EQ(ArgumentsOf(L"\"C:\\Program Files\\KVAT\\KVAT_Launcher.exe\" \"x y\" z"),
              L"\"x y\" z");
    EXPECT_EQ(ArgumentsOf(L"\"C:\\a b\\l.exe\"/q"), L"/q");  // no blank after the quote
    EXPECT_EQ(ArgumentsOf(L"\"unterminated"), L"");
    EXPECT_EQ(ArgumentsOf(L""), L"");
}

TEST(ExecutableFolder, IsTheFolderOfThisProgramWithoutSeparator) {
    const std::string folder = ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::string full = Narrow(path);
    EXPECT_EQ(full.substr(0, folder.size()), folder);
    EXPECT_EQ(full[folder.size()], '\\');
    EXPECT_EQ(full.find('\\', folder.size() + 1), std::string::npos);
}

TEST(FileExists, FilesOnlyAndNonAsciiNames) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"kvat \u00e9\u65e5";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring file = folder + L"\\CDM21228_Setup.exe";
    DeleteFileW(file.c_str());
    EXPECT_FALSE(FileExists(Narrow(file)));
    std::ofstream(file.c_str()) << "MZ";
    EXPECT_TRUE(FileExists(Narrow(file)));
    EXPECT_FALSE(FileExists(Narrow(folder)));  // a folder is not a file
    DeleteFileW(file.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST(WindowsMajorVersion, ReportsTheSystemsMajorVersion) {
    const int major = WindowsMajorVersion();
    EXPECT_GE(major, 5);
    EXPECT_LE(major, 10);
}

}  // namespace
}  // namespace kvat::win32
