// The operating-system services the handlers use. Texts are UTF-8; the Win32 implementation
// converts at the system boundary.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/fetch_answer.h"
#include "platform/shell_answer.h"

namespace kvat {

enum class RegistryHive { CurrentUser, LocalMachine };

class Platform {
  public:
    virtual ~Platform() = default;

    // The run-time's name of the running application; names the settings application.
    virtual void SetAppTitle(std::string_view title) = 0;
    virtual std::string AppTitle() const = 0;

    // Settings store: one string value addressed by (application, section, key).
    virtual void SaveSetting(std::string_view app, std::string_view section, std::string_view key,
                             std::string_view value) = 0;
    virtual std::string GetSetting(std::string_view app, std::string_view section,
                                   std::string_view key, std::string_view default_value) = 0;

    // Opens the key for reading and closes it again; true when the open succeeded.
    virtual bool ProbeRegistryKey(RegistryHive hive, std::string_view sub_key) = 0;

    // The whole document at the address as text, or empty text and what came instead. Waits for
    // the answer, within a bound of its own.
    virtual FetchAnswer Fetch(std::string_view url) = 0;

    // Hands the file or address to the shell, and says whether the shell started it. Never waits
    // for what was started; the shell itself shows no error.
    virtual ShellAnswer ShellLaunch(std::string_view verb, std::string_view file,
                                    std::optional<std::string_view> parameters) = 0;

    virtual bool FileExists(std::string_view path) = 0;
    // 0 when the system does not say.
    virtual int WindowsMajorVersion() = 0;
    // The folder of the launcher's executable, without a trailing separator.
    virtual std::string LauncherFolder() = 0;
    // The argument text that followed the program name, exactly as received.
    virtual std::string CommandLine() = 0;
};

}  // namespace kvat
