#include "io/platform.hpp"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif
#ifdef __linux__
#include <sched.h>
#endif
#include <thread>

namespace kestrel::io {

#ifdef _WIN32

std::FILE* open_file(const std::filesystem::path& path, const char* mode) noexcept {
  const std::string_view m(mode);
  const std::wstring wide_mode(m.begin(), m.end());  // the mode letters are ASCII
  return ::_wfopen(path.c_str(), wide_mode.c_str());
}

bool seek_to(std::FILE* file, std::uint64_t offset) noexcept {
  return ::_fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

long process_id() noexcept { return ::_getpid(); }

bool stderr_is_terminal() noexcept { return ::_isatty(2) != 0; }
bool stdout_is_terminal() noexcept { return ::_isatty(1) != 0; }
bool slash_options() noexcept { return true; }

#else

std::FILE* open_file(const std::filesystem::path& path, const char* mode) noexcept {
  return std::fopen(path.c_str(), mode);
}

bool seek_to(std::FILE* file, std::uint64_t offset) noexcept {
  static_assert(sizeof(off_t) == 8, "file offsets must be 64 bits");
  return ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

long process_id() noexcept { return static_cast<long>(::getpid()); }

bool stderr_is_terminal() noexcept { return ::isatty(2) != 0; }
bool stdout_is_terminal() noexcept { return ::isatty(1) != 0; }
bool slash_options() noexcept { return false; }

#endif

unsigned usable_cores() noexcept {
#ifdef __linux__
  // The cores of this process's affinity mask (a container or taskset may
  // give it fewer than the machine has).
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return static_cast<unsigned>(n);
  }
#endif
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? n : 1;
}

std::filesystem::path path_from_utf8(std::string_view name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::string utf8_of(const std::filesystem::path& path) {
  const std::u8string u = path.u8string();
  return std::string(u.begin(), u.end());
}

}  // namespace kestrel::io
