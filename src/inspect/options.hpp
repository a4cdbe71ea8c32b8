// kestrel-inspect's command line.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::inspect {

struct Options {
  bool csv = false;
  bool json = false;
  std::string svg;
  int real = 0;  // 0 = infer
  std::int32_t receptors = 0;
  std::string control;
  std::vector<std::string> files;
};

std::string_view usage();

// Throws Failure on a usage error.
Options parse_args(std::span<const std::string> args);

}  // namespace kestrel::inspect
