// A study of real runs interrupted at random moments: every run ends normally
// with all its datasets, interrupted, or not begun, whatever the moment, and
// --resume then gives every dataset as a clean study does.
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

const fs::path kData = KESTREL_TEST_DATA;

// Four runs of two real decks: six POSTFILE lines (one file shared by two)
// and two POSTFILEs with an included receptor file.
const std::vector<std::pair<std::string, std::string>> kRuns = {
    {"r1", "hrdow-shared"}, {"r2", "flatelev-included"}, {"r3", "hrdow-shared"}, {"r4", "flatelev-included"}};

bool is_output(const fs::path& p) {
  const auto ext = p.extension();
  return ext == ".gdx" || ext == ".kst" || ext == ".part";
}

void clear_outputs(const fs::path& root) {
  for (const auto& [run, deck] : kRuns) {
    for (const auto& e : fs::directory_iterator(root / run)) {
      if (is_output(e.path())) fs::remove(e.path());
    }
  }
}

// Every dataset of the study, by run, as bytes.
using Datasets = std::map<std::string, std::map<std::string, test::Bytes>>;
Datasets datasets(const fs::path& root) {
  Datasets all;
  for (const auto& [run, deck] : kRuns) {
    auto& mine = all[run];
    for (const auto& e : fs::directory_iterator(root / run)) {
      if (e.path().extension() == ".gdx") mine[e.path().filename().string()] = test::read_bytes(e.path());
    }
  }
  return all;
}

// The names of the datasets that differ from the clean study's, or are missing or extra.
std::vector<std::string> differing(const Datasets& got, const Datasets& want) {
  std::vector<std::string> names;
  for (const auto& [run, files] : want) {
    for (const auto& [name, bytes] : files) {
      const auto& mine = got.at(run);
      if (const auto it = mine.find(name); it == mine.end() || it->second != bytes) names.push_back(run + "/" + name);
    }
    for (const auto& [name, bytes] : got.at(run)) {
      if (!files.contains(name)) names.push_back(run + "/" + name + " (extra)");
    }
  }
  return names;
}

StudyOutcome study(const fs::path& root, std::vector<std::string> args) {
  for (const auto& [run, deck] : kRuns) args.push_back(run);
  std::ostringstream console, err;
  StudyCall call;
  call.install_handlers = false;  // signals noted by the test, as the Python package does
  call.progress = false;
  return run_study(args, root, console, err, call);
}

std::string last_line(const fs::path& list) {
  const auto lines = test::lines_of(test::read_text(list));
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    if (it->find_first_not_of(' ') != std::string::npos) return *it;
  }
  return "";
}

TEST(StudyInterrupt, EveryRunEndsTrulyWheneverTheSignalComes) {
  test::TempDir dir;
  for (const auto& [run, deck] : kRuns) {
    fs::create_directories(dir / run);
    for (const auto& e : fs::directory_iterator(kData / deck / "input")) fs::copy_file(e.path(), dir / run / e.path().filename());
  }
  clear_interrupt();
  const auto began = std::chrono::steady_clock::now();
  ASSERT_EQ(study(dir.path(), {"-j", "2"}).status, 0);
  const auto clean_time = std::chrono::steady_clock::now() - began;
  const auto clean = datasets(dir.path());

  std::mt19937 random(20270134);
  int interrupted = 0;
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    clear_outputs(dir.path());
    clear_interrupt();
    // Anywhere from before the first run begins to after the last ends.
    const auto at = clean_time * std::uniform_real_distribution<double>(0.0, 1.2)(random);
    std::thread signal([at] {
      std::this_thread::sleep_for(at);
      note_interrupt(SIGINT);
    });
    const StudyOutcome o = study(dir.path(), {"-j", "2"});
    signal.join();
    ASSERT_EQ(o.ends.size(), kRuns.size());
    const auto wrong = differing(datasets(dir.path()), clean);
    bool stopped = false;
    for (std::size_t i = 0; i < kRuns.size(); ++i) {
      const std::string& run = kRuns[i].first;
      const RunEnd& e = o.ends[i];
      const fs::path list = dir / run / "AERMOD.INP.kst";
      SCOPED_TRACE(run + ": " + e.text);
      switch (e.kind) {
        case RunKind::normal:
          EXPECT_EQ(last_line(list), " NORMAL TERMINATION");
          for (const std::string& w : wrong) EXPECT_FALSE(w.starts_with(run + "/")) << w;
          EXPECT_EQ(e.datasets, static_cast<std::int64_t>(clean.at(run).size()));
          break;
        case RunKind::interrupted:
          EXPECT_EQ(last_line(list), " kestrel: interrupted");
          stopped = true;
          break;
        case RunKind::not_begun:
          EXPECT_FALSE(fs::exists(list));
          stopped = true;
          break;
        default:
          ADD_FAILURE() << "an ending other than normal, interrupted or not begun";
      }
      for (const auto& e2 : fs::directory_iterator(dir / run)) EXPECT_NE(e2.path().extension(), ".part");
    }
    // A signal after the last run ended still ends the study so.
    EXPECT_TRUE(o.status == 128 + SIGINT || (o.status == 0 && !stopped)) << o.status;
    if (!stopped) continue;
    ++interrupted;
    clear_interrupt();
    const StudyOutcome resumed = study(dir.path(), {"-j", "2", "--resume"});
    EXPECT_EQ(resumed.status, 0);
    EXPECT_EQ(differing(datasets(dir.path()), clean), std::vector<std::string>{});
  }
  EXPECT_GT(interrupted, 0) << "no round was interrupted";
}

}  // namespace
}  // namespace kestrel
