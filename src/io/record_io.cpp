#include "io/record_io.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "io/byte_order.hpp"

namespace kestrel::io {

RecordReader::RecordReader(ByteSource& source, std::size_t buffer_size)
    : source_(source), own_(std::make_unique_for_overwrite<std::byte[]>(buffer_size)), buffer_(own_.get(), buffer_size) {}

RecordReader::RecordReader(ByteSource& source, std::span<std::byte> buffer) : source_(source), buffer_(buffer) {}

void RecordReader::rewind() noexcept {
  pos_ = 0;
  ended_inside_ = false;
}

bool RecordReader::ensure(std::uint64_t pos, std::size_t n) {
  if (pos >= buffer_pos_ && pos + n <= buffer_pos_ + buffer_len_) return true;
  // Keep what is already read of the wanted range; read the rest behind it.
  std::size_t keep = 0;
  if (pos >= buffer_pos_ && pos < buffer_pos_ + buffer_len_) {
    keep = static_cast<std::size_t>(buffer_pos_ + buffer_len_ - pos);
    std::memmove(buffer_.data(), buffer_.data() + (pos - buffer_pos_), keep);
  }
  buffer_pos_ = pos;
  buffer_len_ = keep;
  while (buffer_len_ < n) {
    const std::size_t got =
        source_.read_at(pos + buffer_len_, buffer_.subspan(buffer_len_));
    if (got == 0) return false;
    buffer_len_ += got;
  }
  return true;
}

ReadOutcome RecordReader::begin_record(std::int64_t& n) {
  const std::uint64_t size = source_.size();
  n = -1;
  if (pos_ >= size) return ReadOutcome::end_of_file;
  if (size - pos_ < 4 || !ensure(pos_, 4)) {
    ended_inside_ = true;
    pos_ = size;
    return ReadOutcome::end_of_file;
  }
  n = get_i32(buffer_.data() + (pos_ - buffer_pos_));
  length_ = n;
  if (n < 0) {
    // Nothing after a negative marker can be trusted to be a record boundary.
    pos_ = size;
    return ReadOutcome::error;
  }
  if (size - pos_ < static_cast<std::uint64_t>(n) + 8) {
    ended_inside_ = true;
    pos_ = size;
    n = -1;
    return ReadOutcome::end_of_file;
  }
  return ReadOutcome::ok;
}

Frame RecordReader::frame(std::int64_t& length) {
  const std::uint64_t size = source_.size();
  length = -1;
  if (pos_ >= size) return Frame::end;
  if (size - pos_ < 4 || !ensure(pos_, 4)) return Frame::stub;
  const std::int64_t n = get_i32(buffer_.data() + (pos_ - buffer_pos_));
  length = n;
  length_ = n;
  if (n < 0) return Frame::negative;
  const std::uint64_t whole = static_cast<std::uint64_t>(n) + 8;
  if (size - pos_ < whole) return Frame::cut;
  std::byte trailer[4];
  const std::uint64_t at = pos_ + whole - 4;
  if (whole <= buffer_.size()) {
    if (!ensure(pos_, static_cast<std::size_t>(whole))) return Frame::cut;  // the file shrank
    std::memcpy(trailer, buffer_.data() + (at - buffer_pos_), 4);
  } else if (source_.read_at(at, trailer) != 4) {
    return Frame::cut;
  }
  return get_i32(trailer) == n ? Frame::whole : Frame::bad_trailer;
}

bool RecordReader::peek(std::span<std::byte> dest) {
  if (source_.size() - std::min(pos_, source_.size()) < dest.size() || !ensure(pos_, dest.size())) return false;
  std::memcpy(dest.data(), buffer_.data() + (pos_ - buffer_pos_), dest.size());
  return true;
}

std::span<const std::byte> RecordReader::take(std::size_t need) {
  const auto n = static_cast<std::uint64_t>(length_);
  const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(need, n));
  std::span<const std::byte> view;
  if (ensure(pos_ + 4, count)) view = std::span<const std::byte>(buffer_.data() + (pos_ + 4 - buffer_pos_), count);
  pos_ += n + 8;
  return view;
}

