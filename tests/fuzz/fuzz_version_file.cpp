// The version-file rules fed an answer's bytes, as the Linux check reads them (one byte, one
// character) and as raw UTF-8: a version is taken only from an answer of exactly the file's
// length, and always has its fixed width; every other answer has a reason.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "launcher/constants.h"
#include "launcher/version_text.h"
#include "tools/server_check/western_text.h"

namespace {

void CheckFile(std::string_view text, std::size_t length, std::size_t width) {
    const std::string version = kvat::VersionFromAnswer(text, length, width);
    const bool exact = kvat::CharacterCount(text) == length;
    FUZZ_CHECK(version.empty() != exact);
    if (exact) {
        FUZZ_CHECK(kvat::CharacterCount(version) == width);
        FUZZ_CHECK(text.ends_with(version));
    }
    FUZZ_CHECK(kvat::WhyNotAccepted(text, length).empty() == exact);
    kvat::FetchAnswer answer;
    answer.text = std::string(text);
    answer.status = 200;
    FUZZ_CHECK(kvat::WhyNoVersion(answer, length).empty() == exact);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const std::string& text : {kvat::server_check::WesternToUtf8(bytes), std::string(bytes)}) {
        CheckFile(text, kvat::kSoftwareFileLength, kvat::kSoftwareVersionWidth);
        CheckFile(text, kvat::kUsbFileLength, kvat::kUsbVersionWidth);
    }
    return 0;
}
