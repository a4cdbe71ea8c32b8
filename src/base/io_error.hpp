// Input/output failures: a file that cannot be opened, read or written. They
// end the run with exit status 2; the driver reports them once.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kestrel {

class IoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "<action> '<name>': <system reason for errnum>"
[[nodiscard]] IoError io_error(std::string_view action, std::string_view name, int errnum);

}  // namespace kestrel
