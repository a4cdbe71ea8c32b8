// Where a run's console and standard-error lines go: straight out, or kept
// until the runs before it are done.
#pragma once

#include <string_view>

namespace kestrel {

class Outlet {
 public:
  virtual ~Outlet() = default;
  virtual void console(std::string_view line) = 0;
  virtual void error(std::string_view line) = 0;
};

}  // namespace kestrel
