// kestrel-join on a real AERMOD run cut into pieces (EPA's aertest with its
// 144 receptors and 96 hours, tests/data/aertest-disccart): by receptors,
// by time and by sources, each piece converted by kestrel and joined back
// by the kestrel-join program, byte for byte the whole run's dataset; then
// kestrel-inspect on the joined datasets; then the program under signals
// and in little memory.
#include <gtest/gtest.h>

#include <csignal>
#include <optional>
#include <thread>

#include "base/text.hpp"
#include "inspect/inspect.hpp"
#include "io/byte_order.hpp"
#include "join/join_support.hpp"
#include "support.hpp"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

const fs::path kRun = fs::path(KESTREL_TEST_DATA) / "aertest-disccart" / "input";
constexpr std::size_t kReceptors = 144;
constexpr std::size_t kHours = 96;

test::RunResult join_binary(const fs::path& dir, const std::vector<std::string>& args,
                            std::uint64_t address_space_limit = 0) {
  return test::run_program(KESTREL_JOIN_BINARY, args, dir, address_space_limit);
}

// The control file's lines (it ends them with CR LF).
std::vector<std::string> control_lines() {
  const Bytes b = test::read_bytes(kRun / "AERMOD.INP");
  const std::string text(reinterpret_cast<const char*>(b.data()), b.size());
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

std::string control_text(const std::vector<std::string>& lines) {
  std::string t;
  for (std::size_t i = 0; i < lines.size(); ++i) t += (i == 0 ? "" : "\r\n") + lines[i];
  return t;
}

// A run folder `name` in `dir` with `control` and the POSTFILE `records`,
// converted by kestrel: the path of its dataset, relative to `dir`.
std::string converted(const fs::path& dir, const std::string& name, const std::string& control,
                      const std::vector<test::PostfileFields>& records) {
  fs::create_directories(dir / name);
  test::write_text(dir / name / "AERMOD.INP", control);
  test::write_bytes(dir / name / "AERTEST_01H.BIN", test::postfile_of(records));
  const test::RunResult r = test::run_in(dir / name);
  EXPECT_EQ(r.status, 0) << name << ": " << r.err;
  return name + "/AERTEST_01H.BIN.gdx";
}

class RealRun : public ::testing::Test {
 protected:
  void SetUp() override {
    lines_ = control_lines();
    records_ = test::postfile_fields(test::read_bytes(kRun / "AERTEST_01H.BIN"));
    ASSERT_EQ(records_.size(), kHours);
    ASSERT_EQ(records_[0].values.size(), kReceptors);
    whole_ = converted(dir_.path(), "whole", control_text(lines_), records_);
  }

  [[nodiscard]] Bytes whole() const { return test::read_bytes(dir_ / whole_); }

  test::TempDir dir_;
  std::vector<std::string> lines_;
  std::vector<test::PostfileFields> records_;
  std::string whole_;
};

// Three chunks of 48 receptors, each its own run: the control file with
// only its receptors' DISCCART lines, a POSTFILE with only their values.
TEST_F(RealRun, ReceptorChunksJoinedAreTheWholeRun) {
  std::vector<std::size_t> disccart;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].starts_with("RE DISCCART")) disccart.push_back(i);
  }
  ASSERT_EQ(disccart.size(), kReceptors);
  std::vector<std::string> args = {"--receptors", "-o", "joined.gdx"};
  for (std::size_t c = 0; c < 3; ++c) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      const auto at = std::find(disccart.begin(), disccart.end(), i);
      const auto k = static_cast<std::size_t>(at - disccart.begin());
      if (at == disccart.end() || (k >= 48 * c && k < 48 * (c + 1))) lines.push_back(lines_[i]);
    }
    std::vector<test::PostfileFields> records = records_;
    for (auto& r : records) r.values.assign(r.values.begin() + 48 * c, r.values.begin() + 48 * (c + 1));
    args.push_back(converted(dir_.path(), "chunk" + std::to_string(c + 1), control_text(lines), records));
  }
  const test::RunResult r = join_binary(dir_.path(), args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.console, "Dataset joined.gdx: 96 periods of 144 receptors, ending 1988-03-01 01 to 1988-03-05 00\n");
  // Each chunk's grid is its own; the joined one is the whole run's.
  EXPECT_NE(test::read_bytes(dir_ / args[3]).size() * 3, whole().size());
  EXPECT_EQ(test::first_difference(test::read_bytes(dir_ / "joined.gdx"), whole()), "");

  // kestrel-inspect reads it as any other dataset: the same report as the
  // whole run's, but for the name and what it was joined from.
  const auto inspect = [](const fs::path& p) {
    std::ostringstream out, err;
    const int status = inspect::run_inspect(std::vector<std::string>{p.string()}, out, err);
    EXPECT_EQ(status, 0) << err.str();
    const std::string s = out.str();
    return s.substr(s.find('\n'));
  };
  const std::string report = inspect(dir_ / "joined.gdx");
  EXPECT_NE(report.find("\n  receptors: 144 from (-1.0000, -1.0000) to (1.0000, 1.0000) km\n"), std::string::npos);
  EXPECT_NE(report.find("\n  periods: 96\n"), std::string::npos);
  EXPECT_NE(report.find("\n  against the run period: 0 hours missing, 0 repeated, 0 outside\n"), std::string::npos);
  // Then what it was joined from.
  EXPECT_EQ(report.substr(0, report.find("  joined by kestrel-join ")), inspect(dir_ / whole_));
}

