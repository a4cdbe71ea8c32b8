#include "app/channels.hpp"

#include <cerrno>
#include <cstdio>

#include "app/interrupt.hpp"
#include "base/free_line.hpp"
#include "base/io_error.hpp"

namespace kestrel {

namespace {

// "NAME   42%   512.3 MB/s   0:07 left"
std::string progress_text(std::string_view name, std::uint64_t done, std::uint64_t total, double seconds) {
  const double fraction = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
  const double rate = seconds > 0.0 ? static_cast<double>(done) / seconds : 0.0;
  const double left = rate > 0.0 ? static_cast<double>(total - done) / rate : 0.0;
  const auto left_s = static_cast<long long>(left + 0.5);
  char buf[96];
  std::snprintf(buf, sizeof buf, "  %3d%%  %8.1f MB/s  %lld:%02lld left", static_cast<int>(fraction * 100.0),
                rate / 1.0e6, left_s / 60, left_s % 60);
  return std::string(name) + buf;
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

void Channels::to_console(std::string_view line) {
  erase_progress();
  console << line << '\n';
  console.flush();
}

void Channels::to_list(std::string_view line) {
  if (list_) list_->write_line(line);
}

void Channels::warn(std::string_view text) {
  to_list(free_line(text));
  erase_progress();
  err << text << '\n';
}

void Channels::progress(std::string_view line) {
  stop_if_interrupted();
  to_both(line);
  // A run killed from here on leaves the list file up to this POSTFILE.
  flush_list();
  file_start_ = last_shown_ = Clock::now();
}

void Channels::reading(std::string_view name, std::uint64_t done, std::uint64_t total) {
  stop_if_interrupted();
  if (progress_mode_ == ProgressMode::never) return;
  const auto now = Clock::now();
  // A POSTFILE that takes less than about a second shows nothing on a
  // terminal; once shown, the line is rewritten a few times a second.
  if (progress_mode_ == ProgressMode::terminal && now - file_start_ < std::chrono::seconds(1)) return;
  if (shown_width_ > 0 && now - last_shown_ < std::chrono::milliseconds(200)) return;
  last_shown_ = now;
  const std::string text = progress_text(name, done, total, std::chrono::duration<double>(now - file_start_).count());
  err << '\r' << text;
  if (text.size() < shown_width_) err << std::string(shown_width_ - text.size(), ' ');
  err.flush();
  shown_width_ = std::max(shown_width_, text.size());
}

void Channels::erase_progress() {
  if (shown_width_ == 0) return;
  err << '\r' << std::string(shown_width_, ' ') << '\r';
  err.flush();
  shown_width_ = 0;
}

void Channels::flush_list() {
  if (list_) list_->flush();
}

void Channels::close_list() {
  if (!list_) return;
  list_->close();
  list_.reset();
}

void Channels::close_list_quietly(std::string_view last_line) noexcept {
  try {
    erase_progress();
  } catch (...) {
  }
  if (!list_) return;
  list_->close_quietly(last_line);
  list_.reset();
}

}  // namespace kestrel
