#include "app/channels.hpp"

#include <cerrno>

#include "base/free_line.hpp"
#include "base/io_error.hpp"

namespace kestrel {

void Channels::open_list(const std::filesystem::path& path, std::string shown) {
  list_shown_ = std::move(shown);
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw io_error("cannot create list file", list_shown_, EISDIR);
  errno = 0;
  // Text mode: lines end in CR LF on Windows, as its editors expect.
  list_.open(path, std::ios::out | std::ios::trunc);
  if (!list_.is_open()) throw io_error("cannot create list file", list_shown_, errno != 0 ? errno : EIO);
}

void Channels::check_list() {
  if (!list_) throw io_error("cannot write list file", list_shown_, errno != 0 ? errno : EIO);
}

void Channels::to_list(std::string_view line) {
  if (!list_.is_open()) return;
  errno = 0;
  list_ << line << '\n';
  check_list();
}

void Channels::warn(std::string_view text) {
  to_list(free_line(text));
  err << text << '\n';
}

void Channels::close_list() {
  if (!list_.is_open()) return;
  errno = 0;
  list_.flush();
  check_list();
  list_.close();
  if (list_.fail()) throw io_error("cannot write list file", list_shown_, errno != 0 ? errno : EIO);
}

void Channels::close_list_quietly() noexcept {
  try {
    if (list_.is_open()) list_.close();
  } catch (...) {
  }
}

}  // namespace kestrel
