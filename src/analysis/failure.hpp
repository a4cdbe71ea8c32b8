// A failure with a message for the user, from the statistics or the files
// they read; kestrel-inspect ends with exit status 2, the Python package
// raises it as an error.
#pragma once

#include <stdexcept>

namespace kestrel::analysis {

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace kestrel::analysis
