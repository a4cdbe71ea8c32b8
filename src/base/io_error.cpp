#include "base/io_error.hpp"

#include <cstring>

namespace kestrel {

IoError io_error(std::string_view action, std::string_view name, int errnum) {
  std::string msg(action);
  msg.append(" '").append(name).append("': ").append(std::strerror(errnum));
  return IoError(msg);
}

}  // namespace kestrel
