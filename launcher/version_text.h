// Rules for the texts that travel as versions: the fixed-length server answers and the
// comparisons the status check makes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kvat {

// Number of characters (Unicode code points) in UTF-8 text.
std::size_t CharacterCount(std::string_view text);

// The trailing `width` characters of an answer that is exactly `length` characters long;
// empty text for an answer of any other length. Nothing is trimmed first.
std::string VersionFromAnswer(std::string_view answer, std::size_t length, std::size_t width);

// Equality of two texts ignoring letter case (A-Z against a-z); other characters must match.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

}  // namespace kvat
