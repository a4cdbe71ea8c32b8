// kestrel-join's command line: one mode, the output, the inputs.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "join/join.hpp"

namespace kestrel::join {

struct Options {
  enum class Action { join, help, version, usage_error };
  Action action = Action::join;
  Mode mode = Mode::receptors;
  std::string output;               // as given
  std::vector<std::string> inputs;  // as given, in order
  std::string error;                // for usage_error: the first line of the message
};

[[nodiscard]] Options parse_options(std::span<const std::string> args);

}  // namespace kestrel::join
