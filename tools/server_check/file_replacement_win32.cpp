// The Windows side of file replacement: CreateFileW(CREATE_NEW), FlushFileBuffers, then
// MoveFileExW with MOVEFILE_WRITE_THROUGH.
#include <windows.h>
#include <aclapi.h>

#include <memory>
#include <string>
#include <utility>

#include "platform/win32/win32_error.h"
#include "tools/server_check/file_replacement.h"

namespace kvat::server_check {
namespace {

class FileHandle {
  public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    // Closes now, so that a failed close is reported rather than ignored.
    bool Close() { return CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) != 0; }

  private:
    HANDLE handle_;
};

std::string LastErrorMessage() {
    return win32::SystemMessage(GetLastError());
}

struct LocalMemoryDeleter {
    void operator()(void* memory) const { LocalFree(memory); }
};

// Gives the new file the DACL of the file at `like`, if there is one, protected from the
// folder's inherited entries exactly when the old one was: the web server's account and a
// deploy group keep the rights they had.
void TakeAccessControl(HANDLE file, const std::filesystem::path& like,
                       const std::filesystem::path& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error =
        GetNamedSecurityInfoW(like.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        return;
    }
    if (error != ERROR_SUCCESS) {
        throw WriteFailure(path, win32::SystemMessage(error));
    }
    const std::unique_ptr<void, LocalMemoryDeleter> owned(descriptor);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(descriptor, &control, &revision)) {
        throw WriteFailure(path, LastErrorMessage());
    }
    const SECURITY_INFORMATION what =
        DACL_SECURITY_INFORMATION |
        ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                            : UNPROTECTED_DACL_SECURITY_INFORMATION);
    const DWORD set = SetSecurityInfo(file, SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr);
    if (set != ERROR_SUCCESS) {
        throw WriteFailure(path, win32::SystemMessage(set));
    }
}

}  // namespace

void RefuseFileNotToReplace(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return;
        }
        throw WriteFailure(path, win32::SystemMessage(error));
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        throw SymbolicLinkRefusal(path);
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        // What MoveFileExW would answer; refused before either file is touched.
        throw WriteFailure(
            path, "the file is read-only (" + win32::SystemMessage(ERROR_ACCESS_DENIED) + ")");
    }
}

namespace system_side {

std::string WriteNewFileToDisk(const std::filesystem::path& path, std::string_view content,
                               const std::filesystem::path& like) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE | WRITE_DAC, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        throw WriteFailure(path, LastErrorMessage());
    }
    TakeAccessControl(file.get(), like, path);
    DWORD written = 0;
    if (!WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written,
                   nullptr)) {
        throw WriteFailure(path, LastErrorMessage());
    }
    if (written != content.size()) {
        throw WriteFailure(path, "only " + std::to_string(written) + " of " +
                                     std::to_string(content.size()) + " bytes written");
    }
    // On disk before the rename makes it visible.
    if (!FlushFileBuffers(file.get()) || !file.Close()) {
        throw WriteFailure(path, LastErrorMessage());
    }
    return {};  // the DACL is given whole, or the write fails
}

void MoveOverDurably(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (!MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        throw WriteFailure(to, LastErrorMessage());
    }
}

}  // namespace system_side
}  // namespace kvat::server_check
