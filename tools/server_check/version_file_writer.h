// Writes the two version files in the one format the launcher accepts.
#pragma once

#include <filesystem>
#include <ostream>
#include <string_view>

namespace kvat::server_check {

// Refuses (with UsageError) a version of the wrong width; otherwise writes both files into
// `folder` and says what it wrote. Each file is written beside its final name and then renamed
// over it, so a reader finds either the old file or the whole new one. Throws
// std::runtime_error when the folder cannot take them.
void WriteVersionFiles(const std::filesystem::path& folder, std::string_view software,
                       std::string_view driver, std::ostream& out);

}  // namespace kvat::server_check
