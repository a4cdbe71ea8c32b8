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

void Channels::open_list(const std::filesystem::path& path, std::string shown, std::string_view control) {
  list_shown_ = std::move(shown);
  try {
    list_.emplace(path, file_label("list file", list_shown_));
  } catch (const io::LockedTextFile::Busy&) {
    throw IoError("'" + std::string(control) + "' is being converted by another kestrel");
  }
}

void Channels::to_list(std::string_view line) {
  if (list_) list_->write_line(line);
}

void Channels::warn(std::string_view text) {
  to_list(free_line(text));
  count_warning(std::string(text));
  to_error(text);
}

void Channels::progress(std::string_view line) {
  stop_if_interrupted();
  to_both(line);
  flush_list();
}

void Channels::reading(std::string_view, std::uint64_t, std::uint64_t) { stop_if_interrupted(); }

void Channels::flush_list() {
  if (list_) list_->flush();
}

void Channels::close_list() {
  if (!list_) return;
  list_->close();
  list_.reset();
}

void Channels::close_list_quietly(std::string_view last_line) noexcept {
  if (!list_) return;
  list_->close_quietly(last_line);
  list_.reset();
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
