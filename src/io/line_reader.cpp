#include "io/line_reader.hpp"

#include <cerrno>
#include <cstring>

#include "base/interrupt.hpp"
#include "base/io_error.hpp"

namespace kestrel::io {

LineReader::LineReader(FilePtr file, std::string label)
    : file_(std::move(file)), label_(std::move(label)), buffer_(std::size_t{1} << 16) {
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
}

bool LineReader::refill() {
  if (eof_) return false;
  // A file of millions of lines, or one endless line, can be stopped.
  stop_if_interrupted();
  errno = 0;
  len_ = std::fread(buffer_.data(), 1, buffer_.size(), file_.get());
  at_ = 0;
  // Windows editors start UTF-8 files with a byte-order mark; it is no part of the first line.
  if (!started_ && len_ >= 3 && std::memcmp(buffer_.data(), "\xEF\xBB\xBF", 3) == 0) at_ = 3;
  started_ = true;
  if (len_ < buffer_.size()) {
    if (std::ferror(file_.get()) != 0) throw io_error("cannot read", label_, errno != 0 ? errno : EIO);
    eof_ = true;
  }
  return len_ > at_;
}

bool LineReader::next(std::string& line) {
  line.clear();
  std::size_t total = 0;
  char last = '\0';
  bool any = false;
  for (;;) {
    if (at_ == len_ && !refill()) break;
    any = true;
    const char* start = buffer_.data() + at_;
    const auto* nl = static_cast<const char*>(std::memchr(start, '\n', len_ - at_));
    const std::size_t n = nl != nullptr ? static_cast<std::size_t>(nl - start) : len_ - at_;
    // Keep one character beyond the width, so that a carriage return ending
    // a 320-character line can still be recognised and dropped.
    if (line.size() <= kLineWidth) line.append(start, std::min(n, kLineWidth + 1 - line.size()));
    if (n > 0) last = start[n - 1];
    total += n;
    at_ += n;
    if (nl != nullptr) {
      ++at_;
      break;
    }
  }
  if (!any) return false;
  if (last == '\r' && total <= kLineWidth + 1) line.pop_back();
  if (line.size() > kLineWidth) line.resize(kLineWidth);
  return true;
}

}  // namespace kestrel::io
