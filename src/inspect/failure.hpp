// A failure with a message for the user; kestrel-inspect ends with exit status 2.
#pragma once

#include <stdexcept>

namespace kestrel::inspect {

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace kestrel::inspect
