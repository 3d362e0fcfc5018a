#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace kvat::server_check {

// The check runs only the start-up pass; a call outside it means something else is running.
[[noreturn]] inline void NotInStartUpPass(std::string_view what) {
    throw std::logic_error(std::string(what) + " is not part of the start-up pass");
}

}  // namespace kvat::server_check
