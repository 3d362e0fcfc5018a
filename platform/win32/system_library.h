// Loading system DLLs so that no file beside the launcher can stand in for one of them. The
// launcher may sit in a Downloads folder or on a shared stick, and it starts an installer with
// administrator rights, so a DLL planted beside it must never run.
#pragma once

#include <windows.h>

namespace kvat::win32 {

// Narrows the DLL search of the whole process to the system folder where Windows can
// (SetDefaultDllDirectories), and otherwise at least takes the current folder out of it. Called
// first thing at start.
void RestrictDllSearchToSystemFolder();

// Loads the named DLL from the system folder and from nowhere else; nullptr, with the last error
// set, when it cannot be loaded. Nothing is remembered of a failure: the next call tries again.
HMODULE LoadSystemLibrary(const wchar_t* name);

// The same by the DLL's full path in the system folder, for Windows versions that refuse
// LOAD_LIBRARY_SEARCH_SYSTEM32 (Vista, and 7 without update KB2533623).
HMODULE LoadSystemLibraryByPath(const wchar_t* name);

// Looks up an export of `module`; false, leaving `function` null, when it is not there.
template <typename Function>
bool ResolveExport(HMODULE module, const char* name, Function& function) {
    function =
        module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
               : nullptr;
    return function != nullptr;
}

}  // namespace kvat::win32
