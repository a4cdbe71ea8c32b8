#include "io/record_io.hpp"

#include <gtest/gtest.h>

#include <array>

#include "io/byte_order.hpp"
#include "io/crc32.hpp"
#include "support.hpp"

namespace kestrel::io {
namespace {

using test::ByteBuilder;
using test::Bytes;

Bytes hex(std::initializer_list<int> v) {
  Bytes b;
  for (int x : v) b.push_back(static_cast<std::byte>(x));
  return b;
}

// zlib's values, whatever the length and however the bytes are split.
TEST(Crc32, AsZlibComputesIt) {
  const auto pattern = [](std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 256) % 251);
    return s;
  };
  const std::pair<std::string, std::uint32_t> cases[] = {
      {"", 0x00000000U},
      {"123456789", 0xCBF43926U},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339U},
      {std::string(1000, 'a'), 0x9A38DA03U},
      {pattern(100003), 0x4CE63FF7U},  // long enough to go in parts side by side
  };
  for (const auto& [text, want] : cases) {
    const auto bytes = std::as_bytes(std::span(text));
    for (const std::size_t split : {std::size_t{0}, std::size_t{5}, std::size_t{17}, std::size_t{50001}}) {
      Crc32 crc;
      const std::size_t at = std::min(split, bytes.size());
      crc.update(bytes.first(at));
      crc.update(bytes.subspan(at));
      EXPECT_EQ(crc.value(), want) << text.size() << " split at " << split;
    }
  }
}

TEST(RecordWriter, FramesOneRecordPerWrite) {
  MemorySink sink;
  RecordWriter w(sink);
  w.begin().i32(2).end();
  w.flush();
  EXPECT_EQ(sink.data, hex({4, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0}));

  MemorySink sink2;
  RecordWriter w2(sink2);
  w2.begin().text("CONC.DAT", 16).text("2.1", 16).text("x", 64).end();
  w2.flush();
  ASSERT_EQ(sink2.data.size(), 104U);
  EXPECT_EQ(get_i32(sink2.data.data()), 96);
  EXPECT_EQ(get_i32(sink2.data.data() + 100), 96);
  EXPECT_EQ(std::to_integer<char>(sink2.data[4 + 8]), ' ');
}

TEST(RecordWriter, EncodesEveryItemKind) {
  MemorySink sink;
  RecordWriter w(sink, 16);  // a tiny flush threshold: records still come out whole
  const std::array<float, 2> fs{1.0F, -2.0F};
  w.begin().f32(5.0F).f64(1.0).logical(true).logical(false).f32s(fs).end();
  w.begin().end();
  w.flush();
  const Bytes want = ByteBuilder()
                         .f32(5.0F)
                         .f64(1.0)
                         .i32(1)
                         .i32(0)
                         .f32(1.0F)
                         .f32(-2.0F)
                         .record()
                         .record()
                         .bytes();
  EXPECT_EQ(sink.data, want);
  EXPECT_EQ(get_le32(sink.data.data() + 4), 0x40A00000U);
}

TEST(RecordReader, ThreeOutcomes) {
  const Bytes file = ByteBuilder().i32(7).i32(8).record().i32(9).record().bytes();
  MemorySource src(file);
  RecordReader r(src, 8);  // smaller than a record: exercises refills
  std::array<std::byte, 8> two{};
  std::array<std::byte, 4> one{};

  EXPECT_EQ(r.read(one), ReadOutcome::ok);  // leftover bytes skipped
  EXPECT_EQ(get_i32(one.data()), 7);
  EXPECT_EQ(r.read(two), ReadOutcome::error);  // list longer than record
  EXPECT_EQ(get_i32(two.data()), 9);
  EXPECT_EQ(r.read(one), ReadOutcome::end_of_file);
  EXPECT_FALSE(r.ended_inside_record());

  r.rewind();
  EXPECT_EQ(r.read(two), ReadOutcome::ok);
  EXPECT_EQ(get_i32(two.data() + 4), 8);
  EXPECT_EQ(r.read(one), ReadOutcome::ok);
  EXPECT_EQ(get_i32(one.data()), 9);
}

