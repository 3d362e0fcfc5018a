// Fixed-length answers and the case-ignoring comparison, on text that is not plain ASCII.
#include <gtest/gtest.h>

#include "launcher/version_text.h"

namespace kvat {
namespace {

TEST(VersionFromAnswer, CountsCharactersNotBytes) {
    // 22 characters of free text, one of them two bytes long, then the version.
    const std::string answer = "Versi\xC3\xB3n del software: 19.5";
    ASSERT_EQ(CharacterCount(answer), 26u);
    EXPECT_EQ(VersionFromAnswer(answer, 26, 4), "19.5");
}

TEST(VersionFromAnswer, VersionMayHoldMultiByteCharacters) {
    const std::string answer = std::string(22, 'x') + "1\xC3\xA9.5";  // "1é.5"
    EXPECT_EQ(VersionFromAnswer(answer, 26, 4), "1\xC3\xA9.5");
}

TEST(VersionFromAnswer, AnyOtherLengthIsNoAnswer) {
    EXPECT_EQ(VersionFromAnswer("", 26, 4), "");
    EXPECT_EQ(VersionFromAnswer(std::string(25, 'x'), 26, 4), "");
    EXPECT_EQ(VersionFromAnswer(std::string(27, 'x'), 26, 4), "");
    EXPECT_EQ(VersionFromAnswer(std::string(24, 'x') + "\r\n", 24, 7), "");
}

TEST(WhyNotAccepted, NamesTheCountAndTheUsualCause) {
    const std::string good = std::string(22, 'x') + "19.5";
    EXPECT_EQ(WhyNotAccepted(good, 26), "");
    EXPECT_EQ(WhyNotAccepted(good + "\r\n", 26),
              "28 characters, 2 too many: the file ends with a line break (CR LF)");
    EXPECT_EQ(WhyNotAccepted(good + "\n", 26),
              "27 characters, 1 too many: the file ends with a line break (LF)");
    EXPECT_EQ(WhyNotAccepted("", 24), "0 characters, 24 too few: the file is empty");
    EXPECT_EQ(WhyNotAccepted("x", 24), "1 character, 23 too few");
    // A byte order mark read through a Western code page, and a final CR LF.
    EXPECT_EQ(WhyNotAccepted("\xC3\xAF\xC2\xBB\xC2\xBF" + good + "\r\n", 26),
              "31 characters, 5 too many: the file starts with a byte order mark and ends with a "
              "line break (CR LF)");
    // Notepad's "Unicode": UTF-16 with its byte order mark, read through a Western code page.
    std::string utf16 = "\xC3\xBF\xC3\xBE";
    for (const char c : std::string(22, 'x') + "2.12.28") {
        utf16 += {c, '\0'};
    }
    EXPECT_EQ(WhyNotAccepted(utf16, 24),
              "60 characters, 36 too many: the file is UTF-16, two bytes a character, and starts "
              "with its byte order mark; save it as plain ASCII");
}

TEST(VersionFileText, WritesWhatTheLauncherAccepts) {
    const std::string text = VersionFileText("KVAT Software Version", "19.6", 26, 4);
    EXPECT_EQ(text, "KVAT Software Version 19.6");
    EXPECT_EQ(WhyNotAccepted(text, 26), "");
    EXPECT_EQ(VersionFromAnswer(VersionFileText(std::string(30, 'L'), "2.12.30", 24, 7), 24, 7),
              "2.12.30");
    EXPECT_EQ(WhyNotAVersion("2.12.30", 7), "");
    EXPECT_EQ(WhyNotAVersion("19.55", 4), "5 characters, 1 too many");
    EXPECT_NE(WhyNotAVersion("19 5", 4), "");
    EXPECT_NE(WhyNotAVersion("1\xC3\xA9.5", 4), "");  // "1é.5": bytes and characters differ
}

TEST(EqualIgnoringCase, FoldsLettersOnly) {
    EXPECT_TRUE(EqualIgnoringCase("2.12.2A", "2.12.2a"));
    EXPECT_TRUE(EqualIgnoringCase("", ""));
    EXPECT_FALSE(EqualIgnoringCase("2.12.28", "2.12.2"));
    EXPECT_FALSE(EqualIgnoringCase("2.12.28", ""));
    EXPECT_FALSE(EqualIgnoringCase("@", "`"));  // neighbours of the letter ranges
    EXPECT_FALSE(EqualIgnoringCase("[", "{"));
}

}  // namespace
}  // namespace kvat