ReadOutcome RecordReader::read_view(std::size_t need, std::span<const std::byte>& view) {
  std::int64_t n = 0;
  const ReadOutcome head = begin_record(n);
  if (n < 0) return head;
  const std::size_t take = std::min<std::uint64_t>(need, static_cast<std::uint64_t>(n));
  if (!ensure(pos_ + 4, take)) {
    // The file shrank while it was read.
    ended_inside_ = true;
    pos_ = source_.size();
    return ReadOutcome::end_of_file;
  }
  view = std::span<const std::byte>(buffer_.data() + (pos_ + 4 - buffer_pos_), take);
  pos_ += static_cast<std::uint64_t>(n) + 8;
  return take < need ? ReadOutcome::error : ReadOutcome::ok;
}

ReadOutcome RecordReader::read(std::span<std::byte> dest) {
  if (dest.size() + 4 <= buffer_.size()) {
    std::span<const std::byte> view;
    const ReadOutcome outcome = read_view(dest.size(), view);
    if (!view.empty()) std::memcpy(dest.data(), view.data(), view.size());
    return outcome;
  }
  // A list larger than the buffer is read straight into its destination.
  std::int64_t n = 0;
  const ReadOutcome head = begin_record(n);
  if (n < 0) return head;
  const std::size_t take = std::min<std::uint64_t>(dest.size(), static_cast<std::uint64_t>(n));
  if (source_.read_at(pos_ + 4, dest.first(take)) != take) {
    ended_inside_ = true;
    pos_ = source_.size();
    return ReadOutcome::end_of_file;
  }
  pos_ += static_cast<std::uint64_t>(n) + 8;
  return take < dest.size() ? ReadOutcome::error : ReadOutcome::ok;
}

RecordWriter::RecordWriter(ByteSink& sink, std::size_t flush_at) : RecordWriter(flush_at) { sink_ = &sink; }

RecordWriter::RecordWriter(std::size_t flush_at) : flush_at_(flush_at) {
  // Grows to the flush size only when the dataset is that large.
  reserve_more(std::min<std::size_t>(flush_at_ + 4096, std::size_t{64} << 10));
}

void RecordWriter::reserve_more(std::size_t n) {
  if (size_ + n <= capacity_) return;
  // Doubling, but never far past the flush size: the buffer holds at most
  // flush_at_ bytes and one record.
  const std::size_t capacity = std::max(size_ + n, std::min(2 * capacity_, flush_at_ + n));
  auto bigger = std::make_unique_for_overwrite<std::byte[]>(capacity);
  if (size_ > 0) std::memcpy(bigger.get(), buffer_.get(), size_);
  buffer_ = std::move(bigger);
  capacity_ = capacity;
}

RecordWriter& RecordWriter::text(std::string_view s, std::size_t width) {
  const std::size_t n = std::min(s.size(), width);
  std::byte* p = grow(width);
  std::memcpy(p, s.data(), n);
  std::memset(p + n, ' ', width - n);
  return *this;
}

RecordWriter& RecordWriter::f32s(std::span<const float> values) {
  std::byte* p = grow(4 * values.size());
  for (const float v : values) {
    put_f32(p, v);
    p += 4;
  }
  return *this;
}

void RecordWriter::too_long() { throw std::length_error("record longer than a length marker can hold"); }

void RecordWriter::flush() {
  // Only whole records leave; a record being built stays.
  if (record_start_ > 0) sink_->write(std::span<const std::byte>(buffer_.get(), record_start_));
  std::memmove(buffer_.get(), buffer_.get() + record_start_, size_ - record_start_);
  size_ -= record_start_;
  record_start_ = 0;
}

}  // namespace kestrel::io
