// --resume on a real run (two POSTFILEs, an included receptor file): what
// makes it convert again, and the datasets afterwards a clean conversion's.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "support.hpp"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

const std::string kElev = "FLATELEV_ELEV_STK_01H.PST.gdx";
const std::string kFlat = "FLATELEV_FLAT_STK_01H.PST.gdx";

std::map<std::string, test::Bytes> datasets(const fs::path& run) {
  std::map<std::string, test::Bytes> all;
  for (const auto& e : fs::directory_iterator(run)) {
    if (e.path().extension() == ".gdx") all[e.path().filename().string()] = test::read_bytes(e.path());
  }
  return all;
}

// A file's text changed by `edit`, its time stamp kept (as `cp -p` or an unpacked archive keeps it).
void edit(const fs::path& file, const std::function<void(std::string&)>& edit) {
  const auto stamp = fs::last_write_time(file);
  std::string text = test::read_text(file);
  edit(text);
  test::write_text(file, text);
  fs::last_write_time(file, stamp);
}

TEST(Resume, ConvertsAgainUnlessEveryDatasetIsProvedAsWritten) {
  const auto elev_line = [](const std::string& lead) {
    return [lead](const std::string& t) { return t.find(lead + kElev); };
  };
  const std::pair<const char*, std::function<void(const fs::path&)>> cases[] = {
      {"nothing changed", [](const fs::path&) {}},
      {"a dataset replaced by another's bytes of the same size and time",
       [](const fs::path& run) {
         const auto stamp = fs::last_write_time(run / kElev);
         // Removed first: MinGW's copy_file cannot overwrite.
         fs::remove(run / kElev);
         fs::copy_file(run / kFlat, run / kElev);
         fs::last_write_time(run / kElev, stamp);
       }},
      {"a run of another control file naming the same POSTFILEs converted since",
       [](const fs::path& run) {
         std::string other = test::read_text(run / "AERMOD.INP");
         test::write_text(run / "OTHER.INP", other.replace(other.find("AERMOD Test Case"), 16, "Another run's"));
         ASSERT_EQ(test::run_in(run, {"OTHER.INP"}).status, 0);
       }},
      {"a Dataset line removed",
       [&](const fs::path& run) {
         edit(run / "AERMOD.INP.kst", [&](std::string& t) {
           const std::size_t at = elev_line(" Dataset ")(t);
           t.erase(at, t.find('\n', at) - at + 1);
         });
       }},
      {"a CRC-32 line changed",
       [&](const fs::path& run) {
         edit(run / "AERMOD.INP.kst", [&](std::string& t) {
           char& digit = t[elev_line(" CRC-32 of ")(t) + 11 + kElev.size() + 2];
           digit = digit == '0' ? '1' : '0';
         });
       }},
      {"a control file with an old time stamp adding a POSTFILE",
       [](const fs::path& run) {
         fs::copy_file(run / "FLATELEV_FLAT_STK_01H.PST", run / "NEW_01H.PST");
         fs::last_write_time(run / "NEW_01H.PST", fs::last_write_time(run / "AERMOD.INP"));
         edit(run / "AERMOD.INP",
              [](std::string& t) { t.insert(t.find("OU FINISHED"), "OU POSTFILE 1 FLAT_STK UNFORM NEW_01H.PST\n"); });
       }},
  };
  for (const auto& [what, change] : cases) {
    SCOPED_TRACE(what);
    test::TempDir dir;
    const fs::path run = dir / "run";
    fs::copy(fs::path(KESTREL_TEST_DATA) / "flatelev-included" / "input", run);
    ASSERT_EQ(test::run_in(dir.path(), {"run"}).status, 0);
    auto clean = datasets(run);
    change(run);
    const test::RunResult r = test::run_in(dir.path(), {"--resume", "run"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.console.find("run: up to date") != std::string::npos, what == cases[0].first) << r.console;
    // A new POSTFILE of the same records gives the same bytes.
    if (fs::exists(run / "NEW_01H.PST")) clean["NEW_01H.PST.gdx"] = clean.at(kFlat);
    EXPECT_TRUE(datasets(run) == clean);
    EXPECT_NE(test::run_in(dir.path(), {"--resume", "run"}).console.find("run: up to date"), std::string::npos);
  }
}

}  // namespace
}  // namespace kestrel
