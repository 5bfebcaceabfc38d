#pragma once

#include <stdexcept>
#include <string>

namespace messwerte {

// The one error type of the evaluation. Its message is German UTF-8 text meant for the user.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message, int line = -1)
      : std::runtime_error(message), line_(line) {}

  // Index (from 0) of the list line the error is about, or -1 when it is about no line.
  int line() const noexcept { return line_; }

 private:
  int line_;
};

}  // namespace messwerte
