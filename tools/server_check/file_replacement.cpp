#include "tools/server_check/file_replacement.h"

#include <random>
#include <string>
#include <system_error>

namespace kvat::server_check {

std::runtime_error WriteFailure(const std::filesystem::path& path, std::string_view why) {
    return std::runtime_error("cannot write " + path.string() + ": " + std::string(why));
}

std::runtime_error SymbolicLinkRefusal(const std::filesystem::path& path) {
    return WriteFailure(path,
                        "it is a symbolic link, which --write does not replace: give the folder "
                        "that holds the file itself");
}

std::string ReplaceFile(const std::filesystem::path& path, std::string_view content) {
    std::random_device random;
    // A hidden name beside the file, so that the rename stays within one folder.
    std::filesystem::path temporary = path.parent_path() / ".";
    temporary += path.filename();
    temporary += ".tmp-" + std::to_string(random());
    try {
        std::string not_kept = system_side::WriteNewFileToDisk(temporary, content, path);
        system_side::MoveOverDurably(temporary, path);
        return not_kept;
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw;
    }
}

}  // namespace kvat::server_check
