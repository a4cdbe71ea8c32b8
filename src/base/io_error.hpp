// Input/output failures: a file that cannot be opened, read or written. They
// end the run with exit status 2; the driver reports them once.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace kestrel {

class IoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// How messages name a file: "<what> '<name>'", or "'<name>'" alone.
[[nodiscard]] std::string file_label(std::string_view what, std::string_view name);

// "<action> <label>: <reason>", e.g. "cannot open POSTFILE 'A.BIN': No such file or directory".
[[nodiscard]] IoError io_error(std::string_view action, std::string_view label, std::string_view reason);
// The same with the system's text for errnum as the reason.
[[nodiscard]] IoError io_error(std::string_view action, std::string_view label, int errnum);

}  // namespace kestrel
