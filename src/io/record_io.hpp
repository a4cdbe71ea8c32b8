// Sequential binary records: a 32-bit little-endian length, the payload, the
// length again. Reading and writing go through large buffers so that a record
// of many items costs no system call per item.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "io/byte_order.hpp"
#include "io/files.hpp"

namespace kestrel::io {

enum class ReadOutcome {
  ok,           // the list was filled; bytes left in the record were skipped
  end_of_file,  // no whole record left
  error,        // the list is longer than the record, or the marker is negative
};

// What stands at the reader's position, for readers that judge each record
// themselves (see RecordReader::frame).
enum class Frame {
  whole,        // a record with both markers equal
  end,          // the end of the file, exactly
  stub,         // 1 to 3 bytes: not even a marker
  cut,          // a marker >= 0 with fewer bytes behind it than it says
  negative,     // a negative leading marker
  bad_trailer,  // the trailing marker differs from the leading one
};

class RecordReader {
 public:
  static constexpr std::size_t kDefaultBuffer = std::size_t{1} << 20;

  explicit RecordReader(ByteSource& source, std::size_t buffer_size = kDefaultBuffer);
  // Reads through a buffer owned by the caller, which can serve one file
  // after another without being allocated again.
  RecordReader(ByteSource& source, std::span<std::byte> buffer);

  // Fills `dest` (the bytes of the item list, in order) from the next record.
  // Only whole records are read: a record that the file does not hold whole,
  // or 1 to 3 stray bytes, give end_of_file and set ended_inside_record().
  // The length marker is never used to size memory.
  ReadOutcome read(std::span<std::byte> dest);

  // The same without a copy: `view` shows the first min(need, length())
  // payload bytes inside the reader's buffer, valid until the next call.
  // `need` must not exceed buffer_size() - 4.
  ReadOutcome read_view(std::size_t need, std::span<const std::byte>& view);

  [[nodiscard]] std::size_t buffer_size() const noexcept { return buffer_.size(); }

  // Looks at the record at the current position without moving past it;
  // `length` receives its leading marker (-1 for end and stub). Both markers
  // of a whole record are checked.
  Frame frame(std::int64_t& length);
  // After frame() gave whole: the first min(need, length) payload bytes in
  // the reader's buffer (need <= buffer_size() - 4), and on to the next record.
  std::span<const std::byte> take(std::size_t need);
  // The bytes at the current position, without moving; false when the file
  // holds fewer.
  bool peek(std::span<std::byte> dest);

  // Payload length of the last record read (ok or error outcome).
  [[nodiscard]] std::int64_t length() const noexcept { return length_; }
  [[nodiscard]] bool ended_inside_record() const noexcept { return ended_inside_; }
  // Bytes of the source read or skipped so far.
  [[nodiscard]] std::uint64_t position() const noexcept { return pos_; }
  [[nodiscard]] std::uint64_t source_size() const { return source_.size(); }

  void rewind() noexcept;

 private:
  // Makes the file bytes [pos, pos + n) resident in the buffer, n <= its size.
  bool ensure(std::uint64_t pos, std::size_t n);
  // The next record's marker and wholeness; its payload length, or a
  // negative value for the outcome to return.
  ReadOutcome begin_record(std::int64_t& n);

  ByteSource& source_;
  std::unique_ptr<std::byte[]> own_;
  std::span<std::byte> buffer_;
  std::uint64_t buffer_pos_ = 0;
  std::size_t buffer_len_ = 0;
  std::uint64_t pos_ = 0;
  std::int64_t length_ = 0;
  bool ended_inside_ = false;
};

class RecordWriter {
 public:
  static constexpr std::size_t kDefaultFlush = std::size_t{1} << 20;

  explicit RecordWriter(ByteSink& sink, std::size_t flush_at = kDefaultFlush);
  // A writer whose sink is attached later; its buffer serves one file after another.
  explicit RecordWriter(std::size_t flush_at = kDefaultFlush);

  void attach(ByteSink& sink) noexcept { sink_ = &sink; }
  // Room for the flush size and a record of `largest` bytes, allocated once.
  void reserve_for(std::size_t largest) {
    if (flush_at_ + largest > size_) reserve_more(flush_at_ + largest - size_);
  }
  // Drops everything not yet handed to the sink.
  void discard() noexcept { size_ = record_start_ = 0; }

  // One record: begin(), its items in list order, end(). The item writers
  // are inline: a dataset of small records is mostly item calls.
  RecordWriter& begin() {
    record_start_ = size_;
    grow(4);  // the leading marker, filled in by end()
    return *this;
  }
  RecordWriter& text(std::string_view s) {  // as held, every byte
    std::memcpy(grow(s.size()), s.data(), s.size());
    return *this;
  }
  RecordWriter& text(std::string_view s, std::size_t width);  // blank-padded or cut
  RecordWriter& i32(std::int32_t v) {
    put_i32(grow(4), v);
    return *this;
  }
  RecordWriter& f32(float v) {
    put_f32(grow(4), v);
    return *this;
  }
  RecordWriter& f64(double v) {
    put_f64(grow(8), v);
    return *this;
  }
  RecordWriter& logical(bool v) { return i32(v ? 1 : 0); }
  RecordWriter& f32s(std::span<const float> values);
  // Room for `n` payload bytes that the caller encodes itself.
  std::byte* grow(std::size_t n) {
    if (size_ + n > capacity_) reserve_more(n);
    std::byte* p = buffer_.get() + size_;
    size_ += n;
    return p;
  }
  void end() {
    const std::size_t n = size_ - record_start_ - 4;
    if (n > kMaxPayload) too_long();
    put_i32(buffer_.get() + record_start_, static_cast<std::int32_t>(n));
    put_i32(grow(4), static_cast<std::int32_t>(n));
    record_start_ = size_;
    if (size_ >= flush_at_) flush();
  }

  // Appends `n` bytes of whole records, framed by `fill` in place.
  template <class Fill>
  void append_records(std::size_t n, Fill fill) {
    fill(grow(n));
    record_start_ = size_;
    if (size_ >= flush_at_) flush();
  }

  // Hands every finished record to the sink.
  void flush();

 private:
  // Capacity for at least n more bytes; bytes are left uninitialised, since
  // every byte handed out is written before the record is flushed.
  void reserve_more(std::size_t n);
  [[noreturn]] static void too_long();

  static constexpr std::size_t kMaxPayload = 0x7FFFFFFF;

  ByteSink* sink_ = nullptr;
  std::size_t flush_at_;
  std::unique_ptr<std::byte[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
  std::size_t record_start_ = 0;
};

}  // namespace kestrel::io
