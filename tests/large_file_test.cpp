// A POSTFILE past 4 GB converts like a small one: file positions are 64-bit
// on every system (a long is 32 bits on Windows). The file is sparse: five
// records of nearly 2 GB each (every record of a POSTFILE has one length),
// whose values the run reads from the front of each record and whose
// trailing markers it checks, the last past 8 GB.
#include <gtest/gtest.h>

#include <fstream>

#include "support.hpp"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

constexpr std::int32_t kHugePayload = 0x7fffff00;
const std::string kDeck = "CO MODELOPT CONC\nRE DISCCART 1 2 3\nME STARTEND 88 1 1 88 1 1\n"
                          "OU POSTFILE 1 ALL UNFORM POST.BIN\n";

void put(std::ofstream& out, std::uint64_t at, const Bytes& b) {
  out.seekp(static_cast<std::streamoff>(at));
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// Five one-value records; with `huge`, each padded to nearly 2 GB. Only the bytes that are not zero are written.
void write_postfile(const fs::path& p, bool huge) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  std::uint64_t at = 0;
  for (int k = 0; k < 5; ++k) {
    Bytes rec = test::postfile_record(88010101 + k, {1.5 * (k + 1)});
    if (!huge) {
      put(out, at, rec);
      at += rec.size();
      continue;
    }
    const Bytes marker{std::byte{0x00}, std::byte{0xff}, std::byte{0xff}, std::byte{0x7f}};  // kHugePayload
    std::copy(marker.begin(), marker.end(), rec.begin());
    rec.resize(rec.size() - 4);
    put(out, at, rec);
    at += 4 + static_cast<std::uint64_t>(kHugePayload);
    put(out, at, marker);
    at += 4;
  }
  ASSERT_TRUE(out.good());
}

TEST(LargeFile, PostfilePast4GBConvertsLikeASmallOne) {
  test::TempDir tmp;
  std::error_code ec;
  const auto space = fs::space(tmp.path(), ec);
  if (ec || space.available < (std::uint64_t{8} << 30)) GTEST_SKIP() << "less than 8 GB free for a sparse 10 GB file";
  for (const bool huge : {false, true}) {
    const fs::path run = tmp / (huge ? "huge" : "small");
    fs::create_directory(run);
    test::write_text(run / "AERMOD.INP", kDeck);
    write_postfile(run / "POST.BIN", huge);
    const test::RunResult r = test::run_program(KESTREL_BINARY, {}, run);
    EXPECT_EQ(r.status, 0) << r.err;
  }
  EXPECT_GT(fs::file_size(tmp / "huge" / "POST.BIN"), std::uint64_t{10'000'000'000});
  const Bytes small = test::read_bytes(tmp / "small" / "POST.BIN.gdx");
  EXPECT_EQ(test::first_difference(test::read_bytes(tmp / "huge" / "POST.BIN.gdx"), small), "");
  fs::remove(tmp / "huge" / "POST.BIN", ec);
}

}  // namespace
}  // namespace kestrel
