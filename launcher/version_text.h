// Rules for the texts that travel as versions: the fixed-length server answers and the
// comparisons the status check makes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/fetch_answer.h"

namespace kvat {

// Number of characters (Unicode code points) in UTF-8 text.
std::size_t CharacterCount(std::string_view text);

// The trailing `width` characters of an answer that is exactly `length` characters long;
// empty text for an answer of any other length. Nothing is trimmed first.
std::string VersionFromAnswer(std::string_view answer, std::size_t length, std::size_t width);

// In plain words, why an answer is not exactly `length` characters long, for example
// "28 characters, 2 too many: the file ends with a line break (CR LF)"; empty text when it is.
std::string WhyNotAccepted(std::string_view answer, std::size_t length);

// In plain words, why a version file's answer gives no version: why the fetch brought no whole
// answer, the HTTP status, or WhyNotAccepted; empty text when it gives one. The one wording of
// these reasons, for the launcher's window and the vendor's check alike.
std::string WhyNoVersion(const FetchAnswer& answer, std::size_t length);

// Why the driver status asks to install although the server's version file was accepted:
// "the version 2.12.30 differs from the recorded 2.12.28".
std::string WhyDriverDiffers(std::string_view server_version, std::string_view recorded_version);

// In plain words, why `version` cannot be the `width`-character version that ends a version
// file; empty text when it can. Only printable ASCII without blanks is taken, so that every
// code page reads one byte as one character.
std::string WhyNotAVersion(std::string_view version, std::size_t width);

// A version file the launcher accepts: `label`, padded with blanks or cut to the leading
// `length - width` characters, then `version` (which WhyNotAVersion accepts). No line break.
std::string VersionFileText(std::string_view label, std::string_view version, std::size_t length,
                            std::size_t width);

// Equality of two texts ignoring letter case (A-Z against a-z); other characters must match.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

}  // namespace kvat
