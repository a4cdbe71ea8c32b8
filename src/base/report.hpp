// Where routines below the driver send the lines a run shows as it goes;
// the driver writes them to the console, the list file and standard error.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrel {

class Report {
 public:
  virtual ~Report() = default;
  // A line for the list file alone.
  virtual void note(std::string_view line) = 0;
  // A line for the console and the list file.
  virtual void progress(std::string_view line) = 0;
  // A warning: a free-format line in the list file, the bare text on standard error.
  virtual void warn(std::string_view text) = 0;
  // Between two records of the POSTFILE `name`: `done` of its `total` bytes
  // are read. The driver may show it, or stop the run here by throwing.
  virtual void reading(std::string_view name, std::uint64_t done, std::uint64_t total) {
    (void)name, (void)done, (void)total;
  }
  // The POSTFILE being read is done with.
  virtual void read_done() {}
};

// For tools and tests that want the values, not the lines.
class SilentReport final : public Report {
 public:
  void note(std::string_view) override {}
  void progress(std::string_view) override {}
  void warn(std::string_view) override {}
};

}  // namespace kestrel
