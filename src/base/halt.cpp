#include "base/halt.hpp"

#include "base/text.hpp"

namespace kestrel {

Halt132::Halt132() : text_(fixed("NORMAL TERMINATION", kHaltWidth)) {}

void Halt132::set(std::string_view message, bool pointer) {
  std::string t(message);
  if (pointer) t.append(kSeeListFile);
  text_ = fixed(t, kHaltWidth);
}

}  // namespace kestrel
