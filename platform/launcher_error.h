// An error that ends the running handler: raised by a platform service (a settings store that
// refuses, say) or by the handler itself. The window reports it with its number and description.
// It lives beside the platform interface so that both the platform and the window's code use it
// while the platform depends on nothing of the window's.
#pragma once

#include <stdexcept>
#include <string>

namespace kvat {

class LauncherError : public std::runtime_error {
  public:
    LauncherError(long number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    long number() const { return number_; }

  private:
    long number_;
};

}  // namespace kvat
