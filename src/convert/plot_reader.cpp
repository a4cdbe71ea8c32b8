#include "convert/plot_reader.hpp"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <iterator>
#include <mutex>
#include <system_error>
#include <thread>

#include "base/interrupt.hpp"
#include "convert/plot_scan_detail.hpp"
#include "io/byte_order.hpp"

namespace kestrel {

namespace {

// Of a line that cannot be read only this much is kept for the message.
constexpr std::size_t kKeptOfLongLine = 256;
constexpr double kTolerance = 0.01;  // metres

}  // namespace

// A slot's state; not in the anonymous namespace, since PlotBuffers::Slot,
// declared in the header, holds one.
enum class SlotState { free, ready, claimed, scanned };

// A segment of whole lines and its scan.
struct PlotBuffers::Slot {
  explicit Slot(std::size_t segment)
      : raw(std::make_unique<char[]>(plot::kLead + segment + plot::kTail)),
        // AERMOD's lines are 108 bytes; a scan that runs out of room is
        // taken up again where it stopped.
        scan(segment / 48 + 4, segment / 1024 + 4) {}

  [[nodiscard]] char* text() noexcept { return raw.get() + plot::kLead; }

  std::unique_ptr<char[]> raw;
  plot::Scan scan;
  std::size_t len = 0;    // bytes of whole lines at text()
  bool last = false;      // the file ends with them
  bool too_long = false;  // one line longer than a segment, of which the start is kept
  SlotState state = SlotState::free;
};

PlotBuffers::PlotBuffers(std::size_t segment, std::size_t slots, bool second_thread)
    : segment_(std::max<std::size_t>(segment, 2 * plot::kMaxLine)), second_thread_(second_thread) {
  for (std::size_t i = 0; i < std::max<std::size_t>(slots, 2); ++i) slots_.push_back(std::make_unique<Slot>(segment_));
}

PlotBuffers::~PlotBuffers() = default;

PlotBuffers::Slot& PlotBuffers::slot(std::size_t i) noexcept { return *slots_[i % slots_.size()]; }

// Reads segments ahead into free slots and has them scanned, by a second
// thread or, when that one is busy elsewhere, by the caller; hands them out in
// file order.
class PlotReader::Pipeline {
 public:
  Pipeline(io::ByteSource& source, PlotBuffers& buffers, std::uint32_t columns)
      : source_(source), buffers_(buffers), single_(!buffers.second_thread()) {
    for (std::size_t i = 0; i < buffers_.slots(); ++i) {
      buffers_.slot(i).state = SlotState::free;
      buffers_.slot(i).scan.columns = columns;
    }
  }
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;
  ~Pipeline() {
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) worker_.join();
  }

  // The next segment, scanned; nullptr after the last. While the second
  // thread scans it, this one scans a later segment rather than wait.
  PlotBuffers::Slot* acquire() {
    fill();
    if (head_ == tail_) return nullptr;
    PlotBuffers::Slot& s = buffers_.slot(head_);
    std::unique_lock lock(mutex_);
    while (s.state != SlotState::scanned) {
      PlotBuffers::Slot* todo = s.state == SlotState::ready ? &s : next_ready();
      if (todo == nullptr) {
        changed_.wait(lock);
        continue;
      }
      todo->state = SlotState::claimed;
      lock.unlock();
      scan(*todo);
      lock.lock();
      todo->state = SlotState::scanned;
    }
    return &s;
  }

  // Bytes of the file read so far (the segments ahead included).
  [[nodiscard]] std::uint64_t fetched() const noexcept { return offset_; }
  [[nodiscard]] std::uint64_t size() const { return source_.size(); }

  void release() {
    const std::lock_guard lock(mutex_);
    buffers_.slot(head_).state = SlotState::free;
    ++head_;
  }

 private:
  static void scan(PlotBuffers::Slot& s) noexcept {
    if (!s.too_long) {
      plot::scan(s.text(), 0, s.len, s.scan);
      return;
    }
    // Only the start of the line is held: a header line, or one that cannot be read.
    plot::Scan& sc = s.scan;
    const bool header = s.text()[0] == '*';
    sc.entries = sc.run_count = 0;
    sc.first_fixed = -1;
    sc.lines = header ? 1 : 0;
    sc.stop = header ? plot::Stop::end : plot::Stop::bad_line;
    sc.stop_offset = 0;
    sc.stop_next = static_cast<std::uint32_t>(s.len);
  }

