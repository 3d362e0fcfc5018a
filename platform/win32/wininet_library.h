// WinINet, loaded from the system folder when the first fetch needs it. It is not one of the
// DLLs Windows always takes from the system folder, so importing it would let a wininet.dll
// beside the launcher be loaded instead.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <optional>

namespace kvat::win32 {

// The WinINet functions the fetch uses.
struct WinInetFunctions {
    decltype(&::InternetCrackUrlW) InternetCrackUrlW = nullptr;
    decltype(&::InternetCombineUrlW) InternetCombineUrlW = nullptr;
    decltype(&::InternetOpenW) InternetOpenW = nullptr;
    decltype(&::InternetConnectW) InternetConnectW = nullptr;
    decltype(&::InternetSetOptionW) InternetSetOptionW = nullptr;
    decltype(&::HttpOpenRequestW) HttpOpenRequestW = nullptr;
    decltype(&::HttpSendRequestW) HttpSendRequestW = nullptr;
    decltype(&::HttpQueryInfoW) HttpQueryInfoW = nullptr;
    decltype(&::InternetQueryDataAvailable) InternetQueryDataAvailable = nullptr;
    decltype(&::InternetReadFile) InternetReadFile = nullptr;
    decltype(&::InternetCloseHandle) InternetCloseHandle = nullptr;
};

class WinInetLibrary {
  public:
    // The functions, loading WinINet on the first call. nullptr, with the last error set, when
    // it cannot be loaded; a later call tries again. Once loaded, WinINet stays loaded for the
    // rest of the process: a fetch abandoned at its time bound may still be running its code.
    const WinInetFunctions* Functions();

  private:
    std::optional<WinInetFunctions> functions_;
};

}  // namespace kvat::win32
