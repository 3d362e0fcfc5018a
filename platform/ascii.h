// ASCII character classes and case, whatever the locale: addresses, version texts and host
// names are judged by these alone.
#pragma once

namespace kvat {

constexpr bool IsAsciiAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr bool IsAsciiAlphaNumeric(char c) {
    return IsAsciiAlpha(c) || IsAsciiDigit(c);
}

constexpr bool IsAsciiHexDigit(char c) {
    return IsAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The lower-case letter for an upper-case one; any other character as it is.
constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace kvat
