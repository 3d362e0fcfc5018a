// A DLL planted beside a program under the name of a system DLL. It does nothing but leave a
// mark: loading it writes "<its own path>.loaded", naming the program that loaded it, so a test
// can tell afterwards whether any process took it for the real one.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        std::wstring path(32768, L'\0');
        path.resize(GetModuleFileNameW(instance, path.data(), static_cast<DWORD>(path.size())));
        const HANDLE mark = CreateFileW((path + L".loaded").c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (mark != INVALID_HANDLE_VALUE) {
            std::wstring program(32768, L'\0');
            program.resize(
                GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size())));
            DWORD written = 0;
            WriteFile(mark, program.data(), static_cast<DWORD>(program.size() * sizeof(wchar_t)),
                      &written, nullptr);
            CloseHandle(mark);
        }
    }
    return TRUE;
}
