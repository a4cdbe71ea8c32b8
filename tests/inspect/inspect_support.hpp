// Running kestrel-inspect in the tests: its exit status and both outputs.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "inspect/inspect.hpp"

namespace kestrel::inspect {

struct Result {
  int status;
  std::string out, err;
};

inline Result inspect(std::vector<std::string> args) {
  std::ostringstream out, err;
  const int status = run_inspect(args, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace kestrel::inspect
