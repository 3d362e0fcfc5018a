#include "launcher/version_text.h"

namespace kvat {
namespace {

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (char c : text) {
        if (!IsContinuationByte(c)) {
            ++count;
        }
    }
    return count;
}

std::string VersionFromAnswer(std::string_view answer, std::size_t length, std::size_t width) {
    if (CharacterCount(answer) != length) {
        return {};
    }
    // Walk back `width` character starts from the end.
    std::size_t start = answer.size();
    for (std::size_t taken = 0; taken < width && start > 0;) {
        --start;
        if (!IsContinuationByte(answer[start])) {
            ++taken;
        }
    }
    return std::string(answer.substr(start));
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace kvat
