// Starting files and web addresses through the Windows shell.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string_view>

namespace kvat::win32 {

class Shell {
  public:
    // ShellExecute with no owner window, no working directory and SW_SHOWNORMAL. Returns as soon
    // as the shell has the request; the outcome is deliberately not examined.
    void Launch(std::string_view verb, std::string_view file,
                std::optional<std::string_view> parameters);

  private:
    // The shell is large and only needed once the user clicks, so it is loaded then from the
    // system folder. Only a successful load is kept: a failed one is tried again next time.
    decltype(&::ShellExecuteW) LoadShellExecute();

    decltype(&::ShellExecuteW) shell_execute_ = nullptr;
};

}  // namespace kvat::win32