  void fill() {
    while (tail_ - head_ < buffers_.slots() && !(source_done_ && carry_len_ == 0)) {
      PlotBuffers::Slot& s = buffers_.slot(tail_);
      if (!read_segment(s)) break;
      {
        const std::lock_guard lock(mutex_);
        s.state = SlotState::ready;
        ++tail_;
      }
      changed_.notify_all();
      if (tail_ - head_ >= 2 && !worker_.joinable() && !single_) start_worker();
    }
  }

  // Without a second thread (none to be had) this one scans every segment.
  void start_worker() {
    try {
      worker_ = std::thread([this] { work(); });
    } catch (const std::system_error&) {
      single_ = true;
    }
  }

  std::size_t read_into(char* dest, std::size_t n) {
    const std::size_t got = source_.read_at(offset_, {reinterpret_cast<std::byte*>(dest), n});
    offset_ += got;
    if (got < n || offset_ >= source_.size()) source_done_ = true;
    return got;
  }

  // The carried part line and as many bytes after it as fit; the part line
  // at the end goes on to the next segment.
  bool read_segment(PlotBuffers::Slot& s) {
    char* t = s.text();
    const std::size_t cap = buffers_.segment();
    std::size_t have = carry_len_;
    if (have != 0) std::memmove(t, carry_, have);
    carry_len_ = 0;
    if (!source_done_) have += read_into(t + have, cap - have);
    if (have == 0) return false;
    s.too_long = false;
    s.last = false;
    if (source_done_) {
      s.len = have;
      s.last = true;
      return true;
    }
    if (const std::size_t whole = whole_lines(t, have); whole != 0) {
      s.len = whole;
      carry_ = t + s.len;
      carry_len_ = have - s.len;
      return true;
    }
    skip_long_line(s, t[have - 1] == '\r');
    return true;
  }

  // Bytes of the whole lines at the start of t[0, have), the file going on
  // after them: a carriage return in the last byte may be the first half of
  // a CR LF, so it ends no line yet.
  static std::size_t whole_lines(const char* t, std::size_t have) noexcept {
    for (std::size_t i = have; i-- > 0;) {
      if (t[i] == '\n' || (t[i] == '\r' && i + 1 < have)) return i + 1;
    }
    return 0;
  }

  // A segment without a line end holds part of a line too long to read:
  // keeps its start for the message, reads on to its end.
  // `pending_cr`: the bytes read so far end with a carriage return.
  void skip_long_line(PlotBuffers::Slot& s, bool pending_cr) {
    char* t = s.text();
    s.too_long = true;
    s.len = kKeptOfLongLine;
    char* chunk = t + kKeptOfLongLine;
    const std::size_t room = buffers_.segment() - kKeptOfLongLine;
    while (!source_done_) {
      stop_if_interrupted();
      const std::size_t got = read_into(chunk, room);
      if (got == 0) break;
      if (pending_cr && chunk[0] != '\n') {
        // The carriage return alone ended the line.
        carry_ = chunk;
        carry_len_ = got;
        break;
      }
      const char* e = plot::detail::line_end(chunk, chunk + got);
      if (e != chunk + got && !(*e == '\r' && e + 1 == chunk + got && !source_done_)) {
        carry_ = e + 1;
        carry_len_ = got - static_cast<std::size_t>(carry_ - chunk);
        break;
      }
      pending_cr = chunk[got - 1] == '\r';
    }
    s.last = source_done_ && carry_len_ == 0;
  }

  // The first segment waiting for its scan (the mutex held).
  PlotBuffers::Slot* next_ready() noexcept {
    for (std::size_t i = head_; i < tail_; ++i) {
      if (buffers_.slot(i).state == SlotState::ready) return &buffers_.slot(i);
    }
    return nullptr;
  }

