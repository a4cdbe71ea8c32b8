// A failure with a message for the user; kestrel-inspect ends with exit
// status 2. The library's statistics throw the same type.
#pragma once

#include "analysis/failure.hpp"

namespace kestrel::inspect {

using Failure = analysis::Failure;

}  // namespace kestrel::inspect
