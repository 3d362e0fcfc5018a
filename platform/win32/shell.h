// Starting files and web addresses through the Windows shell.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string_view>

#include "platform/shell_answer.h"

namespace kvat::win32 {

class Shell {
  public:
    // ShellExecuteEx with no owner window, no working directory and SW_SHOWNORMAL. Returns once
    // the shell has started the file, or knows it cannot, and never waits for what it started.
    // The shell shows no error of its own: the answer carries the system's reason instead.
    ShellAnswer Launch(std::string_view verb, std::string_view file,
                       std::optional<std::string_view> parameters);

  private:
    // The shell is large and only needed once the user clicks, so it is loaded then from the
    // system folder. Only a successful load is kept: a failed one is tried again next time.
    decltype(&::ShellExecuteExW) LoadShellExecute();

    decltype(&::ShellExecuteExW) shell_execute_ = nullptr;
};

}  // namespace kvat::win32
