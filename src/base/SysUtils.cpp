#include "SysUtils.h"

#include <exception>
#include <iostream>

void ReportDroppedException(const char* context) noexcept {
  try {
    throw;
  } catch (const std::exception& e) {
    std::cerr << "orvel: " << context << ": " << e.what() << std::endl;
  } catch (...) {
    std::cerr << "orvel: " << context << ": an unknown failure" << std::endl;
  }
}
