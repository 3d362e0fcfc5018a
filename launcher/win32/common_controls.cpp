#include "launcher/win32/common_controls.h"

#include <commctrl.h>

#include "platform/win32/system_library.h"

namespace kvat::win32 {

bool LoadCommonControls(DWORD classes) {
    decltype(&::InitCommonControlsEx) initialise = nullptr;
    // Loaded once, it stays loaded: the controls made from it live in windows of the process.
    if (!ResolveExport(LoadSystemLibrary(L"comctl32.dll"), "InitCommonControlsEx", initialise)) {
        return false;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, classes};
    return initialise(&controls) != FALSE;
}

}  // namespace kvat::win32
