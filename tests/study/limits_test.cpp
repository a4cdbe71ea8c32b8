// The program under the shell's limits: a file-size limit, a console pipe
// closed early and a low open-file limit each end in an exit status and
// whole files, never a death by signal.
#include <gtest/gtest.h>

#include "support.hpp"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32

constexpr const char* kDeck =
    "CO MODELOPT CONC\nRE DISCCART 1 2 3\nME STARTEND 88 1 1 88 1 2\nOU POSTFILE 1 ALL UNFORM POST.BIN\n";

// `script` run by the shell in `dir`, with $K the program.
test::RunResult shell(const fs::path& dir, const std::string& script) {
  return test::run_program("/bin/sh", {"-c", "K='" + std::string(KESTREL_BINARY) + "'; " + script}, dir);
}

void make_run(const fs::path& run, std::size_t records) {
  fs::create_directories(run);
  test::write_text(run / "AERMOD.INP", kDeck);
  test::write_bytes(run / "POST.BIN", test::many_records(records));
}

TEST(Limits, FileSizeLimitIsAWriteFailure) {
  test::TempDir tmp;
  make_run(tmp.path(), 20000);  // a dataset of about 2 MB
  const test::RunResult r = shell(tmp.path(), "ulimit -f 512; exec \"$K\"");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kestrel: cannot write dataset 'POST.BIN.gdx': File too large\n");
  EXPECT_FALSE(fs::exists(tmp / "POST.BIN.gdx"));
  EXPECT_FALSE(fs::exists(tmp / "POST.BIN.gdx.part"));
  const auto list = test::lines_of(test::read_text(tmp / "AERMOD.INP.kst"));
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(list.back(), " kestrel: cannot write dataset 'POST.BIN.gdx': File too large");
}

TEST(Limits, ClosedConsolePipeLeavesTheStudyConverting) {
  test::TempDir tmp;
  for (const char* run : {"a", "b", "c"}) make_run(tmp / run, 1000);
  // The reading end is gone before the program writes its first line.
  const test::RunResult r = shell(tmp.path(), "(\"$K\" a b c; echo $? >status) | exit 0");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(test::read_text(tmp / "status"), "0\n");
  for (const char* run : {"a", "b", "c"}) {
    EXPECT_NE(test::read_text(tmp / run / "AERMOD.INP.kst").find("\n NORMAL TERMINATION\n"), std::string::npos);
    EXPECT_TRUE(fs::exists(tmp / run / "POST.BIN.gdx")) << run;
  }
}

TEST(Limits, ManyThreadsUnderALowOpenFileLimit) {
  test::TempDir tmp;
  test::Bytes post;
  for (std::int32_t h = 1; h <= 3; ++h) {
    const test::Bytes rec = test::postfile_record(88010100 + h, {1.0});
    post.insert(post.end(), rec.begin(), rec.end());
  }
  std::string deck = kDeck;
  deck.replace(deck.find("88 1 1 88 1 2"), 13, "88 1 1 1 88 1 1 3");
  constexpr int kRuns = 2000;
  for (int i = 0; i < kRuns; ++i) {
    const fs::path run = tmp / "runs" / ("r" + std::to_string(10000 + i));
    fs::create_directories(run);
    test::write_text(run / "AERMOD.INP", deck);
    test::write_bytes(run / "POST.BIN", post);
  }
  const test::RunResult r = shell(tmp.path(), "ulimit -n 256 && exec \"$K\" -j 1024 runs/*");
  EXPECT_EQ(r.status, 0) << r.err.substr(0, 2000);
  EXPECT_EQ(r.err, "kestrel: -j 1024 is more than the open-file limit (256) allows; converting on 40 threads\n");
  EXPECT_NE(r.console.find("kestrel: 2000 runs: 2000 normal, 0 halted, 0 failed; 2000 datasets written"),
            std::string::npos);
}

#endif

}  // namespace
}  // namespace kestrel
