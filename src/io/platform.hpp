// The few things that differ between POSIX systems and Windows, in one place.
#pragma once

namespace kestrel::io {

// Whether standard error is a terminal (and not a file or a pipe).
[[nodiscard]] bool stderr_is_terminal() noexcept;

}  // namespace kestrel::io
