#include "dataset/record_io.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "dataset/byte_order.hpp"

namespace kestrel::dataset {

RecordReader::RecordReader(ByteSource& source, std::size_t buffer_size) : source_(source), buffer_(buffer_size) {}

void RecordReader::rewind() noexcept {
  pos_ = 0;
  ended_inside_ = false;
}

// Copies [pos, pos + dest.size()) through the buffer; false if the source
// holds fewer bytes than that (a file cut while it was being read).
bool RecordReader::fetch(std::uint64_t pos, std::span<std::byte> dest) {
  while (!dest.empty()) {
    if (pos >= buffer_pos_ && pos < buffer_pos_ + buffer_len_) {
      const auto at = static_cast<std::size_t>(pos - buffer_pos_);
      const std::size_t n = std::min(dest.size(), buffer_len_ - at);
      std::memcpy(dest.data(), buffer_.data() + at, n);
      dest = dest.subspan(n);
      pos += n;
      continue;
    }
    if (dest.size() >= buffer_.size()) {
      // Large enough to bypass the buffer.
      const std::size_t n = source_.read_at(pos, dest);
      return n == dest.size();
    }
    buffer_pos_ = pos;
    buffer_len_ = source_.read_at(pos, buffer_);
    if (buffer_len_ == 0) return false;
  }
  return true;
}

ReadOutcome RecordReader::read(std::span<std::byte> dest) {
  const std::uint64_t size = source_.size();
  if (pos_ >= size) return ReadOutcome::end_of_file;
  if (size - pos_ < 4) {
    ended_inside_ = true;
    pos_ = size;
    return ReadOutcome::end_of_file;
  }
  std::byte marker[4];
  if (!fetch(pos_, marker)) {
    ended_inside_ = true;
    pos_ = size;
    return ReadOutcome::end_of_file;
  }
  const std::int64_t n = get_i32(marker);
  length_ = n;
  if (n < 0) {
    // Nothing after a negative marker can be trusted to be a record boundary.
    pos_ = size;
    return ReadOutcome::error;
  }
  const auto record_size = static_cast<std::uint64_t>(n) + 8;
  if (size - pos_ < record_size) {
    ended_inside_ = true;
    pos_ = size;
    return ReadOutcome::end_of_file;
  }
  const std::size_t take = std::min<std::uint64_t>(dest.size(), static_cast<std::uint64_t>(n));
  if (!fetch(pos_ + 4, dest.first(take))) {
    ended_inside_ = true;
    pos_ = size;
    return ReadOutcome::end_of_file;
  }
  pos_ += record_size;
  return take < dest.size() ? ReadOutcome::error : ReadOutcome::ok;
}

RecordWriter::RecordWriter(ByteSink& sink, std::size_t flush_at) : sink_(sink), flush_at_(flush_at) {
  buffer_.reserve(flush_at_);
}

RecordWriter& RecordWriter::begin() {
  record_start_ = buffer_.size();
  grow(4);  // the leading marker, filled in by end()
  return *this;
}

std::byte* RecordWriter::grow(std::size_t n) {
  const std::size_t at = buffer_.size();
  buffer_.resize(at + n);
  return buffer_.data() + at;
}

RecordWriter& RecordWriter::text(std::string_view s) {
  std::memcpy(grow(s.size()), s.data(), s.size());
  return *this;
}

RecordWriter& RecordWriter::text(std::string_view s, std::size_t width) {
  const std::size_t n = std::min(s.size(), width);
  std::byte* p = grow(width);
  std::memcpy(p, s.data(), n);
  std::memset(p + n, ' ', width - n);
  return *this;
}

RecordWriter& RecordWriter::i32(std::int32_t v) {
  put_i32(grow(4), v);
  return *this;
}

RecordWriter& RecordWriter::f32(float v) {
  put_f32(grow(4), v);
  return *this;
}

RecordWriter& RecordWriter::f64(double v) {
  put_f64(grow(8), v);
  return *this;
}

RecordWriter& RecordWriter::logical(bool v) { return i32(v ? 1 : 0); }

RecordWriter& RecordWriter::f32s(std::span<const float> values) {
  std::byte* p = grow(4 * values.size());
  for (const float v : values) {
    put_f32(p, v);
    p += 4;
  }
  return *this;
}

void RecordWriter::end() {
  const std::size_t n = buffer_.size() - record_start_ - 4;
  if (n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    throw std::length_error("record longer than a length marker can hold");
  put_i32(buffer_.data() + record_start_, static_cast<std::int32_t>(n));
  put_i32(grow(4), static_cast<std::int32_t>(n));
  record_start_ = buffer_.size();
  if (buffer_.size() >= flush_at_) flush();
}

void RecordWriter::flush() {
  sink_.write(std::span<const std::byte>(buffer_.data(), record_start_));
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(record_start_));
  record_start_ = 0;
}

}  // namespace kestrel::dataset