// A receptor at the place of another, the cut falling between them (a
// fence-line receptor on a grid node): kept, as the uncut run keeps it, and
// said so; a chunk whose every receptor another holds is refused.
TEST_F(RealRun, ReceptorsAtOnePlaceInTwoChunksAreKept) {
  // Receptor 48 again as receptor 49: the uncut run of 145 receptors.
  std::vector<std::size_t> disccart;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].starts_with("RE DISCCART")) disccart.push_back(i);
  }
  std::vector<std::string> lines = lines_;
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(disccart[48]), lines_[disccart[47]]);
  std::vector<test::PostfileFields> records = records_;
  for (auto& r : records) r.values.insert(r.values.begin() + 48, r.values[47]);
  const std::string uncut = converted(dir_.path(), "uncut", control_text(lines), records);
  // Receptors [from, to) of the uncut run as a run of their own.
  const auto chunk = [&](const std::string& name, std::size_t from, std::size_t to) {
    std::vector<std::string> part;
    std::size_t k = 0;
    for (const std::string& l : lines) {
      const bool receptor = l.starts_with("RE DISCCART");
      if (!receptor || (k >= from && k < to)) part.push_back(l);
      k += receptor ? 1 : 0;
    }
    std::vector<test::PostfileFields> values = records;
    for (auto& r : values) r.values.assign(r.values.begin() + static_cast<std::ptrdiff_t>(from), r.values.begin() + static_cast<std::ptrdiff_t>(to));
    return converted(dir_.path(), name, control_text(part), values);
  };
  const std::string a = chunk("a", 0, 48), b = chunk("b", 48, 145), again = chunk("again", 0, 24);
  const test::RunResult r = join_binary(dir_.path(), {"--receptors", "-o", "joined.gdx", a, b});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.console, "kept 1 receptor at places an earlier input's receptors hold, as an uncut run keeps them: "
                       "receptor 1 of '" + b + "' at (0.8660301, -0.5) km, elevation 0 is also receptor 48 of '" +
                       a + "'\nDataset joined.gdx: 96 periods of 145 receptors, ending 1988-03-01 01 to 1988-03-05 00\n");
  EXPECT_EQ(test::first_difference(test::read_bytes(dir_ / "joined.gdx"), test::read_bytes(dir_ / uncut)), "");
  // What it was joined from, kept beside it and shown by kestrel-inspect.
  std::ostringstream shown, err;
  EXPECT_EQ(inspect::run_inspect(std::vector<std::string>{(dir_ / "joined.gdx").string()}, shown, err), 0);
  const auto report = test::lines_of(shown.str());
  const auto joined = std::find_if(report.begin(), report.end(), [](const std::string& l) { return l.starts_with("  joined by kestrel-join "); });
  ASSERT_NE(joined, report.end()) << shown.str();
  EXPECT_NE(joined->find("): --receptors, "), std::string::npos) << *joined;
  ASSERT_GE(report.end() - joined, 4);
  EXPECT_TRUE(joined[1].starts_with("    input 1: " + a + ", " + std::to_string(fs::file_size(dir_ / a)) + " bytes, modified "))
      << joined[1];
  EXPECT_TRUE(joined[2].starts_with("    input 2: " + b + ", ")) << joined[2];
  EXPECT_EQ(joined[3], "    Dataset joined.gdx: 96 periods of 145 receptors, ending 1988-03-01 01 to 1988-03-05 00");
  ASSERT_GE(report.end() - joined, 5);
  EXPECT_EQ(joined[4].substr(0, 30), "    CRC-32 of joined.gdx: " + joined[4].substr(26, 4)) << joined[4];
  EXPECT_TRUE(joined[4].ends_with(", " + std::to_string(fs::file_size(dir_ / "joined.gdx")) + " bytes")) << joined[4];
  const test::RunResult twice = join_binary(dir_.path(), {"--receptors", "-o", "x.gdx", a, b, again});
  EXPECT_EQ(twice.status, 1);
  EXPECT_EQ(twice.err, "kestrel-join: every receptor of '" + again + "' is also one of '" + a +
                           "', at the same place: the same part given twice?\n");
  EXPECT_FALSE(fs::exists(dir_ / "x.gdx"));
}

