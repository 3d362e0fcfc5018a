#include "tools/server_check/version_file_writer.h"

#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <fstream>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "launcher/constants.h"
#include "launcher/version_text.h"
#include "tools/server_check/arguments.h"

namespace kvat::server_check {
namespace {

struct VersionFile {
    std::string_view what;    // "software", for messages
    std::string_view option;  // the option that gave the version
    std::string_view server_path;
    std::string_view label;
    std::size_t length;
    std::size_t width;
    std::string_view example;
};

void RefuseWrongVersion(const VersionFile& file, std::string_view version) {
    const std::string why = WhyNotAVersion(version, file.width);
    if (!why.empty()) {
        throw UsageError(std::string(file.option) + " " + std::string(version) + ": " + why +
                         " (a " + std::string(file.what) + " version is " +
                         std::to_string(file.width) + " characters, such as " +
                         std::string(file.example) + ")");
    }
}

std::string FileName(std::string_view server_path) {
    return std::string(server_path.substr(server_path.rfind('/') + 1));
}

std::runtime_error WriteFailure(const std::filesystem::path& path, std::string_view why) {
    return std::runtime_error("cannot write " + path.string() + ": " + std::string(why));
}

// A new file; fails if the name is taken. Readable by a web server (subject to the umask).
void WriteNewFile(const std::filesystem::path& path, std::string_view content) {
#ifdef _WIN32
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file.write(content.data(), static_cast<std::streamsize>(content.size())).flush()) {
        throw WriteFailure(path, "write failed");
    }
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw WriteFailure(path, std::generic_category().message(errno));
    }
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    // On disk before the rename makes it visible.
    const bool whole = written == content.size() && ::fsync(fd) == 0;
    const int saved_errno = errno;
    if (::close(fd) != 0 || !whole) {
        throw WriteFailure(path, std::generic_category().message(saved_errno ? saved_errno : EIO));
    }
#endif
}

void WriteAtomically(const std::filesystem::path& path, std::string_view content) {
    std::random_device random;
    // A hidden name beside the file, so that the rename stays within one folder.
    std::filesystem::path temporary = path.parent_path() / ".";
    temporary += path.filename();
    temporary += ".tmp-" + std::to_string(random());
    try {
        WriteNewFile(temporary, content);
        std::filesystem::rename(temporary, path);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw;
    }
}

}  // namespace

void WriteVersionFiles(const std::filesystem::path& folder, std::string_view software,
                       std::string_view driver, std::ostream& out) {
    const VersionFile files[] = {
        {"software", "--software", kSoftwareVersionPath, kSoftwareFileLabel, kSoftwareFileLength,
         kSoftwareVersionWidth, kThisVersion},
        {"driver", "--driver", kUsbVersionPath, kUsbFileLabel, kUsbFileLength, kUsbVersionWidth,
         kDriverVersion},
    };
    const std::string_view versions[] = {software, driver};
    // Both versions are checked before either file is touched.
    for (std::size_t i = 0; i < 2; ++i) {
        RefuseWrongVersion(files[i], versions[i]);
    }
    if (!std::filesystem::is_directory(folder)) {
        throw std::runtime_error(folder.string() + " is not a folder");
    }
    for (std::size_t i = 0; i < 2; ++i) {
        const VersionFile& file = files[i];
        const std::string text = VersionFileText(file.label, versions[i], file.length, file.width);
        const std::filesystem::path path = folder / FileName(file.server_path);
        WriteAtomically(path, text);
        out << "wrote " << path.string() << ": \"" << text << "\" (" << CharacterCount(text)
            << " characters, no line break)\n";
    }
    const std::string_view folder_on_server =
        kSoftwareVersionPath.substr(0, kSoftwareVersionPath.rfind('/') + 1);
    out << "Put both files in " << folder_on_server << " on the web server, byte for byte.\n";
}

}  // namespace kvat::server_check
