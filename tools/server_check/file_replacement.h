// Replacing a file that a web server may be reading: a reader finds the old file or the whole
// new one, never a part, also after a crash or a power cut.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kvat::server_check {

// Throws std::runtime_error, with the system's message, when `path` exists but is read-only or
// not writable for this user: a rename would replace it all the same, against its owner's intent.
// A symbolic link (or other reparse point) is refused too: a rename would replace the link
// itself, not the file it points to, and cut the web server off from wherever that lives.
void RefuseFileNotToReplace(const std::filesystem::path& path);

// Writes `content` into a new file beside `path`, with the permissions of the file at `path`
// when there is one, flushes it to the disk and renames it over `path`, the folder's entry
// flushed too. Returns what of the old file's permissions could not be given to the new one, in
// words, or nothing when all were. Throws std::runtime_error with the system's message; the file
// at `path` is then as it was and the new one is removed.
std::string ReplaceFile(const std::filesystem::path& path, std::string_view content);

// What each system provides (file_replacement_posix.cpp, file_replacement_win32.cpp).
namespace system_side {
// Creates `path`, failing if the name is taken, gives it the permissions of `like` when that
// exists (POSIX: mode, and owner and group as far as this process may set them; Windows: the
// DACL), writes `content` and flushes it to the disk. Returns what of those permissions it could
// not give, in words; empty when it gave them all.
std::string WriteNewFileToDisk(const std::filesystem::path& path, std::string_view content,
                               const std::filesystem::path& like);
// Renames `from` over `to` and flushes the change to the disk.
void MoveOverDurably(const std::filesystem::path& from, const std::filesystem::path& to);
}  // namespace system_side

std::runtime_error WriteFailure(const std::filesystem::path& path, std::string_view why);
// The refusal of a symbolic link (or other reparse point) at `path`.
std::runtime_error SymbolicLinkRefusal(const std::filesystem::path& path);

}  // namespace kvat::server_check