  void work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      PlotBuffers::Slot* todo = nullptr;
      changed_.wait(lock, [&] { return stop_ || (todo = next_ready()) != nullptr; });
      if (stop_) return;
      todo->state = SlotState::claimed;
      lock.unlock();
      scan(*todo);
      lock.lock();
      todo->state = SlotState::scanned;
      changed_.notify_all();
    }
  }

  io::ByteSource& source_;
  PlotBuffers& buffers_;
  std::uint64_t offset_ = 0;
  bool source_done_ = false;
  const char* carry_ = nullptr;
  std::size_t carry_len_ = 0;
  std::size_t head_ = 0;  // the segment handed out next (or now)
  std::size_t tail_ = 0;  // the segment read next
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  bool single_;  // no second thread
  std::thread worker_;
};

namespace {

// Buffers for one file: no larger segments than the file needs.
std::unique_ptr<PlotBuffers> own_buffers(const io::ByteSource& source, PlotBuffers* given) {
  if (given != nullptr) return nullptr;
  const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(source.size(), PlotBuffers::kSegment));
  return std::make_unique<PlotBuffers>(std::max<std::size_t>(size, 4096));
}

}  // namespace

PlotReader::PlotReader(io::ByteSource& source, std::span<const double> x_m, std::span<const double> y_m,
                       std::size_t columns)
    : PlotReader(source, x_m, y_m, nullptr, columns) {}

PlotReader::PlotReader(io::ByteSource& source, std::span<const double> x_m, std::span<const double> y_m,
                       PlotBuffers& buffers, std::size_t columns)
    : PlotReader(source, x_m, y_m, &buffers, columns) {}

PlotReader::PlotReader(io::ByteSource& source, std::span<const double> x_m, std::span<const double> y_m,
                       PlotBuffers* buffers, std::size_t columns)
    : x_m_(x_m),
      y_m_(y_m),
      nrecin_(std::min(x_m.size(), y_m.size())),
      columns_(static_cast<std::uint32_t>(std::clamp<std::size_t>(columns, 1, plot::kMaxColumns))),
      own_(own_buffers(source, buffers)),
      pipe_(std::make_unique<Pipeline>(source, buffers != nullptr ? *buffers : *own_, columns_)),
      values_(std::make_unique_for_overwrite<float[]>(nrecin_ * columns_)),
      place_text_(std::make_unique_for_overwrite<char[]>(kPlaceText * nrecin_)),
      place_len_(std::make_unique<std::uint8_t[]>(nrecin_)) {}

PlotReader::~PlotReader() = default;

// Moves on until there are values to take, a line that cannot be read, or
// the end of the file.
PlotReader::At PlotReader::settle() {
  for (;;) {
    if (slot_ == nullptr) {
      slot_ = pipe_->acquire();
      if (slot_ == nullptr) return At::end;
      run_ = entry_ = 0;
    }
    plot::Scan& sc = slot_->scan;
    if (entry_ < sc.entries) return At::values;
    if (sc.stop == plot::Stop::bad_line) return At::bad_line;
    line_base_ += sc.lines;
    if (sc.stop == plot::Stop::full) {
      plot::scan(slot_->text(), sc.stop_offset, slot_->len, sc);
      run_ = entry_ = 0;
      continue;
    }
    pipe_->release();
    slot_ = nullptr;
  }
}

// Takes the next n values of the current run into the record being gathered.
void PlotReader::take(std::size_t n, std::size_t& count) {
  const plot::Scan& sc = slot_->scan;
  if (sc.first_fixed >= 0 && sc.first_fixed < static_cast<std::int64_t>(entry_ + n)) fixed_ = true;
  const std::size_t used = count < nrecin_ ? std::min(n, nrecin_ - count) : 0;
  if (columns_ == 1) {
    std::copy_n(sc.values.get() + entry_, used, values_.get() + count);
  } else {
    const float* from = sc.values.get() + std::size_t{entry_} * columns_;
    for (std::size_t t = 0; t < columns_; ++t) {
      float* to = values_.get() + t * nrecin_ + count;
      for (std::size_t i = 0; i < used; ++i) to[i] = from[i * columns_ + t];
    }
  }
  if (misplaced_ == 0) check_places(entry_, used, count);
  entry_ += static_cast<std::uint32_t>(n);
  count += n;
}

