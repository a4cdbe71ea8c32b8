// kestrel-join's refusals, in-process: each with its exit status and its
// one line naming the first misfit, the output's earlier dataset untouched
// and no file made.
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "join/join_support.hpp"

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

// A refusal: the inputs, the command, the exit status and message. The
// output's earlier dataset stays as it was, and no other file appears.
struct Row {
  const char* what;
  std::function<void(const fs::path&)> make;
  std::vector<std::string> args;
  int status;
  std::string err;
};

void check(const Row& row) {
  SCOPED_TRACE(row.what);
  const kestrel::test::TempDir dir;
  row.make(dir.path());
  const Bytes previous = {std::byte{'o'}, std::byte{'l'}, std::byte{'d'}};
  if (!fs::exists(dir / "out.gdx")) kestrel::test::write_bytes(dir / "out.gdx", previous);
  const auto before = files_of(dir.path());
  const test::Ran r = test::run(dir.path(), row.args);
  EXPECT_EQ(r.status, row.status);
  EXPECT_EQ(r.err, row.err);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(files_of(dir.path()), before);
}

TEST(JoinRefusals, EveryInputMustBeSuchADataset) {
  const MadeDataset a;
  const std::string values_at = std::to_string(kFirst + kPeriod + 80);
  const std::vector<Row> rows = {
      {"a POSTFILE",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         kestrel::test::write_bytes(d / "b.gdx", kestrel::test::postfile_record(88030101, {1.0, 2.0}));
       },
       {"--sum", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: 'b.gdx' is not a CONC.DAT, DFLX.DAT or WFLX.DAT dataset: its first record is not a dataset's "
       "(byte 0)\n"},
      {"version 2.0",
       [&](const fs::path& d) {
         write(d / "a.gdx", a, [](Bytes& b) { b[22] = std::byte{'0'}; });
       },
       {"--time", "-o", "out.gdx", "a.gdx"},
       1,
       "kestrel-join: 'a.gdx' is a dataset of version '2.0', not 2.1 (byte 16)\n"},
      {"two species levels",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         write(d / "b.gdx", later(3), [](Bytes& b) { kestrel::test::patch_i32(b, kRunPayload + 184, 2); });
       },
       {"--time", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: 'b.gdx' holds 2 species levels, not one\n"},
      {"two sources",
       [&](const fs::path& d) {
         write(d / "a.gdx", a, [](Bytes& b) { kestrel::test::patch_i32(b, kRunPayload + 140, 1); });
         write(d / "b.gdx", a);
       },
       {"--sum", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: 'a.gdx' holds 2 sources, not one\n"},
      {"a damaged period",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         write(d / "b.gdx", a, [](Bytes& b) { kestrel::test::patch_i32(b, kFirst + kPeriod + 80, 400); });
       },
       {"--sum", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: 'b.gdx' is damaged: the values record of period 2, at byte " + values_at +
           ", has the length 400, not 23\n"},
      {"a damaged last period",
       [&](const fs::path& d) {
         write(d / "a.gdx", at({{5.0F, 5.0F, 0.0F}}));
         write(d / "b.gdx", a, [](Bytes& b) { kestrel::test::patch_i32(b, b.size() - 4, -1); });
       },
       {"--receptors", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: 'b.gdx' is damaged: the values record of period 3, at byte " +
           std::to_string(kFirst + 2 * kPeriod + 80) + ", ends with the length -1, not 23\n"},
      {"a cut input",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         write(d / "b.gdx", later(3), [](Bytes& b) { b.resize(b.size() - 5); });
       },
       {"--time", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: 'b.gdx' ends inside period 3, which begins at byte " + std::to_string(kFirst + 2 * kPeriod) +
           " (the file has " + std::to_string(kFirst + 3 * kPeriod - 5) + " bytes)\n"},
      {"a cut input among inputs that end together",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         write(d / "b.gdx", at({{5.0F, 5.0F, 0.0F}}), [](Bytes& b) { b.resize(b.size() - 1); });
       },
       {"--receptors", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: 'b.gdx' ends inside period 3, which begins at byte " + std::to_string(1043 + 2 * 107) +
           " (the file has " + std::to_string(1043 + 3 * 107 - 1) + " bytes)\n"},
      {"a header cut short",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         write(d / "b.gdx", a, [](Bytes& b) { b.resize(500); });
       },
       {"--sum", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: 'b.gdx' has a header that cannot be read: ends inside or before the run description record "
       "(byte 396)\n"},
      {"a missing input",
       [&](const fs::path& d) { write(d / "a.gdx", a); },
       {"--sum", "-o", "out.gdx", "a.gdx", "b.gdx"},
       2,
       "kestrel-join: cannot open dataset 'b.gdx': No such file or directory\n"},
      {"a folder as input",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         fs::create_directory(d / "b.gdx");
       },
       {"--sum", "-o", "out.gdx", "a.gdx", "b.gdx"},
       2,
       "kestrel-join: cannot open dataset 'b.gdx': Is a directory\n"},
  };
  for (const Row& row : rows) check(row);
}

TEST(JoinRefusals, InputsMustShareSpeciesFactorAndPeriodLength) {
  const MadeDataset a;
  MadeDataset no2;
  no2.speclev = "NO2           1";
  MadeDataset mg;
  mg.cfactor = 1.0e-3F;
  MadeDataset dry;  // a flux dataset with the same species label
  dry.type = dataset::OutputType::ddep;
  const std::vector<Row> rows = {
      {"another species",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         write(d / "b.gdx", no2);
       },
       {"--sum", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: 'b.gdx' holds species 'NO2           1', 'a.gdx' 'SO2           1'\n"},
      {"another kind of dataset",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         write(d / "b.gdx", dry);
       },
       {"--sum", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: 'b.gdx' is a DFLX.DAT dataset, 'a.gdx' a CONC.DAT dataset\n"},
      {"another conversion factor",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         write(d / "b.gdx", later(3));
         write(d / "c.gdx", mg);
       },
       {"--sum", "-o", "out.gdx", "a.gdx", "c.gdx", "b.gdx"},
       1,
       "kestrel-join: the conversion factors differ: title 3 of 'c.gdx' reads 'Conversion Factor to g/m3:           "
       "0.1000000E-02', of 'a.gdx' 'Conversion Factor to g/m3:           0.1000000E-05'\n"},
      {"daily periods",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         write(d / "b.gdx", at({{5.0F, 5.0F, 0.0F}}),
               [](Bytes& b) { kestrel::test::patch_i32(b, kRunPayload + 64, 86400); });
       },
       {"--receptors", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: 'b.gdx' holds periods of 86400 s (1 x 86400 s), not 3600 s\n"},
      {"a period of two hours",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         // Period 2 begins at hour 0, not 1.
         write(d / "b.gdx", at({{5.0F, 5.0F, 0.0F}}),
               [](Bytes& b) { kestrel::test::patch_i32(b, 1043 + 107 + 12, 0); });
       },
       {"--receptors", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: period 2 of 'b.gdx' begins 1988-03-01 hour 00 and ends 1988-03-01 hour 02: 7200 s, not 3600 s\n"},
  };
  for (const Row& row : rows) check(row);
}

TEST(JoinRefusals, ByReceptors) {
  const MadeDataset a;
  const std::vector<Row> rows = {
      {"fewer periods",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         MadeDataset b = at({{5.0F, 5.0F, 0.0F}});
         b.periods = 2;
         write(d / "b.gdx", b);
       },
       {"--receptors", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: 'b.gdx' holds 2 periods, 'a.gdx' 3\n"},
      {"more periods",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         MadeDataset b = at({{5.0F, 5.0F, 0.0F}});
         b.periods = 4;
         write(d / "b.gdx", b);
       },
       {"--receptors", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: 'b.gdx' holds 4 periods, 'a.gdx' 3\n"},
      {"other hours",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         MadeDataset b = at({{5.0F, 5.0F, 0.0F}});
         b.first_end = {1988, 61, 2};
         write(d / "b.gdx", b);
       },
       {"--receptors", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: period 1 of 'b.gdx' ends 1988-03-01 hour 02, of 'a.gdx' 1988-03-01 hour 01\n"},
      {"every receptor of one input also in another",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         write(d / "b.gdx", at({{7.0F, 7.0F, 0.0F}}));
         write(d / "c.gdx", at({{1.0F, 0.5F, 10.0F}}));
       },
       {"--receptors", "-o", "out.gdx", "a.gdx", "b.gdx", "c.gdx"},
       1,
       "kestrel-join: every receptor of 'c.gdx' is also one of 'a.gdx', at the same place: the same part given twice?\n"},
      {"every receptor of an earlier input in a later one, -0 and 0 one place",
       [&](const fs::path& d) {
         write(d / "a.gdx", at({{0.0F, 0.0F, 0.0F}}));
         write(d / "b.gdx", at({{-0.0F, 0.0F, -0.0F}, {3.0F, 3.0F, 0.0F}}));
       },
       {"--receptors", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: every receptor of 'a.gdx' is also one of 'b.gdx', at the same place: the same part given twice?\n"},
      {"more receptors than a dataset holds",
       [&](const fs::path& d) {
         for (const char* name : {"a.gdx", "b.gdx"}) {
           MadeDataset s;
           s.receptors.clear();
           for (int i = 0; i < 6000; ++i) s.receptors.push_back({static_cast<float>(i), name[0] == 'a' ? 0.0F : 1.0F, 0});
           s.periods = 1;
           write(d / name, s);
         }
       },
       {"--receptors", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: the inputs hold 12000 receptors together; a dataset holds at most 10000\n"},
  };
  for (const Row& row : rows) check(row);
}

TEST(JoinRefusals, BySumAndTimeTheSameReceptors) {
  const MadeDataset a;
  for (const std::string mode : {"--sum", "--time"}) {
    const MadeDataset b = mode == "--sum" ? MadeDataset{} : later(3);
    MadeDataset fewer = b;
    fewer.receptors.pop_back();
    MadeDataset higher = b;
    higher.receptors[1].z = 10.5F;
    MadeDataset signed_zero = b;
    signed_zero.receptors[0].x = -0.0F;
    const std::vector<Row> rows = {
        {"fewer receptors",
         [&](const fs::path& d) {
           write(d / "a.gdx", a);
           write(d / "b.gdx", fewer);
         },
         {mode, "-o", "out.gdx", "a.gdx", "b.gdx"},
         1,
         "kestrel-join: 'b.gdx' holds 1 receptor, 'a.gdx' 2\n"},
        {"another elevation",
         [&](const fs::path& d) {
           write(d / "a.gdx", a);
           write(d / "b.gdx", higher);
         },
         {mode, "-o", "out.gdx", "a.gdx", "b.gdx"},
         1,
         "kestrel-join: receptor 2 of 'b.gdx' is at (1, 0.5) km, elevation 10.5, of 'a.gdx' at (1, 0.5) km, "
         "elevation 10\n"},
        {"-0 where the first holds 0: not as stored",
         [&](const fs::path& d) {
           write(d / "a.gdx", a);
           write(d / "b.gdx", signed_zero);
         },
         {mode, "-o", "out.gdx", "a.gdx", "b.gdx"},
         1,
         "kestrel-join: receptor 1 of 'b.gdx' is at (-0, 0) km, elevation 0, of 'a.gdx' at (0, 0) km, elevation 0\n"},
    };
    for (const Row& row : rows) check(row);
  }
  check({"by sum, other hours",
         [&](const fs::path& d) {
           write(d / "a.gdx", a);
           write(d / "b.gdx", a, [](Bytes& b) {
             // Period 3 of b ends an hour later and begins an hour later.
             kestrel::test::patch_i32(b, kFirst + 2 * kPeriod + 12, 3);
             kestrel::test::patch_i32(b, kFirst + 2 * kPeriod + 28, 4);
           });
         },
         {"--sum", "-o", "out.gdx", "a.gdx", "b.gdx"},
         1,
         "kestrel-join: period 3 of 'b.gdx' ends 1988-03-01 hour 04, of 'a.gdx' 1988-03-01 hour 03\n"});
}

TEST(JoinRefusals, ByTimeEachInputOneHourAfterTheOneBefore) {
  const MadeDataset a;
  MadeDataset empty = later(3);
  empty.periods = 0;
  const std::vector<Row> rows = {
      {"a gap",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         write(d / "b.gdx", later(3));
         write(d / "c.gdx", later(8));
       },
       {"--time", "-o", "out.gdx", "a.gdx", "b.gdx", "c.gdx"},
       1,
       "kestrel-join: 'c.gdx' does not follow 'b.gdx' by one hour: 'b.gdx' ends with the period ending 1988-03-01 "
       "hour 06, 'c.gdx' begins with the period ending 1988-03-01 hour 09 (a gap of 2 hours)\n"},
      {"an overlap",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         write(d / "b.gdx", later(2));
       },
       {"--time", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: 'b.gdx' does not follow 'a.gdx' by one hour: 'a.gdx' ends with the period ending 1988-03-01 "
       "hour 03, 'b.gdx' begins with the period ending 1988-03-01 hour 03 (an overlap of 1 hour)\n"},
      {"the wrong order",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         write(d / "b.gdx", later(3));
       },
       {"--time", "-o", "out.gdx", "b.gdx", "a.gdx"},
       1,
       "kestrel-join: 'b.gdx' and 'a.gdx' are in the wrong order: 'a.gdx' begins with the period ending 1988-03-01 "
       "hour 01, 'b.gdx' with the period ending 1988-03-01 hour 04 (give the inputs earliest first)\n"},
      {"an input without periods",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         write(d / "b.gdx", empty);
       },
       {"--time", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: 'b.gdx' holds no periods\n"},
  };
  for (const Row& row : rows) check(row);
}

TEST(JoinRefusals, TheOutputIsNoInput) {
  const MadeDataset a;
  const auto two = [&](const fs::path& d) {
    write(d / "a.gdx", a);
    write(d / "b.gdx", at({{5.0F, 5.0F, 0.0F}}));
  };
  std::vector<Row> rows = {
      {"the output named as an input",
       two,
       {"--receptors", "-o", "b.gdx", "a.gdx", "b.gdx"},
       2,
       "kestrel-join: the output 'b.gdx' is the input 'b.gdx'\n"},
      {"the output named otherwise",
       [&](const fs::path& d) {
         two(d);
         fs::create_directory(d / "sub");
       },
       {"--receptors", "-o", "sub/../a.gdx", "a.gdx", "b.gdx"},
       2,
       "kestrel-join: the output 'sub/../a.gdx' is the input 'a.gdx'\n"},
      {"the output's temporary file as an input",
       [&](const fs::path& d) {
         two(d);
         fs::rename(d / "b.gdx", d / "out.gdx.part");
       },
       {"--receptors", "-o", "out.gdx", "a.gdx", "out.gdx.part"},
       2,
       "kestrel-join: the output's temporary file 'out.gdx.part' is the input 'out.gdx.part'\n"},
      {"an input given twice",
       two,
       {"--sum", "-o", "out.gdx", "a.gdx", "b.gdx", "./a.gdx"},
       1,
       "kestrel-join: './a.gdx' and 'a.gdx' are the same file\n"},
      {"a folder as output",
       [&](const fs::path& d) {
         two(d);
         fs::create_directory(d / "out.gdx");
       },
       {"--receptors", "-o", "out.gdx", "a.gdx", "b.gdx"},
       2,
       "kestrel-join: cannot create dataset 'out.gdx': Is a directory\n"},
      {"no folder for the output",
       two,
       {"--receptors", "-o", "none/out.gdx", "a.gdx", "b.gdx"},
       2,
       "kestrel-join: cannot create dataset 'none/out.gdx': No such file or directory\n"},
  };
#ifndef _WIN32
  rows.push_back({"the output a hard link to an input",
                  [&](const fs::path& d) {
                    two(d);
                    fs::create_hard_link(d / "a.gdx", d / "out.gdx");
                  },
                  {"--receptors", "-o", "out.gdx", "a.gdx", "b.gdx"},
                  2,
                  "kestrel-join: the output 'out.gdx' is the input 'a.gdx'\n"});
  rows.push_back({"the output a link to an input",
                  [&](const fs::path& d) {
                    two(d);
                    fs::create_symlink("b.gdx", d / "out.gdx");
                  },
                  {"--receptors", "-o", "out.gdx", "a.gdx", "b.gdx"},
                  2,
                  "kestrel-join: the output 'out.gdx' is the input 'b.gdx'\n"});
#endif
  for (const Row& row : rows) check(row);
}

// Headers no join can trust are refused with the field; values that are
// no numbers are joined as they are and said once per input, with a count.
TEST(JoinRefusals, FieldsAndValuesThatAreNoNumbers) {
  constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const MadeDataset a;
  MadeDataset nans = a;
  nans.value = [](int p, int r) { return p == 1 ? kNan : r == 1 && p == 2 ? -kInf : 1.0F; };
  MadeDataset huge = a;
  huge.value = [](int p, int r) { return p == 0 && r == 0 ? 3.0e38F : 1.0F; };
  const std::vector<Row> refused = {
      {"averaging fields that lie",
       [&](const fs::path& d) {
         write(d / "a.gdx", a, [](Bytes& b) {
           kestrel::test::patch_i32(b, kRunPayload + 60, -1);
           kestrel::test::patch_i32(b, kRunPayload + 64, -3600);
         });
       },
       {"--time", "-o", "out.gdx", "a.gdx"},
       1,
       "kestrel-join: 'a.gdx' is no dataset of periods: its header's averaging time is -1 time steps of -3600 s\n"},
      {"no receptors",
       [&](const fs::path& d) {
         write(d / "a.gdx", a);
         write(d / "b.gdx", at({}));
       },
       {"--receptors", "-o", "out.gdx", "a.gdx", "b.gdx"},
       1,
       "kestrel-join: 'b.gdx' holds no receptors: its header's receptor count is 0\n"},
  };
  for (const Row& row : refused) check(row);

  struct Warned {
    const char* what;
    std::vector<std::string> args;
    std::string err;
  };
  const std::vector<Warned> warned = {
      {"NaN by receptors",
       {"--receptors", "-o", "out.gdx", "nans.gdx", "c.gdx"},
       "kestrel-join: WARNING: 'nans.gdx' holds 2 NaN values and 1 infinite value; joined as they are\n"},
      {"NaN in a sum",
       {"--sum", "-o", "out.gdx", "a.gdx", "nans.gdx"},
       "kestrel-join: WARNING: 'nans.gdx' holds 2 NaN values and 1 infinite value; joined as they are\n"},
      {"NaN in time", {"--time", "-o", "out.gdx", "a.gdx", "later.gdx"},
       "kestrel-join: WARNING: 'later.gdx' holds 2 NaN values and 1 infinite value; joined as they are\n"},
      {"a sum past the largest float",
       {"--sum", "-o", "out.gdx", "huge.gdx", "huge2.gdx", "a.gdx"},
       "kestrel-join: WARNING: 1 sum of finite values is past the largest single-precision number; written as "
       "infinite\n"},
  };
  for (const Warned& w : warned) {
    SCOPED_TRACE(w.what);
    const kestrel::test::TempDir dir;
    write(dir / "a.gdx", a);
    write(dir / "nans.gdx", nans);
    write(dir / "c.gdx", at({{5.0F, 5.0F, 0.0F}}));
    MadeDataset next = later(3);
    next.value = nans.value;
    write(dir / "later.gdx", next);
    write(dir / "huge.gdx", huge);
    write(dir / "huge2.gdx", huge);
    const test::Ran r = test::run(dir.path(), w.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, w.err);
    EXPECT_TRUE(r.out.starts_with("Dataset out.gdx: ")) << r.out;
  }
}

}  // namespace
}  // namespace kestrel::join
