// The system differences of the process and of files as entries: signals,
// limits, terminals, cores, and which entries are one file.
#include "io/platform.hpp"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif
#ifdef __linux__
#include <sched.h>
#endif
#include <thread>

namespace kestrel::io {

#ifdef _WIN32

void ignore_write_signals() noexcept {}

std::uint64_t open_file_limit() noexcept {
  // The C runtime's own table of descriptors.
  return static_cast<std::uint64_t>(::_getmaxstdio());
}

long process_id() noexcept { return ::_getpid(); }

bool stderr_is_terminal() noexcept { return ::_isatty(2) != 0; }
bool stdout_is_terminal() noexcept { return ::_isatty(1) != 0; }
bool slash_options() noexcept { return true; }

std::optional<FileId> file_id(const std::filesystem::path& path) noexcept {
  // Opened for no access at all, so that a file held by another process still answers.
  HANDLE h = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
  ::CloseHandle(h);
  if (!ok) return std::nullopt;
  return FileId{info.dwVolumeSerialNumber,
                (std::uint64_t{info.nFileIndexHigh} << 32) | std::uint64_t{info.nFileIndexLow}};
}

#else

void ignore_write_signals() noexcept {
  ::signal(SIGXFSZ, SIG_IGN);
  ::signal(SIGPIPE, SIG_IGN);
}

std::uint64_t open_file_limit() noexcept {
  struct rlimit r {};
  if (::getrlimit(RLIMIT_NOFILE, &r) != 0 || r.rlim_cur == RLIM_INFINITY) return 1U << 20;
  return static_cast<std::uint64_t>(r.rlim_cur);
}

long process_id() noexcept { return static_cast<long>(::getpid()); }

bool stderr_is_terminal() noexcept { return ::isatty(2) != 0; }
bool stdout_is_terminal() noexcept { return ::isatty(1) != 0; }
bool slash_options() noexcept { return false; }

std::optional<FileId> file_id(const std::filesystem::path& path) noexcept {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

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

}  // namespace kestrel::io
