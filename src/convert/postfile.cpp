#include "convert/postfile.hpp"

#include <algorithm>
#include <cmath>

#include "convert/scale.hpp"
#include "io/byte_order.hpp"
#include "base/free_line.hpp"
#include "base/text.hpp"

namespace kestrel {

using io::get_f32;
using io::get_f64;
using io::get_i32;
using io::put_f32;

namespace {
constexpr std::size_t kHead = 16;  // kurdat, kave, grpid
}

Stamp decode_kurdat(std::int32_t kurdat) noexcept {
  Stamp s;
  s.iyr = kurdat / 1000000;
  s.imo = kurdat / 10000 - 100 * s.iyr;
  s.idy = kurdat / 100 - 10000 * s.iyr - 100 * s.imo;
  s.ihr = kurdat - 1000000 * s.iyr - 10000 * s.imo - 100 * s.idy;
  if (s.iyr >= 50 && s.iyr < 900) {
    s.iyr += 1900;
  } else if (s.iyr < 50) {
    s.iyr += 2000;
  }
  return s;
}

std::size_t PostfileReader::buffer_for(std::size_t nrecin, std::size_t numtyp) noexcept {
  return std::max(io::RecordReader::kDefaultBuffer,
                  2 * (kHead + 8 * numtyp * nrecin + 8));
}

PostfileReader::PostfileReader(io::ByteSource& source, std::size_t nrecin, std::string name,
                               std::span<std::byte> buffer, std::size_t numtyp)
    : reader_(source, buffer), nrecin_(nrecin), numtyp_(numtyp), name_(std::move(name)) {}

PostfileReader::PostfileReader(io::ByteSource& source, std::size_t nrecin, std::string name, std::size_t numtyp)
    // Room for two records at least; no more than the file when it is small.
    : reader_(source, std::max(std::min<std::uint64_t>(io::RecordReader::kDefaultBuffer, source.size() + 8),
                               2 * (kHead + 8 * std::uint64_t{numtyp} * nrecin + 8))),
      nrecin_(nrecin),
      numtyp_(numtyp),
      name_(std::move(name)) {}

std::size_t PostfileReader::need() const noexcept {
  return kHead + (lreal8_ ? 8U : 4U) * numtyp_ * nrecin_;
}

PostfileReader::Result PostfileReader::next() {
  if (done_) return Result::end_of_file;
  for (;;) {
    const std::uint64_t offset = reader_.position();
    if (offset == 0) {
      k_ = 0;
      // A formatted file begins with AERMOD's '*' header: no length marker
      // ever does (it would claim over a gigabyte).
      std::byte first[1];
      if (reader_.source_size() > 0 && reader_.peek(first) && first[0] == std::byte{'*'}) {
        formatted_ = true;
        ++k_;
        return damage(0);
      }
    }
    ++k_;
    std::int64_t length = 0;
    const io::Frame frame = reader_.frame(length);
    switch (frame) {
      case io::Frame::end:
        done_ = true;
        return Result::end_of_file;
      case io::Frame::stub:
        return cut_short();
      case io::Frame::cut:
        if (k_ == 1 || length == l1_) return cut_short();
        return damage(offset);
      case io::Frame::negative:
      case io::Frame::bad_trailer:
        return damage(offset);
      case io::Frame::whole:
        break;
    }
    if (k_ == 1) l1_ = length;
    if (length != l1_) return damage(offset);
    const std::size_t n = need();
    if (length < static_cast<std::int64_t>(n)) {
      if (k_ == 1 && lreal8_) {
        // Too short for 8-byte reals: a POSTFILE of 4-byte reals.
        lreal8_ = false;
        reader_.rewind();
        continue;
      }
      return damage(offset);
    }
    // The record is converted where it lies in the reader's buffer.
    // Read as 4-byte reals, the whole record is looked at until one decides.
    const bool check = !lreal8_ && undecided_;
    const std::size_t want =
        check ? std::min(static_cast<std::size_t>(length), reader_.buffer_size() - 4) : n;
    raw_ = reader_.take(want);
    if (raw_.size() != want) return cut_short();  // the file shrank while it was read
    if (check && holds_8byte_reals(offset)) return Result::failure;
    raw_ = raw_.first(n);
    longer_ = length > static_cast<std::int64_t>(n);
    return Result::record;
  }
}

namespace {

// What AERMOD writes: finite, non-negative and far from float's limits.
bool plausible(double v) { return std::isfinite(v) && v >= 0 && v <= 1e30; }

}  // namespace

bool PostfileReader::holds_8byte_reals(std::uint64_t offset) {
  // A record of 8-byte reals that is too short for the control file's
  // receptors also fits as 4-byte reals, and reads as nonsense: the low
  // halves of the doubles come out as floats of any sign and size. Records
  // of zeros read the same either way, so the first one with a value
  // decides.
  const auto values = raw_.subspan(kHead);
  if (std::all_of(values.begin(), values.end(), [](std::byte b) { return b == std::byte{0}; })) return false;
  undecided_ = false;
  if (values.size() % 8 != 0) return false;
  bool floats_fit = true;
  for (std::size_t i = 0; i + 4 <= values.size() && floats_fit; i += 4) floats_fit = plausible(get_f32(&values[i]));
  if (floats_fit) return false;
  for (std::size_t i = 0; i < values.size(); i += 8) {
    if (!plausible(get_f64(&values[i]))) return false;
  }
  misread_ = values.size() / 8;
  failed_k_ = k_;
  failed_at_ = offset;
  done_ = true;
  return true;
}

PostfileReader::Result PostfileReader::damage(std::uint64_t offset) {
  failed_k_ = k_;
  failed_at_ = offset;
  done_ = true;
  return Result::failure;
}

PostfileReader::Result PostfileReader::cut_short() {
  ended_inside_ = true;
  done_ = true;
  return Result::end_of_file;
}

std::vector<std::string> PostfileReader::retry_notes() const {
  if (lreal8_) return {};
  return {free_line("ERROR reading AERMOD file as R*8: " + name_), free_line("Retry as R*4")};
}

Status PostfileReader::failure() const {
  if (misread_ != 0) {
    constexpr std::string_view msg =
        "Halted in COMP:  the POSTFILE's records fit the control file only as 4-byte reals, but they hold 8-byte reals";
    return Status::halt(std::string(msg), false)
        .line(free_line(msg))
        .line(free_line(name_ + ": the control file names " + count_of(nrecin_, "receptor") + " x " +
                        count_of(numtyp_, "output type") + "; record " + std::to_string(failed_k_) +
                        " at byte " + std::to_string(failed_at_) + " holds " +
                        count_of(misread_, "value") + " as 8-byte reals"));
  }
  const std::string msg = lreal8_ ? "ERROR reading AERMOD file as R*8" : "ERROR reading AERMOD file as R*4";
  Status s = Status::halt(msg, false)
                 .line(free_line(msg + ": " + name_))
                 .line(free_line("Record " + std::to_string(failed_k_) + " at byte " + std::to_string(failed_at_) +
                                 " cannot be read"));
  if (formatted_) s.line(free_line(name_ + " is a formatted (PLOT) POSTFILE; its POSTFILE line says UNFORM"));
  return s;
}

std::int32_t PostfileReader::kurdat() const noexcept { return get_i32(raw_.data()); }
std::int32_t PostfileReader::kave() const noexcept { return get_i32(raw_.data() + 4); }
std::string_view PostfileReader::grpid() const noexcept {
  return {reinterpret_cast<const char*>(raw_.data() + 8), 8};
}

void PostfileReader::convert_into(std::byte* out, float factor, std::size_t slice) const noexcept {
  const std::byte* in = raw_.data() + kHead + (lreal8_ ? 8U : 4U) * slice * nrecin_;
  scale_values(in, nrecin_, lreal8_, factor, out);
}

std::vector<float> PostfileReader::values(float factor, std::size_t slice) const {
  std::vector<std::byte> bytes(4 * nrecin_);
  convert_into(bytes.data(), factor, slice);
  std::vector<float> out(bytes.size() / 4);
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = get_f32(bytes.data() + 4 * i);
  return out;
}

}  // namespace kestrel
