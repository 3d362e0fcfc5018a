#include "platform/win32/wininet_library.h"

#include "platform/win32/system_library.h"

namespace kvat::win32 {

const WinInetFunctions* WinInetLibrary::Functions() {
    if (functions_) {
        return &*functions_;
    }
    // WinINet loads COM by its bare name once it runs, through loaders that do not all keep to
    // the narrowed search (Wine's delay loads, or Windows without SetDefaultDllDirectories,
    // look in the launcher's folder first). Taken from the system folder beforehand, COM is
    // found already loaded. It is loaded at this point in any case, so this costs no time.
    LoadSystemLibrary(L"ole32.dll");
    const HMODULE module = LoadSystemLibrary(L"wininet.dll");
    if (!module) {
        return nullptr;
    }
    WinInetFunctions f;
    const bool complete =
        ResolveExport(module, "InternetCrackUrlW", f.InternetCrackUrlW) &&
        ResolveExport(module, "InternetCombineUrlW", f.InternetCombineUrlW) &&
        ResolveExport(module, "InternetOpenW", f.InternetOpenW) &&
        ResolveExport(module, "InternetConnectW", f.InternetConnectW) &&
        ResolveExport(module, "InternetSetOptionW", f.InternetSetOptionW) &&
        ResolveExport(module, "HttpOpenRequestW", f.HttpOpenRequestW) &&
        ResolveExport(module, "HttpSendRequestW", f.HttpSendRequestW) &&
        ResolveExport(module, "HttpQueryInfoW", f.HttpQueryInfoW) &&
        ResolveExport(module, "InternetQueryDataAvailable", f.InternetQueryDataAvailable) &&
        ResolveExport(module, "InternetReadFile", f.InternetReadFile) &&
        ResolveExport(module, "InternetCloseHandle", f.InternetCloseHandle);
    if (!complete) {
        FreeLibrary(module);
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    functions_ = f;
    return &*functions_;
}

}  // namespace kvat::win32
