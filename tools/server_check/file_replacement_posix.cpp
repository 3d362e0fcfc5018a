// The POSIX side of file replacement: open(O_EXCL), fsync, rename, fsync of the folder.
#include "tools/server_check/file_replacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace kvat::server_check {
namespace {

std::string Message(int error) {
    return std::generic_category().message(error);
}

// Closes `fd` and reports the first failure: the one before the close, else the close's own.
void CloseOrThrow(int fd, int earlier_error, const std::filesystem::path& path) {
    const int close_error = ::close(fd) == 0 ? 0 : errno;
    if (earlier_error != 0 || close_error != 0) {
        throw WriteFailure(path, Message(earlier_error != 0 ? earlier_error : close_error));
    }
}

// Gives the new file `fd` the owner, group and mode of the file at `like`, if there is one. Only
// the superuser may give a file away, and only to a group of its own may a user give it: what
// is not allowed is left as made, the mode still copied, and said in the result.
std::string TakePermissions(int fd, const std::filesystem::path& like,
                            const std::filesystem::path& path) {
    struct stat old {};
    if (::stat(like.c_str(), &old) != 0) {
        if (errno == ENOENT) {
            return {};
        }
        throw WriteFailure(path, Message(errno));
    }
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
        (void)!::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    }
    // After the owner: a change of owner may clear the set-id bits.
    struct stat now {};
    if (::fchmod(fd, old.st_mode & 07777) != 0 || ::fstat(fd, &now) != 0) {
        throw WriteFailure(path, Message(errno));
    }
    std::string lost;
    if (now.st_uid != old.st_uid) {
        lost = "owner (uid " + std::to_string(old.st_uid) + ")";
    }
    if (now.st_gid != old.st_gid) {
        lost +=
            (lost.empty() ? "group (gid " : " and group (gid ") + std::to_string(old.st_gid) + ")";
    }
    return lost.empty() ? lost
                        : "the old file's " + lost +
                              " could not be kept: only the superuser may give a file away, and "
                              "a user only to a group of its own; its mode was kept";
}

}  // namespace

void RefuseFileNotToReplace(const std::filesystem::path& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        if (errno == ENOENT) {
            return;
        }
        throw WriteFailure(path, Message(errno));
    }
    if (S_ISLNK(status.st_mode)) {
        throw SymbolicLinkRefusal(path);
    }
    if (::access(path.c_str(), W_OK) != 0) {
        throw WriteFailure(path, Message(errno));
    }
    // The superuser may write any file, but a file without write bits was made read-only on
    // purpose.
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        throw WriteFailure(path, "the file is read-only (" + Message(EACCES) + ")");
    }
}

namespace system_side {

std::string WriteNewFileToDisk(const std::filesystem::path& path, std::string_view content,
                               const std::filesystem::path& like) {
    // Readable by a web server (subject to the umask) when there is no old file to follow.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw WriteFailure(path, Message(errno));
    }
    std::string not_kept;
    try {
        not_kept = TakePermissions(fd, like, path);
    } catch (...) {
        ::close(fd);
        throw;
    }
    std::size_t written = 0;
    int error = 0;
    while (written < content.size() && error == 0) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n >= 0) {
            written += static_cast<std::size_t>(n);
        } else if (errno != EINTR) {
            error = errno;
        }
    }
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
    }
    CloseOrThrow(fd, error, path);
    return not_kept;
}

void MoveOverDurably(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        throw WriteFailure(to, Message(errno));
    }
    // The rename is on disk once the folder is.
    const std::filesystem::path folder = to.parent_path().empty() ? "." : to.parent_path();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        throw WriteFailure(to, Message(errno));
    }
    CloseOrThrow(fd, ::fsync(fd) == 0 ? 0 : errno, to);
}

}  // namespace system_side
}  // namespace kvat::server_check
