#include "dataset/dataset_reader.hpp"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string_view>

#include "base/text.hpp"
#include "io/byte_order.hpp"
#include "io/record_io.hpp"

namespace kestrel::dataset {

namespace {

// A period's records, from its first byte: times, source, values.
constexpr std::uint64_t kSourceAt = 8 + DatasetReader::kTimesRecord;
constexpr std::uint64_t kValuesAt = kSourceAt + 8 + DatasetReader::kSourceRecord;
// The bytes of a period up to the end of its species label.
constexpr std::size_t kHeadBytes = kValuesAt + 4 + DatasetReader::kLabel;

// Below this size a scan reads the whole file in blocks; above it, a read
// per period's head (a system call, about a microsecond) costs less than
// copying the period's values it skips.
constexpr std::uint64_t kSeekAbove = std::uint64_t{8} << 10;

std::string at_byte(std::uint64_t at) { return " (byte " + std::to_string(at) + ")"; }

std::string shown(std::string_view s) { return std::string(trim_right(s)); }

}  // namespace

DatasetReader::DatasetReader(io::ByteSource& source, std::int32_t max_receptors, std::size_t block)
    : source_(source), size_(source.size()) {
  // Large enough for the receptor record of the most receptors accepted.
  const std::size_t header_buffer =
      std::max<std::size_t>(std::size_t{64} << 10, 4096 + 12 * static_cast<std::size_t>(std::max(max_receptors, 0)));
  io::RecordReader in(source_, header_buffer);
  {
    // A file of another kind is named as such, not by the first header
    // record it fails.
    std::span<const std::byte> view;
    const bool whole = in.read_view(96, view) == io::ReadOutcome::ok;
    const std::string_view kind = whole ? std::string_view(reinterpret_cast<const char*>(view.data()), 16) : "";
    if (!whole || (trim_right(kind) != "CONC.DAT" && trim_right(kind) != "DFLX.DAT" && trim_right(kind) != "WFLX.DAT")) {
      throw DatasetError("is not a CONC.DAT, DFLX.DAT or WFLX.DAT dataset: its first record is not a dataset's" +
                             at_byte(0),
                         0);
    }
    in.rewind();
  }
  try {
    header_ = read_header(in, max_receptors);
  } catch (const HeaderError& e) {
    throw DatasetError("has a header that cannot be read: " + std::string(e.what()) + at_byte(e.offset), e.offset);
  }
  const HeaderInfo& h = header_;
  if (trim(h.version) != "2.1") {
    throw DatasetError("is a dataset of version '" + shown(h.version) + "', not 2.1" + at_byte(16), 16);
  }
  const std::int64_t sources = std::accumulate(h.sources.begin(), h.sources.end(), std::int64_t{0});
  if (sources != 1) throw DatasetError("holds " + std::to_string(sources) + " sources, not one", 0);
  if (h.nspout != 1) throw DatasetError("holds " + std::to_string(h.nspout) + " species levels, not one", 0);
  if (h.lsamp) throw DatasetError("holds values at its sampling grid, not at discrete receptors alone", 0);
  if (h.nctrec != 0) {
    throw DatasetError("holds " + std::to_string(h.nctrec) + " complex-terrain receptors, not discrete receptors alone",
                       0);
  }
  if (h.lcomprs) throw DatasetError("holds compressed values", 0);

  first_ = in.position();
  values_length_ = kLabel + 4 * receptors();
  period_ = kValuesAt + 8 + values_length_;
  const std::uint64_t after = size_ > first_ ? size_ - first_ : 0;
  periods_ = static_cast<std::int64_t>(after / period_);
  trailing_ = after % period_;
  capacity_ = static_cast<std::size_t>(std::max<std::uint64_t>(block, period_ + 8));
  buffer_ = std::make_unique_for_overwrite<std::byte[]>(capacity_);
}

const std::byte* DatasetReader::fetch(std::uint64_t at, std::size_t n, bool ahead) {
  if (at >= buffer_at_ && at + n <= buffer_at_ + buffer_len_) return buffer_.get() + (at - buffer_at_);
  const std::uint64_t left = at < size_ ? size_ - at : 0;
  const auto want = static_cast<std::size_t>(ahead ? std::min<std::uint64_t>(capacity_, left) : n);
  std::size_t got = 0;
  while (got < want) {
    const std::size_t r = source_.read_at(at + got, std::span<std::byte>(buffer_.get() + got, want - got));
    if (r == 0) break;
    got += r;
  }
  buffer_at_ = at;
  buffer_len_ = got;
  return got >= n ? buffer_.get() : nullptr;
}

void DatasetReader::cut(std::int64_t k) const {
  const std::uint64_t at = period_at(k);
  throw DatasetError("ends inside period " + std::to_string(k + 1) + ", which begins at byte " + std::to_string(at) +
                         " (the file has " + std::to_string(size_) + " bytes)",
                     at);
}

void DatasetReader::damaged(std::int64_t k, const char* record, std::uint64_t at, const std::string& what) const {
  throw DatasetError(std::string("is damaged: the ") + record + " record of period " + std::to_string(k + 1) + ", at byte " +
                         std::to_string(at) + ", " + what,
                     at);
}

void DatasetReader::check_end() const {
  if (trailing_ != 0) cut(periods_);
}

bool DatasetReader::seek_per_period() const noexcept { return period_ > kSeekAbove; }

PeriodHead DatasetReader::decode_head(const std::byte* p, std::int64_t k, std::uint64_t at) const {
  const auto marker = [&](std::uint64_t off, std::int64_t want, const char* record, std::uint64_t record_at,
                          bool trailing) {
    const std::int32_t got = io::get_i32(p + off);
    if (got == want) return;
    damaged(k, record, at + record_at,
            std::string(trailing ? "ends with the length " : "has the length ") + std::to_string(got) + ", not " +
                std::to_string(want));
  };
  marker(0, kTimesRecord, "times", 0, false);
  marker(4 + kTimesRecord, kTimesRecord, "times", 0, true);
  marker(kSourceAt, kSourceRecord, "source", kSourceAt, false);
  marker(kSourceAt + 4 + kSourceRecord, kSourceRecord, "source", kSourceAt, true);
  marker(kValuesAt, static_cast<std::int64_t>(values_length_), "values", kValuesAt, false);
  const std::string_view label(reinterpret_cast<const char*>(p + kValuesAt + 4), kLabel);
  if (label != header_.speclev) {
    damaged(k, "values", at + kValuesAt,
            "is of species '" + std::string(label) + "', not the header's '" + header_.speclev + "'");
  }
  PeriodHead h;
  const std::byte* t = p + 4;
  h.begin = {io::get_i32(t), io::get_i32(t + 4), io::get_i32(t + 8)};
  h.begin_sec = io::get_i32(t + 12);
  h.end = {io::get_i32(t + 16), io::get_i32(t + 20), io::get_i32(t + 24)};
  h.end_sec = io::get_i32(t + 28);
  const std::byte* s = p + kSourceAt + 4;
  h.ktype = io::get_i32(s);
  h.ksource = io::get_i32(s + 4);
  std::memcpy(h.source.data(), s + 8, h.source.size());
  h.xc = io::get_f32(s + 24);
  h.yc = io::get_f32(s + 28);
  return h;
}

void DatasetReader::check_trailer(const std::byte* p, std::int64_t k, std::uint64_t at) const {
  const std::int32_t got = io::get_i32(p);
  if (got != static_cast<std::int64_t>(values_length_)) {
    damaged(k, "values", at + kValuesAt,
            "ends with the length " + std::to_string(got) + ", not " + std::to_string(values_length_));
  }
}

DatasetReader::View DatasetReader::view(std::int64_t k) {
  const std::uint64_t at = period_at(k);
  const std::byte* p = fetch(at, static_cast<std::size_t>(period_), true);
  if (p == nullptr) cut(k);
  View v;
  v.head = decode_head(p, k, at);
  check_trailer(p + period_ - 4, k, at);
  v.values = std::span<const std::byte>(p + kHeadBytes, 4 * receptors());
  return v;
}

PeriodHead DatasetReader::read(std::int64_t k, std::span<float> values) {
  const View v = view(k);
  const std::size_t n = std::min(values.size(), receptors());
  for (std::size_t i = 0; i < n; ++i) values[i] = io::get_f32(v.values.data() + 4 * i);
  return v.head;
}

bool DatasetReader::next(PeriodHead& head, std::span<float> values) {
  if (next_ >= periods_) {
    check_end();
    return false;
  }
  head = read(next_, values);
  ++next_;
  return true;
}

PeriodHead DatasetReader::head(std::int64_t k) {
  const std::uint64_t at = period_at(k);
  // With the previous period's trailing length marker: one read a period.
  const std::uint64_t from = k == 0 ? at : at - 4;
  const std::byte* p = fetch(from, static_cast<std::size_t>(at - from) + kHeadBytes, !seek_per_period());
  if (p == nullptr) cut(k);
  if (k > 0) check_trailer(p, k - 1, period_at(k - 1));
  const PeriodHead h = decode_head(p + (at - from), k, at);
  if (k == periods_ - 1) {
    const std::byte* last = fetch(period_at(periods_) - 4, 4, false);
    if (last == nullptr) cut(k);
    check_trailer(last, k, at);
  }
  return h;
}

void DatasetReader::scan(const std::function<void(std::int64_t, const PeriodHead&)>& each) {
  for (std::int64_t k = 0; k < periods_; ++k) each(k, head(k));
  check_end();
}

}  // namespace kestrel::dataset
