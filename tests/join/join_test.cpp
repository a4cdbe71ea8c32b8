// kestrel-join in-process: its command line; what each mode writes,
// checked against datasets built item by item; one input and the output's
// name; the progress line; an input changed while joined, and an interrupt.
#include "join/join.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <optional>

#include "base/interrupt.hpp"
#include "base/text.hpp"
#include "dataset/dataset_file.hpp"
#include "dataset/dataset_reader.hpp"
#include "dataset/header.hpp"
#include "join/join_support.hpp"
#include "join/options.hpp"

namespace kestrel::join {
namespace {

namespace fs = std::filesystem;
using kestrel::test::Bytes;
using test::at;
using test::files_of;
using test::kFirst;
using test::kPeriod;
using test::kRunPayload;
using test::later;
using test::make_dataset;
using test::MadeDataset;
using test::write;
using kestrel::test::ByteBuilder;

TEST(JoinOptions, CommandLine) {
  struct Case {
    std::vector<std::string> args;
    Options::Action action;
    std::string error;
  };
  using A = Options::Action;
  const Case cases[] = {
      {{"--sum", "-o", "out", "a", "b"}, A::join, ""},
      {{"a", "--time", "b", "--output=out"}, A::join, ""},
      {{"--receptors", "-oout", "a"}, A::join, ""},
      {{"--receptors", "--output", "out", "--", "-a"}, A::join, ""},
      {{"--sum", "-o", "out", "a", "--help"}, A::help, ""},
      {{"--version"}, A::version, ""},
      {{"-o", "out", "a"}, A::usage_error, "kestrel-join: no mode: give --receptors, --sum or --time"},
      {{"--sum", "--time", "-o", "out", "a"}, A::usage_error, "kestrel-join: more than one mode ('--sum' and '--time')"},
      {{"--sum", "--sum", "-o", "out", "a"}, A::usage_error, "kestrel-join: more than one mode ('--sum' and '--sum')"},
      {{"--sum", "a", "b"}, A::usage_error, "kestrel-join: no output: give -o OUTPUT"},
      {{"--sum", "a", "-o"}, A::usage_error, "kestrel-join: option '-o' needs the output dataset's name"},
      {{"--sum", "-o", "x", "-o", "y", "a"}, A::usage_error, "kestrel-join: more than one output ('x' and 'y')"},
      {{"--sum", "--output=", "a"}, A::usage_error, "kestrel-join: the output dataset's name is empty"},
      {{"--sum", "-o", "out"}, A::usage_error, "kestrel-join: no input dataset"},
      {{"--sum", "-o", "out", "-", "a"}, A::usage_error, "kestrel-join: unknown option '-'"},
      {{"--add", "-o", "out", "a"}, A::usage_error, "kestrel-join: unknown option '--add'"},
  };
  for (const Case& c : cases) {
    const Options o = parse_options(c.args);
    EXPECT_EQ(o.action, c.action) << c.args[0] << " " << o.error;
    EXPECT_EQ(o.error, c.error);
  }
  const Options o = parse_options(std::vector<std::string>{"a", "--time", "b", "--output=out", "--", "--c"});
  EXPECT_EQ(o.mode, Mode::time);
  EXPECT_EQ(o.output, "out");
  EXPECT_EQ(o.inputs, (std::vector<std::string>{"a", "b", "--c"}));
}

TEST(JoinCommand, HelpVersionAndUsage) {
  const kestrel::test::TempDir dir;
  const auto help = test::run(dir.path(), {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: kestrel-join MODE -o OUTPUT INPUT...\n", 0), 0U);
  EXPECT_EQ(test::run(dir.path(), {"--version"}).out, "kestrel-join 1.21 (level 100301)\n");
  const auto usage = test::run(dir.path(), {"--sum", "a.gdx"});
  EXPECT_EQ(usage.status, 2);
  EXPECT_EQ(usage.err, "kestrel-join: no output: give -o OUTPUT\nTry 'kestrel-join --help'.\n");
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

// The header and periods of the expected output, item by item.
Bytes expected(std::vector<test::Receptor> rec, float dgrid, float x0, float y0, float xc, float yc, std::int32_t irlg,
               const std::vector<std::pair<DateHour, std::vector<float>>>& periods) {
  std::vector<float> x, y, z;
  for (const auto& r : rec) x.push_back(r.x), y.push_back(r.y), z.push_back(r.z);
  dataset::HeaderArgs a;
  a.dxkm = dgrid, a.xorigkm = x0, a.yorigkm = y0;
  a.iyrb = 88, a.ijulb = 61, a.ihrb = 0, a.irlg = irlg;
  a.xrec = x, a.yrec = y, a.zrec = z;
  a.speclev = "SO2           1";
  a.csrcnam = fixed("TOTAL", 16);
  a.atitle = {fixed("A JOIN TEST", 80), std::string(80, '\0')};
  Bytes b = kestrel::test::expected_header(a);
  for (const auto& [end, values] : periods) {
    ByteBuilder p;
    p.i32(end.yr).i32(end.jul).i32(end.hr - 1).i32(0).i32(end.yr).i32(end.jul).i32(end.hr).i32(0).record();
    p.i32(0).i32(1).text("TOTAL", 16).f32(xc).f32(yc).record();
    p.text("SO2           1");
    for (float v : values) p.f32(v);
    p.record();
    b.insert(b.end(), p.bytes().begin(), p.bytes().end());
  }
  return b;
}

TEST(Join, ByReceptorsInTheOrderGiven) {
  const kestrel::test::TempDir dir;
  MadeDataset a = at({{0.0F, 0.0F, 1.0F}, {2.0F, 0.0F, 2.0F}});
  a.value = [](int p, int r) { return static_cast<float>(10 * p + r); };
  MadeDataset b = at({{0.0F, 4.0F, 3.0F}});
  b.value = [](int p, int) { return 0.5F + static_cast<float>(p); };
  write(dir / "a.gdx", a);
  write(dir / "b.gdx", b);
  const test::Ran r = test::run(dir.path(), {"--receptors", "-o", "out.gdx", "b.gdx", "a.gdx"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "Dataset out.gdx: 3 periods of 3 receptors, ending 1988-03-01 01 to 1988-03-01 03\n");
  // The box of all three: x 0 to 2, y 0 to 4; centre (1, 2), half-sides
  // 1 and 2: cells of 2 km from (-1, 0).
  const Bytes want = expected({{0.0F, 4.0F, 3.0F}, {0.0F, 0.0F, 1.0F}, {2.0F, 0.0F, 2.0F}}, 2.0F, -1.0F, 0.0F, 1.0F,
                              2.0F, 3,
                              {{{1988, 61, 1}, {0.5F, 0.0F, 1.0F}},
                               {{1988, 61, 2}, {1.5F, 10.0F, 11.0F}},
                               {{1988, 61, 3}, {2.5F, 20.0F, 21.0F}}});
  EXPECT_EQ(kestrel::test::first_difference(kestrel::test::read_bytes(dir / "out.gdx"), want), "");
  EXPECT_FALSE(fs::exists(dir / "out.gdx.part"));
}

// Each value is added in double in the order given and rounded once:
// 1 + 2^-24 + 2^-24 is 1 + 2^-23, where single precision would keep 1.
TEST(Join, BySumInDoubleRoundedOnce) {
  const kestrel::test::TempDir dir;
  const float tiny = 0x1p-24F;
  MadeDataset a;
  a.value = [](int, int r) { return r == 0 ? 1.0F : 3.0F; };
  MadeDataset b;
  b.value = [&](int p, int r) { return r == 0 ? tiny : static_cast<float>(p); };
  write(dir / "a.gdx", a);
  write(dir / "b.gdx", b);
  write(dir / "c.gdx", b);
  const test::Ran r = test::run(dir.path(), {"--sum", "-o", "out.gdx", "a.gdx", "b.gdx", "c.gdx"});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(1.0F + tiny + tiny, 1.0F);
  const float once = 1.0F + 0x1p-23F;
  const Bytes want = expected(MadeDataset{}.receptors, 0.5F, 0.0F, -0.25F, 0.5F, 0.25F, 3,
                              {{{1988, 61, 1}, {once, 3.0F}}, {{1988, 61, 2}, {once, 5.0F}}, {{1988, 61, 3}, {once, 7.0F}}});
  EXPECT_EQ(kestrel::test::first_difference(kestrel::test::read_bytes(dir / "out.gdx"), want), "");
}

TEST(Join, ByTimeThePeriodsOneAfterTheOther) {
  const kestrel::test::TempDir dir;
  MadeDataset a;
  a.periods = 2;
  a.irlg = 2;
  MadeDataset b = a;
  b.first_end = {1988, 61, 3};
  b.begin = {88, 61, 2};
  b.value = [](int p, int r) { return static_cast<float>(-p - r); };
  MadeDataset c = b;
  c.first_end = {1988, 61, 5};
  c.begin = {88, 61, 4};
  c.irlg = 5;  // its run goes on past its periods
  write(dir / "a.gdx", a);
  write(dir / "b.gdx", b);
  write(dir / "c.gdx", c);
  const test::Ran r = test::run(dir.path(), {"--time", "-o", "out.gdx", "a.gdx", "b.gdx", "c.gdx"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Dataset out.gdx: 6 periods of 2 receptors, ending 1988-03-01 01 to 1988-03-01 06\n");
  // From a's begin to the end of c's run: 4 + 5 hours.
  const Bytes want = expected(MadeDataset{}.receptors, 0.5F, 0.0F, -0.25F, 0.5F, 0.25F, 9,
                              {{{1988, 61, 1}, {1.0F, 2.0F}},
                               {{1988, 61, 2}, {101.0F, 102.0F}},
                               {{1988, 61, 3}, {0.0F, -1.0F}},
                               {{1988, 61, 4}, {-1.0F, -2.0F}},
                               {{1988, 61, 5}, {0.0F, -1.0F}},
                               {{1988, 61, 6}, {-1.0F, -2.0F}}});
  EXPECT_EQ(kestrel::test::first_difference(kestrel::test::read_bytes(dir / "out.gdx"), want), "");
}

// 1999 and 2000, each a run begun in its header with a two-digit year: the
// periods follow across the year's end (hour 24 of 31 December is hour 0
// of 1 January), and the run length counts the whole.
TEST(Join, ByTimeAcrossTheCentury) {
  const kestrel::test::TempDir dir;
  MadeDataset a;
  a.begin = {99, 365, 0};
  a.first_end = {1999, 365, 1};
  a.periods = 24;
  MadeDataset b = a;
  b.begin = {0, 1, 0};
  b.first_end = {2000, 1, 1};
  write(dir / "a.gdx", a);
  write(dir / "b.gdx", b);
  const test::Ran r = test::run(dir.path(), {"--time", "-o", "out.gdx", "a.gdx", "b.gdx"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Dataset out.gdx: 48 periods of 2 receptors, ending 1999-12-31 01 to 2000-01-02 00\n");
  io::FileSource src(dir / "out.gdx", "out");
  dataset::DatasetReader out(src, 10000);
  EXPECT_EQ(out.header().iyrb, 99);
  EXPECT_EQ(out.header().irlg, 48);
  EXPECT_EQ(out.head(23).end, (DateHour{2000, 1, 0}));
  EXPECT_EQ(out.head(24).end, (DateHour{2000, 1, 1}));
}

// A dataset kestrel wrote, joined alone, is itself in every mode; the output
// replaces an earlier dataset, and a link at its name, never writing
// through it.
TEST(Join, OneInputIsItselfAndTheOutputIsReplaced) {
  const kestrel::test::TempDir dir;
  const Bytes a = make_dataset(MadeDataset{});
  kestrel::test::write_bytes(dir / "a.gdx", a);
  kestrel::test::write_text(dir / "out.gdx", "an earlier dataset");
  kestrel::test::write_text(dir / "keep.txt", "keep me");
  for (const char* mode : {"--receptors", "--sum", "--time"}) {
    SCOPED_TRACE(mode);
    const test::Ran r = test::run(dir.path(), {mode, "-o", "out.gdx", "a.gdx"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(kestrel::test::read_bytes(dir / "out.gdx"), a);
  }
#ifndef _WIN32
  fs::remove(dir / "out.gdx");
  fs::create_symlink("keep.txt", dir / "out.gdx");
  fs::create_symlink("keep.txt", dir / "out.gdx.part");
  ASSERT_EQ(test::run(dir.path(), {"--sum", "-o", "out.gdx", "a.gdx"}).status, 0);
  EXPECT_FALSE(fs::is_symlink(dir / "out.gdx"));
  EXPECT_EQ(kestrel::test::read_bytes(dir / "out.gdx"), a);
  EXPECT_EQ(kestrel::test::read_text(dir / "keep.txt"), "keep me");
  EXPECT_FALSE(fs::exists(dir / "out.gdx.part"));
#endif
}

TEST(Join, ProgressLineOnlyWhenAskedForOffATerminal) {
  const kestrel::test::TempDir dir;
  write(dir / "a.gdx", MadeDataset{});
  kestrel::test::set_env("KESTREL_PROGRESS", "always");
  const test::Ran shown = test::run(dir.path(), {"--sum", "-o", "out.gdx", "a.gdx"});
  kestrel::test::set_env("KESTREL_PROGRESS", "");
  ASSERT_EQ(shown.status, 0);
  // Drawn at the first period, then erased: blanks over it and the cursor back.
  EXPECT_EQ(shown.err.rfind("\rchecking  ", 0), 0U) << shown.err;
  EXPECT_NE(shown.err.find(" MB/s"), std::string::npos);
  EXPECT_EQ(shown.err.back(), '\r');
  const test::Ran quiet = test::run(dir.path(), {"--sum", "-o", "out.gdx", "a.gdx"});
  EXPECT_EQ(quiet.err, "");
}

// A byte source whose bytes change once the writing pass begins: an input
// rewritten while it is joined.
class Changing final : public io::ByteSource {
 public:
  Changing(Bytes before, Bytes after) : before_(std::move(before)), after_(std::move(after)) {}
  [[nodiscard]] std::uint64_t size() const override { return before_.size(); }
  std::size_t read_at(std::uint64_t offset, std::span<std::byte> dest) override {
    return io::MemorySource(changed ? after_ : before_).read_at(offset, dest);
  }
  bool changed = false;

 private:
  Bytes before_, after_;
};

class OnPhase final : public Progress {
 public:
  explicit OnPhase(std::function<void(std::string_view)> f) : f_(std::move(f)) {}
  void phase(std::string_view lead, std::uint64_t) override { f_(lead); }
  void advance(std::uint64_t) override {}

 private:
  std::function<void(std::string_view)> f_;
};

// What changes between the check and the writing is refused all the same,
// and the dataset begun is dropped; so is the dataset of an interrupted
// join.
TEST(Join, RefusedOrInterruptedWhileWritingLeavesNothing) {
  const kestrel::test::TempDir dir;
  // Larger than the readers' blocks: the writing pass reads it again.
  MadeDataset s;
  s.periods = 12000;
  const Bytes a = make_dataset(s);
  Bytes b2 = a;
  kestrel::test::patch_i32(b2, kFirst + kPeriod + 28, 5);
  io::MemorySource first(a);
  Changing second(a, b2);
  const std::vector<Input> inputs = {{"a.gdx", &first}, {"b.gdx", &second}};
  io::RecordWriter writer;
  std::optional<dataset::DatasetFile> file;
  const auto open = [&]() -> io::RecordWriter& {
    file.emplace(dir / "out.gdx", "out.gdx", writer);
    return file->records();
  };
  OnPhase change([&](std::string_view lead) { second.changed = lead == "joining"; });
  try {
    join(Mode::sum, inputs, open, &change);
    FAIL() << "not refused";
  } catch (const Refusal& e) {
    EXPECT_STREQ(e.what(), "period 2 of 'b.gdx' begins 1988-03-01 hour 01 and ends 1988-03-01 hour 05: 14400 s, not 3600 s");
  }
  ASSERT_TRUE(file.has_value());
  file.reset();
  EXPECT_TRUE(fs::is_empty(dir.path()));

  OnPhase interrupt([&](std::string_view lead) {
    if (lead == "joining") note_interrupt(SIGINT);
  });
  second.changed = false;
  EXPECT_THROW(
      {
        try {
          join(Mode::sum, inputs, open, &interrupt);
        } catch (...) {
          clear_interrupt();
          file.reset();
          throw;
        }
      },
      Interrupted);
  EXPECT_TRUE(fs::is_empty(dir.path()));

  // From the command: the interrupt status and message, nothing written.
  kestrel::test::write_bytes(dir / "a.gdx", a);
  note_interrupt(SIGTERM);
  const test::Ran r = test::run(dir.path(), {"--sum", "-o", "out.gdx", "a.gdx"});
  clear_interrupt();
  EXPECT_EQ(r.status, 143);
  EXPECT_EQ(r.err, "kestrel-join: interrupted\n");
  EXPECT_EQ(files_of(dir.path()).size(), 1U);
}

}  // namespace
}  // namespace kestrel::join
