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
