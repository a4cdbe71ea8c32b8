#include "support.hpp"

#include <cstdlib>

#include "base/free_line.hpp"

#include <atomic>
#include <bit>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "dataset/header.hpp"
#include "app/driver.hpp"

namespace kestrel::test {

void RecordingReport::warn(std::string_view text) {
  note(free_line(text));
  err.append(text).append("\n");
}


TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device rd;
  path_ = std::filesystem::temp_directory_path() /
          ("kestrel-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

Bytes read_bytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Bytes b(s.size());
  if (!s.empty()) std::memcpy(b.data(), s.data(), s.size());
  return b;
}

std::string read_text(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {(std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()};
}

void write_bytes(const std::filesystem::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

void write_text(const std::filesystem::path& p, std::string_view s) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(s.data(), static_cast<std::streamsize>(s.size()));
}

namespace {
void put32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::byte>(v >> (8 * i)));
}
}  // namespace

ByteBuilder& ByteBuilder::i32(std::int32_t v) {
  put32(pending_, static_cast<std::uint32_t>(v));
  return *this;
}
ByteBuilder& ByteBuilder::f32(float v) {
  put32(pending_, std::bit_cast<std::uint32_t>(v));
  return *this;
}
ByteBuilder& ByteBuilder::f64(double v) {
  const auto u = std::bit_cast<std::uint64_t>(v);
  put32(pending_, static_cast<std::uint32_t>(u));
  put32(pending_, static_cast<std::uint32_t>(u >> 32));
  return *this;
}
ByteBuilder& ByteBuilder::text(std::string_view s) {
  for (char c : s) pending_.push_back(static_cast<std::byte>(c));
  return *this;
}
ByteBuilder& ByteBuilder::text(std::string_view s, std::size_t width) {
  std::string t(s.substr(0, width));
  t.resize(width, ' ');
  return text(t);
}
ByteBuilder& ByteBuilder::raw(const Bytes& b) {
  pending_.insert(pending_.end(), b.begin(), b.end());
  return *this;
}
ByteBuilder& ByteBuilder::record() {
  put32(out_, static_cast<std::uint32_t>(pending_.size()));
  out_.insert(out_.end(), pending_.begin(), pending_.end());
  put32(out_, static_cast<std::uint32_t>(pending_.size()));
  pending_.clear();
  return *this;
}

Bytes postfile_record(std::int32_t kurdat, std::vector<double> values, bool real8, std::int32_t kave,
                      std::string_view grpid) {
  ByteBuilder b;
  b.i32(kurdat).i32(kave).text(grpid, 8);
  for (double v : values) {
    if (real8) {
      b.f64(v);
    } else {
      b.f32(static_cast<float>(v));
    }
  }
  return b.record().bytes();
}

RunResult run_in(const std::filesystem::path& dir, std::vector<std::string> args) {
  std::ostringstream console;
  std::ostringstream err;
  RunResult r;
  r.status = kestrel::run(args, dir, console, err);
  r.console = console.str();
  r.err = err.str();
  return r;
}

void set_env(const char* name, const char* value) {
#if defined(_WIN32)
  _putenv_s(name, value);
#else
  if (*value == '\0') {
    unsetenv(name);
  } else {
    setenv(name, value, 1);
  }
#endif
}

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) nl = text.size();
    out.emplace_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return out;
}

std::string first_difference(const Bytes& got, const Bytes& want) {
  const std::size_t n = std::min(got.size(), want.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (got[i] != want[i]) {
      std::ostringstream s;
      s << "first difference at byte " << i << ": got " << std::to_integer<int>(got[i]) << ", want "
        << std::to_integer<int>(want[i]);
      return s.str();
    }
  }
  if (got.size() != want.size()) {
    return "sizes differ: got " + std::to_string(got.size()) + ", want " + std::to_string(want.size());
  }
  return "";
}

// The header item by item, each field where a reader expects it.
Bytes expected_header(const dataset::HeaderArgs& a) {
  ByteBuilder b;
  b.text("CONC.DAT", 16).text("2.1", 16).text("No-Obs file structure with embedded control file", 64).record();
  b.i32(2).record();
  b.text("Produced by KESTREL Version: 1.21  Level: 100301", 132).record();
  b.text("NO Internal Coordinate Transformations", 132).record();
  b.text("AERMOD", 12).text("00000", 12).text("00000", 12);
  b.i32(a.iyrb).i32(a.ijulb).i32(a.ihrb).i32(0).f32(5.0F).i32(a.irlg).i32(1).i32(3600).i32(2).i32(2);
  b.f32(a.dxkm).f32(a.dxkm).i32(1).f32(a.xorigkm).f32(a.yorigkm).i32(1);
  b.i32(1).i32(2).i32(1).i32(2);  // computational grid: columns, then rows
  b.i32(1).i32(1).i32(2).i32(2);  // sampling grid: first column, first row, last column, last row
  b.i32(1).i32(1).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0);
  b.i32(static_cast<std::int32_t>(a.xrec.size())).i32(0).i32(0).i32(1).i32(0).i32(1).i32(19);
  b.f32(0.0F).f32(0.0F).f32(40.0F).f32(-97.0F).f32(33.0F).f32(45.0F);
  b.text("UTM", 8).text("N", 4).text("WGS-84", 8).text("02-21-2003", 12);
  b.text("40.0 N", 16).text("97.0 W", 16).text("33.0 N", 16).text("45.0 N", 16).record();
  b.text(a.atitle[0]).text(a.atitle[1]);
  b.text("Conversion Factor to g/m3:" + std::string(11, ' ') + "0.1000000E-05" + std::string(30, ' ')).record();
  b.text(a.speclev).record();
  if (!a.xrec.empty()) {
    for (float v : a.xrec) b.f32(v);
    for (float v : a.yrec) b.f32(v);
    for (float v : a.zrec) b.f32(v);
    b.record();
  }
  b.i32(1).text(a.csrcnam).record();
  return b.bytes();
}

}  // namespace kestrel::test
