// --resume on a real run (two POSTFILEs, an included receptor file): what
// makes it convert again and what leaves the run up to date, the datasets
// afterwards always the bytes a clean conversion writes.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "base/text.hpp"
#include "support.hpp"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

const fs::path kData = KESTREL_TEST_DATA;
const std::string kElev = "FLATELEV_ELEV_STK_01H.PST.gdx";
const std::string kFlat = "FLATELEV_FLAT_STK_01H.PST.gdx";

std::map<std::string, test::Bytes> datasets(const fs::path& run) {
  std::map<std::string, test::Bytes> all;
  for (const auto& e : fs::directory_iterator(run)) {
    if (e.path().extension() == ".gdx") all[e.path().filename().string()] = test::read_bytes(e.path());
  }
  return all;
}

// The list file with each line for which `edit` gives nullopt removed and the others replaced.
void edit_list(const fs::path& run, const std::function<std::optional<std::string>(const std::string&)>& edit) {
  std::string text;
  for (const std::string& l : test::lines_of(test::read_text(run / "AERMOD.INP.kst"))) {
    if (const auto kept = edit(l)) text += *kept + "\n";
  }
  const auto stamp = fs::last_write_time(run / "AERMOD.INP.kst");
  test::write_text(run / "AERMOD.INP.kst", text);
  fs::last_write_time(run / "AERMOD.INP.kst", stamp);
}

// The control file changed as a newer version would, its time stamp kept as
// `cp -p` or an unpacked archive keeps it: `line` added to its OU pathway.
void add_to_control(const fs::path& run, const std::string& line) {
  const fs::path control = run / "AERMOD.INP";
  const auto stamp = fs::last_write_time(control);
  std::string text = test::read_text(control);
  text.insert(text.find("OU FINISHED"), line + "\n");
  test::write_text(control, text);
  fs::last_write_time(control, stamp);
}

TEST(Resume, ConvertsAgainUnlessEveryDatasetIsProvedAsWritten) {
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> change;
    bool converted;
  };
  const Case cases[] = {
      {"nothing changed", [](const fs::path&) {}, false},
      {"a dataset replaced by another's bytes of the same size and time",
       [](const fs::path& run) {
         const auto stamp = fs::last_write_time(run / kElev);
         fs::copy_file(run / kFlat, run / kElev, fs::copy_options::overwrite_existing);
         fs::last_write_time(run / kElev, stamp);
       },
       true},
      {"a run of another control file naming the same POSTFILEs converted since",
       [](const fs::path& run) {
         std::string other = test::read_text(run / "AERMOD.INP");
         other.replace(other.find("AERMOD Test Case"), 16, "Another run's");
         test::write_text(run / "OTHER.INP", other);
         ASSERT_EQ(test::run_in(run, {"OTHER.INP"}).status, 0);
       },
       true},
      {"a Dataset line removed",
       [](const fs::path& run) {
         edit_list(run, [](const std::string& l) -> std::optional<std::string> {
           if (l.starts_with(" Dataset " + kElev)) return std::nullopt;
           return l;
         });
       },
       true},
      {"a CRC-32 line changed",
       [](const fs::path& run) {
         edit_list(run, [](std::string l) -> std::optional<std::string> {
           const std::string lead = " CRC-32 of " + kElev + ": ";
           if (l.starts_with(lead)) l[lead.size()] = l[lead.size()] == '0' ? '1' : '0';
           return l;
         });
       },
       true},
      {"a control file with an old time stamp adding a POSTFILE",
       [](const fs::path& run) {
         const auto stamp = fs::last_write_time(run / "AERMOD.INP");
         fs::copy_file(run / "FLATELEV_FLAT_STK_01H.PST", run / "NEW_01H.PST");
         fs::last_write_time(run / "NEW_01H.PST", stamp);
         add_to_control(run, "   POSTFILE 1 FLAT_STK UNFORM NEW_01H.PST");
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    const fs::path run = dir / "run";
    fs::create_directories(run);
    for (const auto& e : fs::directory_iterator(kData / "flatelev-included" / "input")) {
      fs::copy_file(e.path(), run / e.path().filename());
    }
    ASSERT_EQ(test::run_in(dir.path(), {"run"}).status, 0);
    auto clean = datasets(run);
    ASSERT_EQ(clean.size(), 2U);
    c.change(run);
    const test::RunResult r = test::run_in(dir.path(), {"--resume", "run"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.console.find("run: up to date") == std::string::npos, c.converted) << r.console;
    // A new POSTFILE of the same records gives the same bytes.
    if (fs::exists(run / "NEW_01H.PST")) clean["NEW_01H.PST.gdx"] = clean.at(kFlat);
    const auto got = datasets(run);
    EXPECT_TRUE(got == clean);
    // Converted again, the run is then up to date.
    EXPECT_NE(test::run_in(dir.path(), {"--resume", "run"}).console.find("run: up to date"), std::string::npos);
  }
}

}  // namespace
}  // namespace kestrel
