// What the shell made of a request to start a file or open a web address.
#pragma once

#include <string>

namespace kvat {

// The system's "cancelled by the user" (ERROR_CANCELLED): the user said No at a prompt of the
// shell's, such as the elevation prompt.
inline constexpr unsigned long kShellCancelledByUser = 1223;

struct ShellAnswer {
    // 0 when the shell started the file; otherwise the system's error number.
    unsigned long error = 0;
    // The system's own words for `error`, with the file's name in place of any insert.
    std::string reason;

    bool started() const { return error == 0; }
    bool cancelled_by_user() const { return error == kShellCancelledByUser; }
};

}  // namespace kvat
