#include "io/platform.hpp"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kestrel::io {

bool stderr_is_terminal() noexcept {
#if defined(_WIN32)
  return _isatty(2) != 0;
#else
  return isatty(2) != 0;
#endif
}

}  // namespace kestrel::io
