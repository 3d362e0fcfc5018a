// The settings store and key probes against the real registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "launcher/constants.h"
#include "platform/launcher_error.h"
#include "platform/win32/registry.h"

namespace kvat::win32 {
namespace {

constexpr wchar_t kAppKey[] = L"Software\\VB and VBA Program Settings\\KVAT_Software";
constexpr wchar_t kSectionKey[] =
    L"Software\\VB and VBA Program Settings\\KVAT_Software\\Properties";
// The launcher probes the section under this spelling, trailing backslash included.
constexpr char kProbedSectionKey[] =
    "Software\\VB and VBA Program Settings\\KVAT_Software\\Properties\\";

class Registry : public ::testing::Test {
  protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kAppKey); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kAppKey); }

    // Writes a raw value into the section, bypassing SaveSetting.
    static void WriteRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kSectionKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static std::string Get(const char* key) {
        return GetSetting("KVAT_Software", "Properties", key, "DNE");
    }
};

TEST_F(Registry, SaveCreatesTheKeysAndWritesAString) {
    ASSERT_FALSE(ProbeKey(RegistryHive::CurrentUser, kProbedSectionKey));
    SaveSetting("KVAT_Software", "Properties", "WindowsOS", "Vista");

    // The probe's own spelling, trailing backslash included, finds the new section.
    EXPECT_TRUE(ProbeKey(RegistryHive::CurrentUser, kProbedSectionKey));
    DWORD type = 0;
    wchar_t data[32] = {};
    DWORD size = sizeof(data);
    ASSERT_EQ(
        RegGetValueW(HKEY_CURRENT_USER, kSectionKey, L"WindowsOS", RRF_RT_ANY, &type, data, &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::wstring(data), L"Vista");
    EXPECT_EQ(size, sizeof(L"Vista"));  // stored with its terminating NUL
}

TEST_F(Registry, SaveReplacesAndGetReadsBack) {
    SaveSetting("KVAT_Software", "Properties", "USB Version", "2.08.30");
    SaveSetting("KVAT_Software", "Properties", "USB Version", "2.12.28");
    EXPECT_EQ(Get("USB Version"), "2.12.28");
    SaveSetting("KVAT_Software", "Properties", "USB Version", "");
    EXPECT_EQ(Get("USB Version"), "");
}

TEST_F(Registry, MissingKeyOrValueYieldsTheDefault) {
    EXPECT_EQ(Get("USB Version"), "DNE");
    SaveSetting("KVAT_Software", "Properties", "WindowsOS", "XP");
    EXPECT_EQ(Get("USB Version"), "DNE");
}

TEST_F(Registry, ValuesOfOtherTypesCountAsAbsent) {
    const DWORD number = 21228;
    WriteRaw(L"USB Version", REG_DWORD, &number, sizeof(number));
    EXPECT_EQ(Get("USB Version"), "DNE");
    const wchar_t expandable[] = L"%TEMP%";
    WriteRaw(L"USB Version", REG_EXPAND_SZ, expandable, sizeof(expandable));
    EXPECT_EQ(Get("USB Version"), "DNE");
}

TEST_F(Registry, StringsWithoutTerminatorOrWithEmbeddedNulReadSafely) {
    const wchar_t unterminated[] = {L'2', L'.', L'1', L'2'};
    WriteRaw(L"USB Version", REG_SZ, unterminated, sizeof(unterminated));
    EXPECT_EQ(Get("USB Version"), "2.12");
    const wchar_t embedded[] = L"2.12\0junk";
    WriteRaw(L"USB Version", REG_SZ, embedded, sizeof(embedded));
    EXPECT_EQ(Get("USB Version"), "2.12");
    const BYTE odd[] = {'2', 0, '.', 0, '1'};  // an odd byte count
    WriteRaw(L"USB Version", REG_SZ, odd, sizeof(odd));
    EXPECT_EQ(Get("USB Version"), "2.");
}

TEST_F(Registry, LongAndNonAsciiValuesRoundTrip) {
    const std::string long_value(5000, 'v');
    SaveSetting("KVAT_Software", "Properties", "Version", long_value);
    EXPECT_EQ(Get("Version"), long_value);
    SaveSetting("KVAT_Software", "Properties", "Version", "Gr\xC3\xBC\xC3\x9F \xE6\x97\xA5");
    EXPECT_EQ(Get("Version"), "Gr\xC3\xBC\xC3\x9F \xE6\x97\xA5");
}

TEST_F(Registry, RefusedSaveRaisesAnErrorWithTheSystemMessage) {
    // Key names are limited to 255 characters.
    try {
        SaveSetting(std::string(300, 'k'), "Properties", "WindowsOS", "Vista");
        FAIL() << "saving under an over-long key name succeeded";
    } catch (const LauncherError& error) {
        EXPECT_NE(error.number(), 0);
        EXPECT_NE(std::string(error.what()).find("WindowsOS"), std::string::npos);
    }
}

TEST_F(Registry, ProbeOfAMissingMachineKeyIsFalse) {
    EXPECT_FALSE(ProbeKey(RegistryHive::LocalMachine, kFtdiDeviceKey));
    EXPECT_TRUE(ProbeKey(RegistryHive::LocalMachine, "SOFTWARE\\Microsoft"));
}

}  // namespace
}  // namespace kvat::win32