// The coordinates of a record's lines against the receptors'. AERMOD prints
// the same X and Y in every record: a line whose X and Y text is the one
// already found right for its receptor needs no reading.
void PlotReader::check_places(std::size_t first, std::size_t n, std::size_t receptor) {
  const plot::Scan& sc = slot_->scan;
  for (std::size_t i = 0; i < n && candidate_ == 0; ++i) {
    const std::size_t offset = sc.offsets[first + i];
    const char* line = slot_->text() + offset;
    const std::size_t len = line_end(offset) - offset;
    const std::size_t r = receptor + i;
    char* known = place_text_.get() + kPlaceText * r;
    const std::size_t k = place_len_[r];
    if (k != 0 && len > k && std::memcmp(line, known, k) == 0 && (line[k] == ' ' || line[k] == '\t')) continue;
    std::string_view f[2];
    plot::split_fields({line, len}, f, 2);
    const double x = plot::read_number(f[0]).value_or(0.0);
    const double y = plot::read_number(f[1]).value_or(0.0);
    if (std::fabs(x - x_m_[r]) > kTolerance || std::fabs(y - y_m_[r]) > kTolerance) {
      candidate_ = static_cast<std::int32_t>(r + 1);
      continue;
    }
    const auto text = static_cast<std::size_t>(f[1].data() + f[1].size() - line);
    if (text <= kPlaceText) {
      std::memcpy(known, line, text);
      place_len_[r] = static_cast<std::uint8_t>(text);
    }
  }
}

PlotReader::Result PlotReader::next() {
  if (done_) return final_;
  longer_ = false;
  At at = settle();
  if (at == At::end) return finish(Result::end_of_file);
  if (at == At::bad_line) return bad_line();
  key_ = slot_->scan.runs[run_].key;
  candidate_ = 0;
  std::size_t count = 0;
  for (;;) {
    const plot::Scan& sc = slot_->scan;
    const bool more_runs = run_ + 1 < sc.run_count;
    take((more_runs ? sc.runs[run_ + 1].first_entry : sc.entries) - entry_, count);
    if (more_runs) {
      ++run_;
      break;
    }
    at = settle();
    // A run goes on into the next scan when its first run has the same key.
    if (at != At::values || !(slot_->scan.runs[0].key == key_)) break;
  }
  if (count >= nrecin_) {
    longer_ = count > nrecin_;
    if (misplaced_ == 0) misplaced_ = candidate_;
    return Result::record;
  }
  // Short: what follows tells whether the file was cut or the record is wrong.
  if (at == At::end) return end_inside();
  if (at == At::bad_line) return bad_line();
  const plot::Run& r = slot_->scan.runs[run_];
  if (last_line(line_end(r.offset))) return end_inside();
  return fail_at(r.offset, line_end(r.offset), line_base_ + r.line + 1);
}

void PlotReader::convert_into(std::byte* out, float factor, std::size_t slice) const noexcept {
  const float* in = values_.get() + slice * nrecin_;
  for (std::size_t i = 0; i < nrecin_; ++i) io::put_f32(out + 4 * i, in[i] * factor);
}

PlotReader::Result PlotReader::bad_line() {
  const plot::Scan& sc = slot_->scan;
  if (last_line(sc.stop_next)) return end_inside();
  return fail_at(sc.stop_offset, sc.stop_next, line_base_ + sc.lines + 1);
}

std::uint64_t PlotReader::position() const noexcept { return pipe_->fetched(); }
std::uint64_t PlotReader::size() const { return pipe_->size(); }

std::size_t PlotReader::line_end(std::size_t offset) const noexcept {
  const char* end = slot_->text() + slot_->len;
  const char* e = plot::detail::line_end(slot_->text() + offset, end);
  return e != end ? static_cast<std::size_t>(e - slot_->text()) + 1 : slot_->len;
}

bool PlotReader::last_line(std::size_t line_end) const noexcept { return slot_->last && line_end == slot_->len; }

PlotReader::Result PlotReader::finish(Result r) {
  done_ = true;
  final_ = r;
  return r;
}

PlotReader::Result PlotReader::end_inside() {
  ended_inside_ = true;
  return finish(Result::end_of_file);
}

PlotReader::Result PlotReader::fail_at(std::size_t offset, std::size_t end, std::int64_t line) {
  error_line_ = line;
  // Bytes that are no text are shown as '?'.
  std::string text(slot_->text() + offset, std::min(end - offset, kKeptOfLongLine));
  for (char& c : text) {
    if (plot::detail::odd_byte(c)) c = '?';
  }
  error_text_ = plot::trim(text);
  return finish(Result::failure);
}

}  // namespace kestrel
