#include "app/channels.hpp"

#include <cerrno>

#include "app/interrupt.hpp"
#include "base/free_line.hpp"
#include "base/io_error.hpp"

namespace kestrel {

namespace {

bool is_absolute(std::string_view name) {
  return !name.empty() && (name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':'));
}

}  // namespace

void Channels::open_list(const std::filesystem::path& path, std::string shown) {
  list_shown_ = std::move(shown);
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw io_error("cannot create", file_label("list file", list_shown_), EISDIR);
  errno = 0;
  // Text mode: lines end in CR LF on Windows, as its editors expect.
  list_.open(path, std::ios::out | std::ios::trunc);
  if (!list_.is_open()) throw io_error("cannot create", file_label("list file", list_shown_), errno != 0 ? errno : EIO);
}

void Channels::check_list() {
  if (!list_) throw io_error("cannot write", file_label("list file", list_shown_), errno != 0 ? errno : EIO);
}

void Channels::to_list(std::string_view line) {
  if (!list_.is_open()) return;
  errno = 0;
  list_ << line << '\n';
  check_list();
}

void Channels::warn(std::string_view text) {
  to_list(free_line(text));
  ++warnings_;
  to_error(text);
}

void Channels::progress(std::string_view line) {
  if (const int sig = InterruptGuard::pending(); sig != 0) throw Interrupted{sig};
  to_both(line);
  flush_list();
}

void Channels::reading(std::string_view, std::uint64_t, std::uint64_t) {
  if (const int sig = InterruptGuard::pending(); sig != 0) throw Interrupted{sig};
}

void Channels::flush_list() {
  if (!list_.is_open()) return;
  errno = 0;
  list_.flush();
  check_list();
}

void Channels::close_list() {
  if (!list_.is_open()) return;
  flush_list();
  list_.close();
  if (list_.fail()) throw io_error("cannot write", file_label("list file", list_shown_), errno != 0 ? errno : EIO);
}

void Channels::close_list_quietly(std::string_view last_line) noexcept {
  try {
    if (!list_.is_open()) return;
    list_ << last_line << '\n';
    list_.close();
  } catch (...) {
  }
}

std::string Channels::seen(std::string_view text, std::size_t at) const {
  std::string s(text);
  if (prefix_.empty() || at > s.size() || is_absolute(text.substr(at))) return s;
  s.insert(at, prefix_);
  return s;
}

std::string Channels::seen_message(std::string_view text) const {
  const std::size_t quote = text.find('\'');
  return quote == std::string_view::npos ? std::string(text) : seen(text, quote + 1);
}

}  // namespace kestrel
