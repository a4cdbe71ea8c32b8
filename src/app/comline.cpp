#include "app/comline.hpp"

#include "base/text.hpp"

namespace kestrel {

void comline(std::string& ctext, std::span<const std::string> args) {
  const std::string cdeflt = ctext;
  std::string joined;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i > 0) joined.push_back(' ');
    joined.append(args[i]);
  }
  ctext = fixed(joined, kNameWidth);
  if (ctext[0] == ' ') ctext = cdeflt;
}

}  // namespace kestrel
