// Writes the two version files in the one format the launcher accepts.
#pragma once

#include <filesystem>
#include <ostream>
#include <string_view>

namespace kvat::server_check {

// Refuses (with UsageError) a version of the wrong width; otherwise writes both files into
// `folder` and says what it wrote. Each file replaces the old one in one step (ReplaceFile), so
// a reader finds either the old file or the whole new one. A read-only file is refused before
// either file is touched. Throws std::runtime_error when the folder cannot take them.
void WriteVersionFiles(const std::filesystem::path& folder, std::string_view software,
                       std::string_view driver, std::ostream& out);

}  // namespace kvat::server_check
