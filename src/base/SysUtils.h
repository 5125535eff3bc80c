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

// Call only inside a catch block: writes the exception being handled to standard error.
// For failures that no caller can take and nobody expects, so they can still be found.
void ReportDroppedException(const char* context) noexcept;