TEST(RecordReader, DoublesReadAsFloatsButNotTheOtherWay) {
  const Bytes dbl = ByteBuilder().f64(5.0).record().bytes();
  const Bytes flt = ByteBuilder().f32(5.0F).record().bytes();
  std::array<std::byte, 8> eight{};
  std::array<std::byte, 4> four{};
  MemorySource s1(dbl);
  EXPECT_EQ(RecordReader(s1).read(four), ReadOutcome::ok);
  MemorySource s2(flt);
  EXPECT_EQ(RecordReader(s2).read(eight), ReadOutcome::error);
}

TEST(RecordReader, IncompleteOrCorruptFiles) {
  struct Case {
    const char* what;
    Bytes file;
    ReadOutcome second;
    bool inside;
  };
  const Bytes whole = ByteBuilder().i32(1).record().bytes();
  auto with = [&](Bytes tail) {
    Bytes b = whole;
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
  };
  const Case cases[] = {
      {"exact end", whole, ReadOutcome::end_of_file, false},
      {"stray bytes", with(hex({1, 2, 3})), ReadOutcome::end_of_file, true},
      {"cut in payload", with(hex({8, 0, 0, 0, 1, 2})), ReadOutcome::end_of_file, true},
      {"cut in trailing marker", with(hex({1, 0, 0, 0, 9, 1, 0})), ReadOutcome::end_of_file, true},
      {"2 GB marker", with(hex({0xff, 0xff, 0xff, 0x7f, 0, 0, 0, 0})), ReadOutcome::end_of_file, true},
      {"negative marker", with(hex({0xfe, 0xff, 0xff, 0xff, 0, 0, 0, 0})), ReadOutcome::error, false},
  };
  for (const auto& c : cases) {
    MemorySource src(c.file);
    RecordReader r(src);
    std::array<std::byte, 4> one{};
    EXPECT_EQ(r.read(one), ReadOutcome::ok) << c.what;
    EXPECT_EQ(r.read(one), c.second) << c.what;
    EXPECT_EQ(r.ended_inside_record(), c.inside) << c.what;
    EXPECT_EQ(r.read(one), ReadOutcome::end_of_file) << c.what;
  }
}

TEST(RecordIo, LargeRecordRoundTripThroughFiles) {
  test::TempDir dir;
  std::vector<float> values(30000);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>(i) * 0.5F;
  {
    FileSink sink(dir / "big.bin", "big");
    RecordWriter w(sink, 4096);
    for (int rec = 0; rec < 3; ++rec) w.begin().i32(rec).f32s(values).end();
    w.flush();
    sink.close();
  }
  FileSource src(dir / "big.bin", "big");
  RecordReader r(src, 1000);
  Bytes buf(4 + 4 * values.size());
  for (int rec = 0; rec < 3; ++rec) {
    ASSERT_EQ(r.read(buf), ReadOutcome::ok);
    EXPECT_EQ(get_i32(buf.data()), rec);
    EXPECT_EQ(get_f32(buf.data() + 4 + 4 * 29999), 14999.5F);
  }
  EXPECT_EQ(r.read(buf), ReadOutcome::end_of_file);
}

TEST(FileSink, CutsALongerExistingFileOnClose) {
  test::TempDir dir;
  test::write_bytes(dir / "d.bin", Bytes(1000, std::byte{0x55}));
  FileSink sink(dir / "d.bin", "d");
  RecordWriter w(sink);
  w.begin().i32(2).end();
  w.flush();
  sink.close();
  EXPECT_EQ(test::read_bytes(dir / "d.bin"), hex({4, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0}));
}

}  // namespace
}  // namespace kestrel::io
