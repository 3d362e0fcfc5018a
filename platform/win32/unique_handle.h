// Ownership of kernel handles (threads, events, files): closed when the owner goes.
#pragma once

#include <windows.h>

#include <memory>

namespace kvat::win32 {

struct KernelHandleCloser {
    void operator()(HANDLE handle) const {
        if (handle && handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
};

using UniqueHandle = std::unique_ptr<void, KernelHandleCloser>;

}  // namespace kvat::win32
