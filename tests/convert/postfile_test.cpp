#include "convert/postfile.hpp"

#include <gtest/gtest.h>

#include <cstring>

#include "base/text.hpp"
#include "support.hpp"

namespace kestrel {
namespace {

using test::Bytes;

TEST(DecodeKurdat, StampsAndCenturyWindow) {
  struct Case {
    std::int32_t kurdat;
    Stamp want;
  };
  const Case cases[] = {
      {88010124, {1988, 1, 1, 24}}, {2008123124, {2008, 12, 31, 24}}, {49123101, {2049, 12, 31, 1}},
      {51010101, {1951, 1, 1, 1}},  {50010101, {1950, 1, 1, 1}},      {99123124, {1999, 12, 31, 24}},
      {1010101, {2001, 1, 1, 1}},   {88130101, {1988, 13, 1, 1}},
  };
  for (const auto& c : cases) {
    const Stamp s = decode_kurdat(c.kurdat);
    EXPECT_EQ(s.iyr, c.want.iyr) << c.kurdat;
    EXPECT_EQ(s.imo, c.want.imo) << c.kurdat;
    EXPECT_EQ(s.idy, c.want.idy) << c.kurdat;
    EXPECT_EQ(s.ihr, c.want.ihr) << c.kurdat;
  }
}

struct Read {
  std::vector<std::vector<float>> values;
  std::vector<bool> real8;
  std::string list;
  Status halt;
  bool failed = false;
};

Read read_all(const Bytes& file, std::size_t nrecin) {
  Read r;
  io::MemorySource src(file);
  PostfileReader reader(src, nrecin, "POST.BIN");
  for (;;) {
    const auto res = reader.next();
    if (res == PostfileReader::Result::end_of_file) break;
    if (res == PostfileReader::Result::failure) {
      r.failed = true;
      r.halt = reader.failure();
      break;
    }
    r.values.push_back(reader.values());
    r.real8.push_back(reader.real8());
  }
  for (const auto& l : reader.retry_notes()) r.list += l + "\n";
  for (const auto& l : r.halt.lines()) r.list += l + "\n";
  return r;
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes text_bytes(std::string_view s) {
  Bytes b(s.size());
  std::memcpy(b.data(), s.data(), s.size());
  return b;
}

TEST(PostfileReader, EightByteFileReadsWithoutRetry) {
  const Read r = read_all(concat({test::postfile_record(88010101, {5.0, 0.1}),
                                  test::postfile_record(88010102, {1.0e-3, 7.0})}),
                          2);
  ASSERT_EQ(r.values.size(), 2U);
  EXPECT_EQ(r.values[0], (std::vector<float>{5.0F * 1.0e-6F, 0.1F * 1.0e-6F}));
  EXPECT_EQ(r.values[1][1], 7.0F * 1.0e-6F);
  EXPECT_EQ(r.real8, (std::vector<bool>{true, true}));
  EXPECT_EQ(r.list, "");
}

TEST(PostfileReader, ValueRoundsToFloatBeforeScaling) {
  // 0.1 as a double, rounded to float and then scaled, differs in the last
  // bit from the double scaled and rounded once.
  const double v = 0.30000001192092896 + 1.0e-17;
  const Read r = read_all(test::postfile_record(88010101, {v}), 1);
  EXPECT_EQ(r.values[0][0], static_cast<float>(v) * 1.0e-6F);
}

TEST(PostfileReader, FourByteFileIsReadAgainFromItsStart) {
  const Read r = read_all(concat({test::postfile_record(88010101, {5.0, 0.1}, false),
                                  test::postfile_record(88010102, {1.0, 2.0}, false)}),
                          2);
  ASSERT_EQ(r.values.size(), 2U);
  EXPECT_EQ(r.values[0][0], 5.0e-6F);
  EXPECT_EQ(r.real8, (std::vector<bool>{false, false}));
  EXPECT_EQ(r.list, " ERROR reading AERMOD file as R*8: POST.BIN\n Retry as R*4\n");
}

// What each kind of damage or cut leaves: the records before it, and the
// lines of the halt (or none, for a file cut short at its end).
TEST(PostfileReader, DamageAndCuts) {
  const Bytes r8 = test::postfile_record(88010101, {1.0, 2.0});
  const Bytes r4 = test::postfile_record(88010101, {1.0, 2.0}, false);
  const auto with = [](Bytes b, std::size_t at, std::int32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::byte>(static_cast<std::uint32_t>(v) >> (8 * i));
    return b;
  };
  const auto cut = [](Bytes b, std::size_t n) {
    b.resize(b.size() - n);
    return b;
  };
  const std::string e8 = " ERROR reading AERMOD file as R*8: POST.BIN\n";
  const std::string e4 = " ERROR reading AERMOD file as R*4: POST.BIN\n";
  const std::string retry = e8 + " Retry as R*4\n";
  const auto at = [](int k, std::size_t o) {
    return " Record " + std::to_string(k) + " at byte " + std::to_string(o) + " cannot be read\n";
  };
  const auto n8 = r8.size();
  const auto n4 = r4.size();
  struct Case {
    const char* what;
    Bytes file;
    std::size_t records;
    std::string list;  // empty: no halt
    bool cut = false;
  };
  const std::vector<Case> cases = {
      {"eight zero bytes after the records", concat({r8, r8, Bytes(8)}), 2, e8 + at(3, 2 * n8)},
      {"a negative marker in the sixth record", concat({r8, r8, r8, r8, r8, with(r8, 0, -8)}), 5, e8 + at(6, 5 * n8)},
      {"a marker that claims the rest of the file", concat({r8, with(r8, 0, 40), r8}), 1, e8 + at(2, n8)},
      {"a marker past the end, unlike the first", concat({r8, with(r8, 0, 1000)}), 1, e8 + at(2, n8)},
      {"a trailing marker unlike the leading one", concat({r8, with(r8, n8 - 4, 33)}), 1, e8 + at(2, n8)},
      {"4-byte records after 8-byte ones", concat({r8, r8, r4}), 2, e8 + at(3, 2 * n8)},
      {"damage in a 4-byte file", concat({r4, r4, Bytes(3), r4}), 2, retry + e4 + at(3, 2 * n4)},
      {"a first record too short for both modes", test::postfile_record(88010101, {1.0}, false), 0,
       retry + e4 + at(1, 0)},
      {"a negative first marker", concat({with(r8, 0, -40), r8}), 0, e8 + at(1, 0)},
      {"a formatted file", text_bytes("* AERMOD ( 24142): x\n*   X   Y\n"), 0,
       e8 + at(1, 0) + " POST.BIN is a formatted (PLOT) POSTFILE; its POSTFILE line says UNFORM\n"},
      {"three stray bytes at the end", concat({r8, Bytes(3)}), 1, "", true},
      {"a last record cut short", concat({r8, cut(r8, 5)}), 1, "", true},
      {"an only record cut short", cut(r8, 1), 0, "", true},
      {"a 4-byte file cut short", concat({r4, cut(r4, 2)}), 1, retry, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Read r = read_all(c.file, 2);
    EXPECT_EQ(r.values.size(), c.records);
    EXPECT_EQ(r.failed, !c.list.empty() && c.list != retry);
    EXPECT_EQ(r.list, c.list);
    if (r.failed) {
      EXPECT_EQ(r.halt.text(), c.list.find(e4) != std::string::npos ? "ERROR reading AERMOD file as R*4"
                                                                    : "ERROR reading AERMOD file as R*8");
    }
    io::MemorySource src(c.file);
    PostfileReader reader(src, 2, "POST.BIN");
    while (reader.next() == PostfileReader::Result::record) {
    }
    EXPECT_EQ(reader.ended_inside_record(), c.cut);
  }
}


// Records of 8-byte reals too short for the control file's receptors fit as
// 4-byte reals; the values decide which they hold.
TEST(PostfileReader, EightByteRealsTooFewForTheReceptors) {
  const std::string misread =
      " ERROR reading AERMOD file as R*8: POST.BIN\n Retry as R*4\n"
      " Halted in COMP:  the POSTFILE's records fit the control file only as 4-byte reals, but they hold 8-byte "
      "reals\n";
  const Bytes zeros = test::postfile_record(88010101, {0.0, 0.0});
  const Bytes real = test::postfile_record(88010102, {753.65603, 0.0123456789});
  struct Case {
    const char* what;
    Bytes file;
    std::size_t nrecin;
    std::size_t records;  // converted before the halt, or in all
    std::string detail;   // the halt's last line; empty: the file converts
  };
  const std::vector<Case> cases = {
      {"twice the receptors", real, 4, 0, "record 1 at byte 0 holds 2 values"},
      {"a third more receptors", real, 3, 0, "record 1 at byte 0 holds 2 values"},
      {"a record of zeros first", concat({zeros, real}), 4, 1, "record 2 at byte 40 holds 2 values"},
      {"4-byte reals", concat({test::postfile_record(88010101, {753.65603, 0.0123, 1.0, 2.5}, false)}), 4, 1, ""},
      {"4-byte zeros, then values", concat({test::postfile_record(88010101, {0, 0, 0, 0}, false),
                                            test::postfile_record(88010102, {1e-3, 5.0, 7e4, 0}, false)}),
       4, 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Read r = read_all(c.file, c.nrecin);
    EXPECT_EQ(r.values.size(), c.records);
    EXPECT_EQ(r.failed, !c.detail.empty());
    if (c.detail.empty()) continue;
    EXPECT_EQ(r.halt.text(), std::string(r.halt.message()));
    EXPECT_EQ(r.list, misread + " POST.BIN: the control file names " + std::to_string(c.nrecin) +
                          " receptors x 1 output type; " + c.detail + " as 8-byte reals\n");
  }
}

}  // namespace
}  // namespace kestrel
