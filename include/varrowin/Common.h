// Types and the error type shared by every module of Varrowin.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace varrowin {

// A simulated calendar year. Years are 32-bit on every platform.
using TYear = std::int32_t;

// An ascending list of years, as GetYearList and MakeYearList return it.
using TYearList = std::vector<TYear>;

// Every error of the system: an exception that carries a message text and nothing else.
class TError : public std::runtime_error {
 public:
  explicit TError(const std::string& message)
      : std::runtime_error(message), message_(std::make_shared<const std::string>(message)) {}
  explicit TError(const char* message) : TError(std::string(message)) {}

  // The whole message. what() gives it as a C string, which ends early when the message holds a
  // NUL byte, as a patch name read from a file may.
  const std::string& Message() const noexcept { return *message_; }

 private:
  // Shared, so that copying the exception cannot throw.
  std::shared_ptr<const std::string> message_;
};

}  // namespace varrowin
