#include "base/io_error.hpp"

#include <cstring>

namespace kestrel {

std::string file_label(std::string_view what, std::string_view name) {
  std::string s(what);
  if (!s.empty()) s.push_back(' ');
  s.append("'").append(name).append("'");
  return s;
}

IoError io_error(std::string_view action, std::string_view label, std::string_view reason) {
  std::string msg(action);
  msg.append(" ").append(label).append(": ").append(reason);
  return IoError(msg);
}

IoError io_error(std::string_view action, std::string_view label, int errnum) {
  return io_error(action, label, std::strerror(errnum));
}

}  // namespace kestrel
