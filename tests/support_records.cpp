// Records for the tests: little-endian items framed by hand, POSTFILE
// records built and taken apart.
#include <bit>

#include "io/byte_order.hpp"
#include "support.hpp"

namespace kestrel::test {

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

std::vector<Bytes> records(const Bytes& b) {
  std::vector<Bytes> out;
  for (std::size_t i = 0; i + 4 <= b.size();) {
    const auto n = static_cast<std::size_t>(io::get_i32(b.data() + i));
    out.emplace_back(b.begin() + static_cast<std::ptrdiff_t>(i + 4), b.begin() + static_cast<std::ptrdiff_t>(i + 4 + n));
    i += n + 8;
  }
  return out;
}

std::vector<PostfileFields> postfile_fields(const Bytes& postfile) {
  std::vector<PostfileFields> out;
  for (const Bytes& r : records(postfile)) {
    PostfileFields f;
    f.kurdat = io::get_i32(r.data());
    f.kave = io::get_i32(r.data() + 4);
    f.grpid.assign(reinterpret_cast<const char*>(r.data() + 8), 8);
    for (std::size_t i = 16; i + 8 <= r.size(); i += 8) f.values.push_back(io::get_f64(r.data() + i));
    out.push_back(std::move(f));
  }
  return out;
}

Bytes postfile_of(const std::vector<PostfileFields>& records) {
  Bytes b;
  for (const PostfileFields& f : records) {
    const Bytes r = postfile_record(f.kurdat, f.values, true, f.kave, f.grpid);
    b.insert(b.end(), r.begin(), r.end());
  }
  return b;
}

void patch_i32(Bytes& b, std::size_t offset, std::int32_t v) { io::put_i32(b.data() + offset, v); }
void patch_f32(Bytes& b, std::size_t offset, float v) { io::put_f32(b.data() + offset, v); }

Bytes many_records(std::size_t n) {
  Bytes post;
  const Bytes rec = postfile_record(88010101, {1.0});
  post.reserve(rec.size() * n);
  for (std::size_t i = 0; i < n; ++i) post.insert(post.end(), rec.begin(), rec.end());
  return post;
}

}  // namespace kestrel::test
