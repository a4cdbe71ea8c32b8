#include "io/platform.hpp"

#include <cerrno>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#endif

namespace kestrel::io {

#ifdef _WIN32

std::FILE* open_file(const std::filesystem::path& path, const char* mode) noexcept {
  const std::string_view m(mode);
  const std::wstring wide_mode(m.begin(), m.end());  // the mode letters are ASCII
  return ::_wfopen(path.c_str(), wide_mode.c_str());
}

std::FILE* open_regular_file(const std::filesystem::path& path, int& err, bool& not_regular) noexcept {
  not_regular = false;
  std::error_code ec;
  const auto st = std::filesystem::status(path, ec);
  if (!ec && st.type() != std::filesystem::file_type::regular) {
    not_regular = true;
    return nullptr;
  }
  errno = 0;
  std::FILE* f = ::_wfopen(path.c_str(), L"rb");
  if (f == nullptr) err = errno != 0 ? errno : ENOENT;
  return f;
}

namespace {

int errno_of(DWORD e) noexcept {
  switch (e) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

std::FILE* file_of(HANDLE h, bool text) noexcept {
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), text ? _O_TEXT : _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(h);
    return nullptr;
  }
  std::FILE* f = ::_fdopen(fd, text ? "w" : "wb");
  if (f == nullptr) ::_close(fd);
  return f;
}

// CREATE_NEW fails on any existing entry, a link included.
HANDLE create_new_handle(const std::filesystem::path& path, DWORD share) noexcept {
  return ::CreateFileW(path.c_str(), GENERIC_WRITE, share, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

std::FILE* create_new_file(const std::filesystem::path& path, bool text) noexcept {
  const HANDLE h = create_new_handle(path, FILE_SHARE_READ | FILE_SHARE_DELETE);
  if (h == INVALID_HANDLE_VALUE) {
    errno = errno_of(::GetLastError());
    return nullptr;
  }
  return file_of(h, text);
}

std::FILE* create_locked_file(const std::filesystem::path& path, int& err, bool& busy, bool binary) noexcept {
  busy = false;
  // A file that another process holds open without sharing it for writing
  // and deleting is one being written by another kestrel. A stale one is
  // deleted through the handle that found it: no other writer's file can
  // take its name in between. A name found free is left alone: another
  // writer may have taken it since, and creating anew below tells.
  const HANDLE old = ::CreateFileW(path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (old == INVALID_HANDLE_VALUE) {
    const DWORD e = ::GetLastError();
    if (e == ERROR_SHARING_VIOLATION) {
      busy = true;
      return nullptr;
    }
    if (e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND && !::DeleteFileW(path.c_str())) {
      err = errno_of(::GetLastError());
      return nullptr;
    }
  } else {
    FILE_DISPOSITION_INFO gone{};
    gone.DeleteFile = TRUE;
    const bool marked = ::SetFileInformationByHandle(old, FileDispositionInfo, &gone, sizeof gone) != 0;
    ::CloseHandle(old);
    if (!marked && !::DeleteFileW(path.c_str())) {
      const DWORD e = ::GetLastError();
      if (e == ERROR_SHARING_VIOLATION) {
        busy = true;
        return nullptr;
      }
      if (e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND) {
        err = errno_of(e);
        return nullptr;
      }
    }
  }
  // A binary file shares deleting so that it can be renamed while held; the
  // check above still finds it busy, as it is open for writing.
  const HANDLE h = create_new_handle(path, binary ? FILE_SHARE_READ | FILE_SHARE_DELETE : FILE_SHARE_READ);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = ::GetLastError();
    busy = e == ERROR_FILE_EXISTS || e == ERROR_SHARING_VIOLATION;
    err = errno_of(e);
    return nullptr;
  }
  std::FILE* f = file_of(h, !binary);
  if (f == nullptr) err = EIO;
  return f;
}

int rename_held_file(std::FILE*, const std::filesystem::path& from, const std::filesystem::path& to) noexcept {
  if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return 0;
  return errno_of(::GetLastError());
}

void start_writeback(std::FILE*, std::uint64_t, std::uint64_t) noexcept {}

int sync_file(std::FILE* file) noexcept {
  if (std::fflush(file) != 0) return errno != 0 ? errno : EIO;
  // _commit is FlushFileBuffers on the file's handle.
  return ::_commit(::_fileno(file)) == 0 ? 0 : (errno != 0 ? errno : EIO);
}

int sync_folder(const std::filesystem::path&) noexcept { return 0; }

bool seek_to(std::FILE* file, std::uint64_t offset) noexcept {
  return ::_fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

std::size_t read_at(std::FILE* file, std::uint64_t offset, std::span<std::byte> dest, int& err) noexcept {
  if (!seek_to(file, offset)) {
    err = errno != 0 ? errno : EIO;
    return 0;
  }
  errno = 0;
  const std::size_t n = std::fread(dest.data(), 1, dest.size(), file);
  if (n < dest.size() && std::ferror(file) != 0) err = errno != 0 ? errno : EIO;
  return n;
}

bool read_cached(std::FILE*, std::uint64_t, std::span<std::byte>, int&) noexcept { return false; }

#else

std::FILE* open_file(const std::filesystem::path& path, const char* mode) noexcept {
  return std::fopen(path.c_str(), mode);
}

std::FILE* open_regular_file(const std::filesystem::path& path, int& err, bool& not_regular) noexcept {
  not_regular = false;
  // Non-blocking, so that opening a FIFO does not wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    err = errno;
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    not_regular = true;
    ::close(fd);
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* f = ::fdopen(fd, "rb");
  if (f == nullptr) {
    err = errno;
    ::close(fd);
  }
  return f;
}

namespace {

int create_new_fd(const std::filesystem::path& path) noexcept {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
}

std::FILE* file_of(int fd, const char* mode) noexcept {
  std::FILE* f = ::fdopen(fd, mode);
  if (f == nullptr) {
    const int e = errno;
    ::close(fd);
    errno = e;
  }
  return f;
}

bool same_entry(int fd, const std::filesystem::path& path) noexcept {
  struct stat a {}, b {};
  return ::fstat(fd, &a) == 0 && ::lstat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::FILE* create_new_file(const std::filesystem::path& path, bool text) noexcept {
  const int fd = create_new_fd(path);
  return fd < 0 ? nullptr : file_of(fd, text ? "w" : "wb");
}

std::FILE* create_locked_file(const std::filesystem::path& path, int& err, bool& busy, bool binary) noexcept {
  busy = false;
  // The lock lives on the file itself: the old file is locked before it is
  // replaced, the new one before anyone else can find it locked-free for
  // long. A process that locked a file which was replaced meanwhile tries again.
  for (int attempt = 0; attempt < 16; ++attempt) {
    const int old = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    const int open_error = old < 0 ? errno : 0;
    if (old >= 0) {
      if (::flock(old, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(old);
        if (e == EWOULDBLOCK) {
          busy = true;
          return nullptr;
        }
        err = e;
        return nullptr;
      }
      if (!same_entry(old, path)) {
        ::close(old);
        continue;
      }
    }
    // Removed only while held, or when it is no file another writer could
    // hold (a link, say): a name found free may be another writer's by now,
    // and creating anew below tells.
    if (open_error != ENOENT && ::unlink(path.c_str()) != 0 && errno != ENOENT) {
      err = errno;
      if (old >= 0) ::close(old);
      return nullptr;
    }
    const int fd = create_new_fd(path);
    const int e = errno;
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      // Another process found the new file first and holds it.
      ::close(fd);
      if (old >= 0) ::close(old);
      busy = true;
      return nullptr;
    }
    if (old >= 0) ::close(old);
    if (fd >= 0 && !same_entry(fd, path)) {
      // Another process locked the new file before this one could, replaced
      // it and let it go: what this one holds has no name any more.
      ::close(fd);
      continue;
    }
    if (fd >= 0) return file_of(fd, binary ? "wb" : "w");
    if (e != EEXIST) {
      err = e;
      return nullptr;
    }
  }
  busy = true;
  return nullptr;
}

int rename_held_file(std::FILE* file, const std::filesystem::path& from, const std::filesystem::path& to) noexcept {
  // The lock guarantees the name is still this file's; check it all the same.
  if (!same_entry(::fileno(file), from)) return ENOENT;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

void start_writeback(std::FILE* file, std::uint64_t offset, std::uint64_t length) noexcept {
#ifdef __linux__
  // A hint: a file system that cannot start it early syncs it all at the end.
  (void)::sync_file_range(::fileno(file), static_cast<off_t>(offset), static_cast<off_t>(length),
                          SYNC_FILE_RANGE_WRITE);
#else
  (void)file;
  (void)offset;
  (void)length;
#endif
}

int sync_file(std::FILE* file) noexcept {
  if (std::fflush(file) != 0) return errno != 0 ? errno : EIO;
  return ::fsync(::fileno(file)) == 0 ? 0 : errno;
}

int sync_folder(const std::filesystem::path& folder) noexcept {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  // Some file systems cannot sync a folder; the rename stands all the same.
  const int rc = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS ? 0 : errno;
  ::close(fd);
  return rc;
}

bool seek_to(std::FILE* file, std::uint64_t offset) noexcept {
  static_assert(sizeof(off_t) == 8, "file offsets must be 64 bits");
  return ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

std::size_t read_at(std::FILE* file, std::uint64_t offset, std::span<std::byte> dest, int& err) noexcept {
  const int fd = ::fileno(file);
  std::size_t got = 0;
  while (got < dest.size()) {
    const ssize_t n = ::pread(fd, dest.data() + got, dest.size() - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      err = errno;
      break;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

bool read_cached(std::FILE* file, std::uint64_t offset, std::span<std::byte> dest, int& err) noexcept {
#if defined(__linux__) && defined(RWF_NOWAIT)
  iovec v{dest.data(), dest.size()};
  for (;;) {
    const ssize_t n = ::preadv2(::fileno(file), &v, 1, static_cast<off_t>(offset), RWF_NOWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EOPNOTSUPP && errno != EINVAL && errno != ENOSYS) err = errno;
    // Part of the bytes is as good as none: the rest would wait.
    return n == static_cast<ssize_t>(dest.size());
  }
#else
  (void)file, (void)offset, (void)dest, (void)err;
  return false;
#endif
}

#endif

std::filesystem::path path_from_utf8(std::string_view name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::string utf8_of(const std::filesystem::path& path) {
  const std::u8string u = path.u8string();
  return std::string(u.begin(), u.end());
}

}  // namespace kestrel::io
