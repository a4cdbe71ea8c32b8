#include <iostream>
#include <string>
#include <vector>

#include "app/interrupt.hpp"
#include "io/platform.hpp"
#include "join/command.hpp"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  // Ctrl-C, SIGTERM and SIGHUP are noted; the join stops between periods.
  kestrel::io::ignore_write_signals();
  const kestrel::InterruptGuard interrupts;
  return kestrel::join::run_join(args, ".", std::cout, std::cerr);
}
