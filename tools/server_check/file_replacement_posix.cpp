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

}  // namespace

void RefuseReadOnlyFile(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno == ENOENT) {
            return;
        }
        throw WriteFailure(path, Message(errno));
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

void WriteNewFileToDisk(const std::filesystem::path& path, std::string_view content) {
    // Readable by a web server (subject to the umask).
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw WriteFailure(path, Message(errno));
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
