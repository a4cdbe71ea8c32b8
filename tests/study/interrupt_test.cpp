// A study of real runs interrupted at random moments: every run ends normally
// with all its datasets, interrupted, or not begun, and --resume then gives
// every dataset as a clean study does.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "base/interrupt.hpp"
#include "study/study.hpp"
#include "support.hpp"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

// Two decks: six POSTFILE lines (two sharing a file); two POSTFILEs and an included receptor file.
const std::vector<std::pair<std::string, std::string>> kRuns = {
    {"r1", "hrdow-shared"}, {"r2", "flatelev-included"}, {"r3", "hrdow-shared"}, {"r4", "flatelev-included"}};

using Datasets = std::map<std::string, test::Bytes>;  // run/name: bytes

Datasets outputs(const fs::path& root, bool remove) {
  Datasets all;
  for (const auto& [run, deck] : kRuns) {
    for (const auto& e : fs::directory_iterator(root / run)) {
      const auto ext = e.path().extension();
      if (remove && (ext == ".gdx" || ext == ".kst")) fs::remove(e.path());
      if (!remove && ext == ".gdx") all[run + "/" + e.path().filename().string()] = test::read_bytes(e.path());
    }
  }
  return all;
}

StudyOutcome study(const fs::path& root, std::vector<std::string> args) {
  for (const auto& [run, deck] : kRuns) args.push_back(run);
  std::ostringstream console, err;
  StudyCall call;
  call.install_handlers = false;  // signals noted by the caller, as the Python package does
  call.progress = false;
  return run_study(args, root, console, err, call);
}

TEST(StudyInterrupt, EveryRunEndsTrulyWheneverTheSignalComes) {
  test::TempDir dir;
  for (const auto& [run, deck] : kRuns) {
    fs::copy(fs::path(KESTREL_TEST_DATA) / deck / "input", dir / run);
  }
  clear_interrupt();
  const auto began = std::chrono::steady_clock::now();
  ASSERT_EQ(study(dir.path(), {"-j", "2"}).status, 0);
  const auto clean_time = std::chrono::steady_clock::now() - began;
  const Datasets clean = outputs(dir.path(), false);

  std::mt19937 random(20270134);
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    outputs(dir.path(), true);
    clear_interrupt();
    // From before the first run begins to after the last ends.
    std::thread signal([at = clean_time * std::uniform_real_distribution<double>(0.0, 1.2)(random)] {
      std::this_thread::sleep_for(at);
      note_interrupt(SIGINT);
    });
    const StudyOutcome o = study(dir.path(), {"-j", "2"});
    signal.join();
    const Datasets got = outputs(dir.path(), false);
    bool stopped = false;
    for (std::size_t i = 0; i < kRuns.size(); ++i) {
      const std::string run = kRuns[i].first;
      SCOPED_TRACE(run + ": " + o.ends.at(i).text);
      const fs::path list = dir / run / "AERMOD.INP.kst";
      const auto lines = fs::exists(list) ? test::lines_of(test::read_text(list)) : std::vector<std::string>{};
      const RunKind kind = o.ends.at(i).kind;
      if (kind == RunKind::normal) {
        ASSERT_GE(lines.size(), 2U);
        EXPECT_EQ(lines[lines.size() - 2], " NORMAL TERMINATION");
        for (const auto& [name, bytes] : clean) {
          if (name.starts_with(run + "/")) {
            EXPECT_TRUE(got.contains(name) && got.at(name) == bytes) << name;
          }
        }
      } else {
        EXPECT_TRUE(kind == RunKind::interrupted || kind == RunKind::not_begun);
        EXPECT_EQ(lines.empty() ? "" : lines.back(), kind == RunKind::interrupted ? " kestrel: interrupted" : "");
        stopped = true;
      }
    }
    // A signal after the last run ended still ends the study so.
    EXPECT_TRUE(o.status == 128 + SIGINT || (o.status == 0 && !stopped)) << o.status;
    if (!stopped) continue;
    clear_interrupt();
    EXPECT_EQ(study(dir.path(), {"-j", "2", "--resume"}).status, 0);
    EXPECT_TRUE(outputs(dir.path(), false) == clean);
  }
}

}  // namespace
}  // namespace kestrel
