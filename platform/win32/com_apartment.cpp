#include "platform/win32/com_apartment.h"

#include <objbase.h>

#include "platform/win32/system_library.h"

namespace kvat::win32 {

HMODULE JoinComApartment() {
    const HMODULE ole32 = LoadSystemLibrary(L"ole32.dll");
    // Joining again is harmless (S_FALSE); only the first call of the thread does anything.
    if (decltype(&::CoInitializeEx) co_initialize = nullptr;
        ResolveExport(ole32, "CoInitializeEx", co_initialize)) {
        co_initialize(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    }
    return ole32;
}

}  // namespace kvat::win32
