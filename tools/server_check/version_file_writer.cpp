#include "tools/server_check/version_file_writer.h"

#include <stdexcept>
#include <string>

#include "launcher/constants.h"
#include "launcher/version_text.h"
#include "tools/server_check/arguments.h"
#include "tools/server_check/file_replacement.h"

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
    if (!std::filesystem::exists(folder)) {
        throw std::runtime_error(folder.string() + ": no such folder");
    }
    if (!std::filesystem::is_directory(folder)) {
        throw std::runtime_error(folder.string() + " is not a folder");
    }
    // Neither file is replaced when one of them may not be.
    for (const VersionFile& file : files) {
        RefuseFileNotToReplace(folder / FileName(file.server_path));
    }
    for (std::size_t i = 0; i < 2; ++i) {
        const VersionFile& file = files[i];
        const std::string text = VersionFileText(file.label, versions[i], file.length, file.width);
        const std::filesystem::path path = folder / FileName(file.server_path);
        const std::string not_kept = ReplaceFile(path, text);
        out << "wrote " << path.string() << ": \"" << text << "\" (" << CharacterCount(text)
            << " characters, no line break)\n";
        if (!not_kept.empty()) {
            out << "  but " << not_kept << "\n";
        }
    }
    const std::string_view folder_on_server =
        kSoftwareVersionPath.substr(0, kSoftwareVersionPath.rfind('/') + 1);
    out << "Put both files in " << folder_on_server << " on the web server, byte for byte.\n";
}

}  // namespace kvat::server_check
