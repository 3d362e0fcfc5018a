// Loads a DLL by its bare name, as a program that trusts the default search order does, and
// prints the path of the file that was loaded. Beside planted DLLs, it shows whether the
// search reaches the program's own folder first.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputws(L"usage: plain_loader NAME.dll\n", stderr);
        return 2;
    }
    const HMODULE module = LoadLibraryW(argv[1]);
    if (!module) {
        std::fwprintf(stderr, L"LoadLibrary failed: %lu\n", GetLastError());
        return 1;
    }
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size())));
    std::wprintf(L"%ls\n", path.c_str());
    return 0;
}
