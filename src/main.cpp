#include <iostream>
#include <string>
#include <vector>

#include "io/platform.hpp"
#include "study/study.hpp"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  // A full file-size limit or a closed console is a failed write, reported as
  // such, not a silent death.
  kestrel::io::ignore_write_signals();
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return kestrel::run(args, ".", std::cout, std::cerr, kestrel::io::stdout_is_terminal());
}
