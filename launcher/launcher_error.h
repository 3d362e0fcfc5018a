// An error raised inside a handler step. It ends the handler and is reported by the program
// with its number and description.
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