// Two stretches of two days: ME STARTEND of each, and the POSTFILE's
// records cut at midnight of 2 March (its record 48 is hour 24 of that day).
TEST_F(RealRun, TimeStretchesAppendedAreTheWholeRun) {
  ASSERT_EQ(records_[47].kurdat, 88030224);
  const std::string startend = "   STARTEND  88 03 01  88 03 04";
  const auto it = std::find(lines_.begin(), lines_.end(), startend);
  ASSERT_NE(it, lines_.end());
  std::vector<std::string> args = {"--time", "-o", "appended.gdx"};
  const char* stretches[] = {"   STARTEND  88 03 01  88 03 02", "   STARTEND  88 03 03  88 03 04"};
  for (std::size_t s = 0; s < 2; ++s) {
    std::vector<std::string> lines = lines_;
    lines[static_cast<std::size_t>(it - lines_.begin())] = stretches[s];
    const std::vector<test::PostfileFields> records(records_.begin() + 48 * static_cast<std::ptrdiff_t>(s),
                                                    records_.begin() + 48 * static_cast<std::ptrdiff_t>(s + 1));
    args.push_back(converted(dir_.path(), "days" + std::to_string(2 * s + 1), control_text(lines), records));
  }
  const test::RunResult r = join_binary(dir_.path(), args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::first_difference(test::read_bytes(dir_ / "appended.gdx"), whole()), "");

  std::ostringstream out, err;
  EXPECT_EQ(inspect::run_inspect(std::vector<std::string>{(dir_ / "appended.gdx").string()}, out, err), 0);
  EXPECT_NE(out.str().find("\n  run length: 96 h\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("\n  last period ends: 1988-03-05 hour 00\n"), std::string::npos);

  // The stretches the other way round, and the second alone twice: refused.
  const test::RunResult swapped = join_binary(dir_.path(), {"--time", "-o", "x.gdx", args[4], args[3]});
  EXPECT_EQ(swapped.status, 1);
  EXPECT_EQ(swapped.err, "kestrel-join: '" + args[4] + "' and '" + args[3] + "' are in the wrong order: '" + args[3] +
                             "' begins with the period ending 1988-03-01 hour 01, '" + args[4] +
                             "' with the period ending 1988-03-03 hour 01 (give the inputs earliest first)\n");
  EXPECT_FALSE(fs::exists(dir_ / "x.gdx"));
}

// Two source runs whose values add back exactly in single precision: on
// every third hour each holds half of every value, else one holds the value
// and the other 0, receptor by receptor.
TEST_F(RealRun, SourceRunsSummedAreTheWholeRun) {
  std::vector<test::PostfileFields> a = records_, b = records_;
  for (std::size_t h = 0; h < kHours; ++h) {
    for (std::size_t r = 0; r < kReceptors; ++r) {
      const double v = records_[h].values[r];
      if (h % 3 == 0) {
        a[h].values[r] = b[h].values[r] = v / 2;
      } else {
        a[h].values[r] = r % 2 == 0 ? v : 0.0;
        b[h].values[r] = r % 2 == 0 ? 0.0 : v;
      }
    }
  }
  const std::string control = control_text(lines_);
  const std::string pa = converted(dir_.path(), "stack-a", control, a);
  const std::string pb = converted(dir_.path(), "stack-b", control, b);
  const test::RunResult r = join_binary(dir_.path(), {"--sum", "-o", "summed.gdx", pa, pb});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::first_difference(test::read_bytes(dir_ / "summed.gdx"), whole()), "");
  // Neither half is the whole.
  EXPECT_NE(test::read_bytes(dir_ / pa), whole());
}

// The program as a user runs it: its help, and the exit status of a refusal.
TEST(JoinBinary, HelpAndRefusal) {
  const test::TempDir dir;
  const test::RunResult help = join_binary(dir.path(), {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.console.find("  --receptors  "), std::string::npos);
  const test::RunResult v = join_binary(dir.path(), {"--version"});
  EXPECT_EQ(v.console, "kestrel-join 1.21 (level 100301)\n");
  test::write_text(dir / "a.gdx", "not a dataset");
  const test::RunResult r = join_binary(dir.path(), {"--sum", "-o", "out.gdx", "a.gdx"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "kestrel-join: 'a.gdx' is not a CONC.DAT, DFLX.DAT or WFLX.DAT dataset: its first record is not a "
                   "dataset's (byte 0)\n");
  EXPECT_FALSE(fs::exists(dir / "out.gdx"));
}

// A dataset of one receptor and `periods` periods all alike (a join by sum
// asks only that the inputs' hours agree): large enough to be caught while
// it is joined.
Bytes large_dataset(std::size_t periods) {
  join::test::MadeDataset s;
  s.receptors = {{1.0F, 2.0F, 3.0F}};
  s.periods = 1;
  const Bytes one = join::test::make_dataset(s);
  const std::size_t header = one.size() - 107;
  Bytes b(header + periods * 107);
  std::memcpy(b.data(), one.data(), header);
  for (std::size_t p = 0; p < periods; ++p) std::memcpy(b.data() + header + p * 107, one.data() + header, 107);
  return b;
}


class LargeJoin : public ::testing::Test {
 protected:
  void SetUp() override {
    const Bytes b = large_dataset(1500000);
    test::write_bytes(dir_ / "a.gdx", b);
    test::write_bytes(dir_ / "b.gdx", b);
    test::write_text(dir_ / "out.gdx", "an earlier dataset");
  }
  test::TempDir dir_;
  const std::vector<std::string> args_ = {"--sum", "-o", "out.gdx", "a.gdx", "b.gdx"};
};

#ifndef _WIN32
// Ctrl-C and SIGTERM stop the join between periods: the dataset begun is
// dropped, the earlier one kept.
TEST_F(LargeJoin, InterruptKeepsTheEarlierOutput) {
  for (const auto& [sig, status] : test::kInterruptSignals) {
    SCOPED_TRACE(sig);
    test::Process p(KESTREL_JOIN_BINARY, args_, dir_.path());
    const bool grown = kestrel::test::wait_for_growth(dir_ / "out.gdx.part", 100000);
    if (grown && !p.interrupt(sig)) GTEST_SKIP() << "this system cannot interrupt one program alone";
    const test::RunResult r = p.wait();
    if (!grown) GTEST_SKIP() << "the join finished before it could be interrupted";
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.err, "kestrel-join: interrupted\n");
    EXPECT_EQ(r.console, "");
    EXPECT_FALSE(fs::exists(dir_ / "out.gdx.part"));
    EXPECT_EQ(test::read_text(dir_ / "out.gdx"), "an earlier dataset");
  }
}
#endif

// A killed join leaves its temporary file and the earlier output; the next
// join replaces both.
TEST_F(LargeJoin, KilledThenJoinedAgain) {
  test::Process p(KESTREL_JOIN_BINARY, args_, dir_.path());
  if (kestrel::test::wait_for_growth(dir_ / "out.gdx.part", 100000)) p.kill();
  if (p.wait().status != -1) GTEST_SKIP() << "the join finished before it could be killed";
  EXPECT_EQ(test::read_text(dir_ / "out.gdx"), "an earlier dataset");
  const test::RunResult r = join_binary(dir_.path(), args_);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "out.gdx.part"));
  EXPECT_EQ(fs::file_size(dir_ / "out.gdx"), fs::file_size(dir_ / "a.gdx"));
}

// Memory follows one period of every input, not the inputs: two inputs of
// 160 MB each are joined in 100 MB of address space.
TEST_F(LargeJoin, InLittleMemory) {
#ifdef KESTREL_SANITIZED
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space for itself";
#endif
  if (!test::can_limit_address_space()) GTEST_SKIP() << "this system cannot limit a process's address space";
  const test::RunResult r = join_binary(dir_.path(), args_, std::uint64_t{100} << 20);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.console, "Dataset out.gdx: 1500000 periods of 1 receptor, ending 1988-03-01 01 to 1988-03-01 01\n");
  // Every value twice itself.
  const Bytes out = test::read_bytes(dir_ / "out.gdx");
  ASSERT_EQ(out.size(), fs::file_size(dir_ / "a.gdx"));
  EXPECT_EQ(io::get_f32(out.data() + out.size() - 8), 2.0F);
}

}  // namespace
}  // namespace kestrel
