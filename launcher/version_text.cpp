#include "launcher/version_text.h"

#include <algorithm>

#include "platform/ascii.h"

namespace kvat {
namespace {

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// "28 characters, 2 too many"
std::string CountAgainst(std::size_t count, std::size_t expected) {
    const std::size_t off = count > expected ? count - expected : expected - count;
    return std::to_string(count) + (count == 1 ? " character, " : " characters, ") +
           std::to_string(off) + (count > expected ? " too many" : " too few");
}

// A byte order mark as the launcher reads it: three characters from a Western code page, or
// one when the bytes were read as UTF-8.
bool StartsWithByteOrderMark(std::string_view text) {
    return text.starts_with("\xC3\xAF\xC2\xBB\xC2\xBF") || text.starts_with("\xEF\xBB\xBF");
}

// A file saved as UTF-16 (Notepad's "Unicode"): two bytes for each character, so that every
// other byte of ASCII text is zero, usually after a UTF-16 byte order mark.
bool LooksLikeUtf16(std::string_view text) {
    const auto zeros = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\0'));
    return zeros > 0 && zeros * 3 >= CharacterCount(text);
}

std::string_view TrailingLineBreak(std::string_view text) {
    if (text.ends_with("\r\n")) {
        return "a line break (CR LF)";
    }
    if (text.ends_with('\n')) {
        return "a line break (LF)";
    }
    if (text.ends_with('\r')) {
        return "a line break (CR)";
    }
    return {};
}

// "HTTP status 404: the file is not on the server"; what the common statuses mean for the file.
std::string HttpStatusReason(long status) {
    std::string why = "HTTP status " + std::to_string(status);
    if (status == 401 || status == 407) {
        return why + ": a login is asked for, and the launcher never sends one";
    }
    if (status == 404 || status == 410) {
        return why + ": the file is not on the server";
    }
    if (status == 403) {
        return why + ": the server refuses to give the file";
    }
    if (status >= 500 && status <= 599) {
        return why + ": an error on the server's side";
    }
    return why;
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

std::string WhyNotAccepted(std::string_view answer, std::size_t length) {
    const std::size_t count = CharacterCount(answer);
    if (count == length) {
        return {};
    }
    std::string why = CountAgainst(count, length);
    if (answer.empty()) {
        return why + ": the file is empty";
    }
    if (LooksLikeUtf16(answer)) {
        // Its byte order mark, FF FE or FE FF, reads as two characters outside ASCII.
        const bool utf16_mark = static_cast<unsigned char>(answer.front()) >= 0x80;
        return why + ": the file is UTF-16, two bytes a character" +
               (utf16_mark ? ", and starts with its byte order mark" : "") +
               "; save it as plain ASCII";
    }
    const bool mark = StartsWithByteOrderMark(answer);
    const std::string_view line_break = TrailingLineBreak(answer);
    if (mark || !line_break.empty()) {
        why += ": the file";
        if (mark) {
            why += " starts with a byte order mark";
        }
        if (mark && !line_break.empty()) {
            why += " and";
        }
        if (!line_break.empty()) {
            why.append(" ends with ").append(line_break);
        }
    }
    return why;
}

std::string WhyNoVersion(const FetchAnswer& answer, std::size_t length) {
    if (answer.failure != FetchFailure::None) {
        return DescribeFetchFailure(answer.failure, answer.failure_detail);
    }
    if (answer.status < 200 || answer.status > 299) {
        return HttpStatusReason(answer.status);
    }
    return WhyNotAccepted(answer.text, length);
}

std::string WhyDriverDiffers(std::string_view server_version, std::string_view recorded_version) {
    std::string why = "the version " + std::string(server_version) + " differs from the recorded ";
    return recorded_version.empty() ? why + "one, which is empty"
                                    : why + std::string(recorded_version);
}

std::string WhyNotAVersion(std::string_view version, std::size_t width) {
    for (char c : version) {
        if (c <= ' ' || c > '~') {
            return "only letters, digits and punctuation may be used, no blanks";
        }
    }
    return version.size() == width ? std::string() : CountAgainst(version.size(), width);
}

std::string VersionFileText(std::string_view label, std::string_view version, std::size_t length,
                            std::size_t width) {
    // The labels are ASCII, so bytes are characters here.
    std::string text(label.substr(0, length - width));
    text.resize(length - width, ' ');
    text.append(version);
    return text;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace kvat
