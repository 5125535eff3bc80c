#pragma once
// The exception type every layer throws: a message, nothing else. It sits below the
// object-call layer so that units without automation (file routines, the include
// expander's helpers) can throw it without linking anything else.

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};
