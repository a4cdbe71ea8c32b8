// Bad input against the real program, in temporary run folders: the exit
// status, the exact console or standard-error text, and the files afterwards
// (inputs unchanged, only the list file and datasets written, never a
// half-written dataset under its final name).
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <thread>

#ifndef _WIN32
#include <sys/mount.h>
#include <sys/stat.h>
#endif

#include "base/text.hpp"
#include "support.hpp"

namespace kestrel {
namespace {

using test::many_records;

namespace fs = std::filesystem;
using test::Bytes;

using Outcome = test::RunResult;

// Runs the program in `run`.
Outcome run_binary(const fs::path& run, const std::vector<std::string>& args = {}, long ulimit_kib = 0) {
  return test::run_program(KESTREL_BINARY, args, run, static_cast<std::uint64_t>(ulimit_kib) * 1024);
}

std::map<std::string, Bytes> snapshot(const fs::path& dir) {
  std::map<std::string, Bytes> files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.is_regular_file()) files[fs::relative(e.path(), dir).generic_string()] = test::read_bytes(e.path());
  }
  return files;
}

std::string last_line(const std::string& console) {
  const auto lines = test::lines_of(console);
  return lines.empty() ? "" : lines.back();
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes le32(std::int32_t v) {
  Bytes b(4);
  for (int i = 0; i < 4; ++i) b[static_cast<std::size_t>(i)] = static_cast<std::byte>(static_cast<std::uint32_t>(v) >> (8 * i));
  return b;
}

std::string deck(const std::string& extra_re = "", const std::string& ou = "OU POSTFILE 1 ALL UNFORM POST.BIN\n",
                 const std::string& me = "ME STARTEND 88 1 1 1 88 1 1 1\n", const std::string& co = "CO MODELOPT CONC\n") {
  return "CO STARTING\n" + co + "CO POLLUTID SO2\nRE DISCCART 0 0 0\nRE DISCCART 4000 1000 0\nRE DISCCART 100 200 0\n" +
         extra_re + me + ou;
}

#ifdef KESTREL_SANITIZED
// AddressSanitizer reserves terabytes of address space for itself.
constexpr long kAddressSpaceLimit = 0;
#else
constexpr long kAddressSpaceLimit = 100 * 1024;
#endif

const Bytes kRecord = test::postfile_record(88010101, {1.0, 2.0, 3.0});
const std::size_t kHeader = 1023 + 8 + 12 * 3;

std::string halted(std::string_view msg, bool pointer = true) {
  std::string line = " ";
  return line.append(fixed(std::string(msg) + (pointer ? "   --   See the list file" : ""), 132));
}

struct Row {
  const char* what;
  std::function<void(const fs::path&)> prepare;
  int status;
  std::string want;  // exact standard error, or the console's last line if it starts with a blank
  std::set<std::string> created;
  std::vector<std::string> args = {};
  long ulimit_kib = 0;
  std::function<void(const fs::path&)> check = nullptr;
};

void write(const fs::path& p, const std::string& s) { test::write_text(p, s); }
void write(const fs::path& p, const Bytes& b) { test::write_bytes(p, b); }

std::string many_postfiles(int n) {
  std::string ou;
  for (int i = 0; i < n; ++i) ou += "OU POSTFILE 1 ALL UNFORM P" + std::to_string(i) + ".BIN\n";
  return ou;
}

std::string many_receptors(int n) {
  std::string re;
  for (int i = 0; i < n; ++i) re += "RE DISCCART " + std::to_string(i) + " 1 2\n";
  return re;
}

void check(const Row& row) {
  SCOPED_TRACE(row.what);
  test::TempDir tmp;
  const fs::path run = tmp / "run";
  fs::create_directory(run);
  row.prepare(run);
  const auto before = snapshot(run);
  const Outcome o = run_binary(run, row.args, row.ulimit_kib);
  EXPECT_EQ(o.status, row.status);
  if (!row.want.empty() && row.want.front() == ' ') {
    EXPECT_EQ(last_line(o.console), row.want);
  } else {
    EXPECT_EQ(o.err, row.want);
  }
  const auto after = snapshot(run);
  std::set<std::string> created;
  for (const auto& [name, bytes] : after) {
    const auto it = before.find(name);
    if (it == before.end()) {
      created.insert(name);
    } else {
      EXPECT_EQ(bytes, it->second) << name << " changed";
    }
  }
  EXPECT_EQ(created, row.created);
  if (row.check) row.check(run);
}

TEST(BadInput, Table) {
  std::mt19937 random(20261207);
  std::string junk(4096, '\0');
  for (char& c : junk) c = static_cast<char>(random() % 256);
  const std::string warn_cut = "WARNING: POST.BIN ends inside a record; its incomplete last record was not converted\n";
  const std::set<std::string> kst = {"AERMOD.INP.kst"};
  const std::set<std::string> kst_gdx = {"AERMOD.INP.kst", "POST.BIN.gdx"};
  const std::string r4 = halted("ERROR reading AERMOD file as R*4", false);
  const std::string r8 = halted("ERROR reading AERMOD file as R*8", false);
  const auto periods = [](std::size_t n) {
    return [n](const fs::path& d) { EXPECT_EQ(fs::file_size(d / "POST.BIN.gdx"), kHeader + n * 115); };
  };
  const auto records = [](int n) {
    Bytes b;
    for (int i = 0; i < n; ++i) b = cat({b, test::postfile_record(88010101 + i, {1.0, 2.0, 3.0})});
    return b;
  };

  const std::vector<Row> rows = {
      {"missing control file", [](const fs::path&) {}, 2,
       "kestrel: . has no AERMOD.INP; no .inp file\n", {}},
      {"control file that is a folder", [](const fs::path& d) { fs::create_directory(d / "AERMOD.INP"); }, 2,
       "kestrel: cannot open control file 'AERMOD.INP': Is a directory\n", {}},
      {"binary junk", [&](const fs::path& d) { write(d / "AERMOD.INP", junk); }, 1,
       halted("Halted in SETUP:  Must ONLY have Concentrations!", false), kst},
      {"a 1 MB single line", [](const fs::path& d) { write(d / "AERMOD.INP", "CO MODELOPT CONC " + std::string(1 << 20, 'x')); },
       1, halted("Halted in SETUP:  no receptors found!", false), kst},
      {"NUL bytes",
       [](const fs::path& d) {
         write(d / "AERMOD.INP", deck() + std::string("CO TITLEONE a\0b\n**\0\0\n", 20));
         write(d / "POST.BIN", kRecord);
       },
       0, "", kst_gdx},
      {"CRLF and tabs",
       [](const fs::path& d) {
         write(d / "AERMOD.INP", "CO MODELOPT\tCONC\r\nCO POLLUTID SO2\r\nRE DISCCART\t1\t2\t3\r\n"
                                 "ME STARTEND\t88\t1\t1\t1\t88\t1\t1\t1\r\nOU POSTFILE 1 ALL UNFORM POST.BIN\r\n");
         write(d / "POST.BIN", test::postfile_record(88010101, {1.0}));
       },
       0, "", kst_gdx},
      {"no MODELOPT", [](const fs::path& d) { write(d / "AERMOD.INP", deck("", "", "ME STARTEND 88 1 1 88 1 2\n", "")); },
       1, halted("Halted in SETUP:  Must ONLY have Concentrations!", false), kst},
      {"DAYRANGE", [](const fs::path& d) { write(d / "AERMOD.INP", deck("ME DAYRANGE 1-4\n")); }, 1,
       halted("Halted in SETUP:  DAYRANGE is not supported!", false), kst},
      {"no receptors", [](const fs::path& d) { write(d / "AERMOD.INP", "CO MODELOPT CONC\n"); }, 1,
       halted("Halted in SETUP:  no receptors found!", false), kst},
      {"101 POSTFILE names", [](const fs::path& d) { write(d / "AERMOD.INP", deck("", many_postfiles(101))); }, 1,
       halted("Halted in SETUP:  there are too many file names"), kst},
      {"a polar receptor around an unknown source",
       [](const fs::path& d) { write(d / "AERMOD.INP", deck("RE DISCPOLR STK9 100. 90.\n")); }, 1,
       halted("Halted in SETUP:  unknown source for a polar receptor"), kst},
      {"a receptor network without END",
       [](const fs::path& d) { write(d / "AERMOD.INP", deck("RE GRIDCART G1 STA\nRE GRIDCART G1 XYINC 0 2 1 0 2 1\n")); },
       1, halted("Halted in SETUP:  invalid receptor network"), kst},
      {"invalid STARTEND", [](const fs::path& d) { write(d / "AERMOD.INP", deck("", "", "ME STARTEND 88 1 1 88\n")); },
       1, halted("Halted in SETUP:  invalid STARTEND values"), kst},
      {"impossible STARTEND date",
       [](const fs::path& d) { write(d / "AERMOD.INP", deck("", "", "ME STARTEND 88 2 30 88 3 1\n")); }, 1,
       halted("Halted in JULDAY:  Invalid date"), kst},
      {"invalid receptor entry", [](const fs::path& d) { write(d / "AERMOD.INP", deck("RE DISCCART 1 x 2\n")); }, 1,
       halted("Halted in SETUP:  invalid receptor entry"), kst},
      {"10,001 receptors", [](const fs::path& d) { write(d / "AERMOD.INP", deck(many_receptors(9998))); }, 1,
       halted("Halted in SETUP:  too many receptors"), kst},
      {"POSTFILE name missing",
       [](const fs::path& d) { write(d / "AERMOD.INP", deck("", "OU POSTFILE 1 ALL UNFORM\n")); }, 1,
       halted("Halted in SETUP:  POSTFILE name is missing"), kst},
      {"POSTFILE name too long",
       [](const fs::path& d) { write(d / "AERMOD.INP", deck("", "OU POSTFILE 1 ALL UNFORM " + std::string(129, 'P') + "\n")); },
       1, halted("Halted in SETUP:  POSTFILE name is too long"), kst},
      {"empty POSTFILE",
       [](const fs::path& d) {
         write(d / "AERMOD.INP", deck());
         write(d / "POST.BIN", Bytes{});
       },
       0, "WARNING: POST.BIN holds no records\n", kst_gdx, {}, 0,
       [](const fs::path& d) { EXPECT_EQ(fs::file_size(d / "POST.BIN.gdx"), kHeader); }},
      {"POSTFILE cut inside a record",
       [](const fs::path& d) {
         Bytes b = cat({kRecord, kRecord});
         b.erase(b.end() - 7, b.end());
         write(d / "AERMOD.INP", deck());
         write(d / "POST.BIN", b);
       },
       0, warn_cut, kst_gdx, {}, 0,
       [](const fs::path& d) { EXPECT_EQ(fs::file_size(d / "POST.BIN.gdx"), kHeader + 115); }},
      {"record too short for both modes",
       [](const fs::path& d) {
         write(d / "AERMOD.INP", deck());
         write(d / "POST.BIN", test::postfile_record(88010101, {1.0}, false));
       },
       1, r4, kst_gdx},
      {"negative length marker",
       [](const fs::path& d) {
         write(d / "AERMOD.INP", deck());
         write(d / "POST.BIN", cat({le32(-40), Bytes(48)}));
       },
       1, r8, kst_gdx, {}, 0, periods(0)},
      {"eight zero bytes after the records",
       [&](const fs::path& d) {
         write(d / "AERMOD.INP", deck("", "OU POSTFILE 1 ALL UNFORM POST.BIN\n", "ME STARTEND 88 1 1 1 88 1 1 2\n"));
         write(d / "POST.BIN", cat({records(2), Bytes(8)}));
       },
       1, r8, kst_gdx, {}, 0,
       [&](const fs::path& d) {
         periods(2)(d);
         EXPECT_NE(test::read_text(d / "AERMOD.INP.kst").find(" Record 3 at byte 96 cannot be read\n"), std::string::npos);
       }},
      {"a negative marker in the sixth record",
       [&](const fs::path& d) {
         write(d / "AERMOD.INP", deck());
         write(d / "POST.BIN", cat({records(5), le32(-40), Bytes(48)}));
       },
       1, r8, kst_gdx, {}, 0, periods(5)},
      {"a length marker that lies mid-file",
       [&](const fs::path& d) {
         write(d / "AERMOD.INP", deck());
         Bytes b = records(4);
         b[48] = std::byte{60};  // the second record's marker
         write(d / "POST.BIN", b);
       },
       1, r8, kst_gdx, {}, 0, periods(1)},
      {"a formatted POSTFILE named UNFORM",
       [](const fs::path& d) {
         write(d / "AERMOD.INP", deck());
         write(d / "POST.BIN", std::string("* AERMOD ( 24142): \n*         X             Y      AVERAGE CONC\n"));
       },
       1, r8, kst_gdx, {}, 0,
       [&](const fs::path& d) {
         periods(0)(d);
         EXPECT_NE(test::read_text(d / "AERMOD.INP.kst")
                       .find(" POST.BIN is a formatted (PLOT) POSTFILE; its POSTFILE line says UNFORM\n"),
                   std::string::npos);
       }},
      {"month-13 stamp",
       [](const fs::path& d) {
         write(d / "AERMOD.INP", deck());
         write(d / "POST.BIN", cat({kRecord, test::postfile_record(88130101, {1, 2, 3})}));
       },
       1, halted("Halted in JULDAY:  Invalid date"), kst_gdx, {}, 0,
       [](const fs::path& d) { EXPECT_EQ(fs::file_size(d / "POST.BIN.gdx"), kHeader + 115); }},
      {"STARTEND ending before it begins",
       [](const fs::path& d) {
         write(d / "AERMOD.INP", deck("", "OU POSTFILE 1 ALL UNFORM POST.BIN\n", "ME STARTEND 88 1 10 1 88 1 1 1\n"));
         write(d / "POST.BIN", kRecord);
       },
       0, "WARNING: POST.BIN holds 1 period but the run period has -215 hours\n", kst_gdx},
      {"no STARTEND and no records",
       [](const fs::path& d) {
         write(d / "AERMOD.INP", deck("", "OU POSTFILE 1 ALL UNFORM POST.BIN\n", ""));
         write(d / "POST.BIN", Bytes{});
       },
       1, halted("Halted in COMP:  no run period: no STARTEND and no records"), kst},
      {"dataset name taken by a folder",
       [](const fs::path& d) {
         write(d / "AERMOD.INP", deck());
         write(d / "POST.BIN", kRecord);
         fs::create_directory(d / "POST.BIN.gdx");
       },
       2, "kestrel: cannot create dataset 'POST.BIN.gdx': Is a directory\n", kst},
      {"POSTFILE name differing only by case",
       [](const fs::path& d) {
         write(d / "AERMOD.INP", deck("", "OU POSTFILE 1 ALL UNFORM Post.Bin\n"));
         write(d / "post.bin", kRecord);
       },
       0, "", {"AERMOD.INP.kst", "post.bin.gdx"}},
      {"name with backslashes",
       [](const fs::path& d) {
         write(d / "AERMOD.INP", deck("", "OU POSTFILE 1 ALL UNFORM sub\\post.bin\n"));
         fs::create_directory(d / "sub");
         write(d / "sub" / "post.bin", kRecord);
       },
       0, "", {"AERMOD.INP.kst", "sub/post.bin.gdx"}},
      {"names outside ASCII and the system code page",
       [](const fs::path& d) {
         write(d / "AERMOD.INP", deck("RE INCLUDED \xCE\xB4\xCE\xAD\xCE\xBA\xCF\x84\xCE\xB5\xCF\x82.dat\n",
                                      "OU POSTFILE 1 ALL UNFORM \xC3\x84rger_\xE5\x8C\x97.bin\n"));
         write(d / u8"δέκτες.dat", std::string("RE DISCCART 5 5 0\n"));
         write(d / u8"Ärger_北.bin", test::postfile_record(88010101, {1.0, 2.0, 3.0, 4.0}));
       },
       0, "", {"AERMOD.INP.kst", "\xC3\x84rger_\xE5\x8C\x97.bin.gdx"}},
  };

  for (const auto& row : rows) check(row);
}

// The length marker never sizes memory: a 2 GB one in a small file is a
// first record cut short, also with 100 MB of address space; after a first
// record of another length it is damage.
TEST(BadInput, HugeLengthMarkerInSmallAddressSpace) {
  if (kAddressSpaceLimit > 0 && !test::can_limit_address_space()) {
    GTEST_SKIP() << "this system cannot limit a process's address space";
  }
  check({"2 GB length marker in a small file",
         [](const fs::path& d) {
           write(d / "AERMOD.INP", deck());
           write(d / "POST.BIN", cat({le32(0x7ffffff0), Bytes(100)}));
         },
         0,
         "WARNING: POST.BIN ends inside a record; its incomplete last record was not converted\n"
         "WARNING: POST.BIN holds no records\n",
         {"AERMOD.INP.kst", "POST.BIN.gdx"}, {}, kAddressSpaceLimit});
  check({"2 GB length marker after a record",
         [](const fs::path& d) {
           write(d / "AERMOD.INP", deck());
           write(d / "POST.BIN", cat({kRecord, le32(0x7ffffff0), Bytes(100)}));
         },
         1, halted("ERROR reading AERMOD file as R*8", false), {"AERMOD.INP.kst", "POST.BIN.gdx"}, {},
         kAddressSpaceLimit});
}

// Replacing a dataset that another program holds open: Windows refuses, and
// that is the dataset's I/O failure, with the old dataset kept whole.
TEST(BadInput, DatasetHeldOpen) {
  test::TempDir tmp;
  const fs::path run = tmp / "run";
  fs::create_directory(run);
  write(run / "AERMOD.INP", deck());
  write(run / "POST.BIN", kRecord);
  ASSERT_EQ(run_binary(run).status, 0);
  const Bytes before = test::read_bytes(run / "POST.BIN.gdx");
  write(run / "POST.BIN", test::postfile_record(88010101, {4.0, 5.0, 6.0}));
  std::ifstream held(run / "POST.BIN.gdx", std::ios::binary);
  ASSERT_TRUE(held.is_open());
  const Outcome o = run_binary(run);
#ifndef _WIN32
  // POSIX systems replace the name; the reader keeps the old file.
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_NE(test::read_bytes(run / "POST.BIN.gdx"), before);
#else
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err.rfind("kestrel: cannot create dataset 'POST.BIN.gdx': ", 0), 0U) << o.err;
  EXPECT_EQ(test::read_bytes(run / "POST.BIN.gdx"), before);
#endif
  EXPECT_FALSE(fs::exists(run / "POST.BIN.gdx.part"));
}

TEST(BadInput, FullDisk) {
  test::TempDir tmp;
  const fs::path run = tmp / "run";
  fs::create_directory(run);
#ifdef _WIN32
  GTEST_SKIP() << "no small file system to fill on Windows (tmpfs)";
#else
  if (::mount("tmpfs", run.c_str(), "tmpfs", 0, "size=256k") != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
#endif
  struct Unmount {
    fs::path p;
#ifndef _WIN32
    ~Unmount() { ::umount(p.c_str()); }
#endif
  } unmount{run};
  // 2000 records of three 4-byte values: a 72 kB POSTFILE whose dataset
  // (230 kB) does not fit beside it.
  Bytes post;
  for (int h = 0; h < 2000; ++h) {
    const auto r = test::postfile_record(88010101 + (h % 24), {1.0, 2.0, 3.0}, false);
    post.insert(post.end(), r.begin(), r.end());
  }
  test::write_text(run / "AERMOD.INP", deck());
  test::write_bytes(run / "POST.BIN", post);
  const Outcome o = run_binary(run);
  EXPECT_EQ(o.status, 2);
  // The dataset is written in large blocks, so the failure may come at its
  // close, after the POSTFILE's warnings.
  const std::string want = "kestrel: cannot write dataset 'POST.BIN.gdx': No space left on device\n";
  ASSERT_GE(o.err.size(), want.size());
  EXPECT_EQ(o.err.substr(o.err.size() - want.size()), want);
  EXPECT_EQ(o.console.find("NORMAL TERMINATION"), std::string::npos);
  EXPECT_FALSE(fs::exists(run / "POST.BIN.gdx"));
  EXPECT_FALSE(fs::exists(run / "POST.BIN.gdx.part"));
  EXPECT_EQ(test::read_bytes(run / "POST.BIN"), post);
}


// A run folder in `tmp` holding the control file `deck`.
fs::path make_run(const test::TempDir& tmp, const std::string& deck) {
  const fs::path run = tmp / "run";
  fs::create_directory(run);
  test::write_text(run / "AERMOD.INP", deck);
  return run;
}

// A run killed part-way leaves the previous complete dataset (or none) under
// the final name; the next run completes and leaves no temporary file.
TEST(KillTest, NeverAPartialDataset) {
  test::TempDir tmp;
  // Many one-receptor records: a conversion long enough to be killed.
  const std::size_t records = 1500000;
  const fs::path run = make_run(tmp, "CO MODELOPT CONC\nRE DISCCART 1 2 3\nME STARTEND 88 1 1 88 1 2\n"
                                          "OU POSTFILE 1 ALL UNFORM POST.BIN\n");
  test::write_bytes(run / "POST.BIN", many_records(records));

  const fs::path gdx = run / "POST.BIN.gdx";
  const fs::path part = run / "POST.BIN.gdx.part";
  for (const bool previous : {false, true}) {
    SCOPED_TRACE(previous ? "over a previous dataset" : "first run");
    std::optional<Bytes> before;
    if (previous) {
      ASSERT_EQ(run_binary(run).status, 0);
      before = test::read_bytes(gdx);
    }
    test::Process p(KESTREL_BINARY, {}, run);
    // Kill it once its temporary dataset has grown past its header.
    if (test::wait_for_growth(part, 100000)) p.kill();
    if (p.wait().status != -1) GTEST_SKIP() << "the conversion finished before it could be killed";
    if (before) {
      EXPECT_EQ(test::read_bytes(gdx), *before);
    } else {
      EXPECT_FALSE(fs::exists(gdx));
    }
    const Outcome o = run_binary(run);
    EXPECT_EQ(o.status, 0);
    EXPECT_FALSE(fs::exists(part));
    EXPECT_EQ(fs::file_size(gdx), 1023 + 8 + 12 + records * (40 + 40 + 8 + 15 + 4));
  }
}

// Ctrl-C and SIGTERM stop the conversion between records: the dataset being
// written is dropped, the previous one kept, and the run says so.
TEST(KillTest, InterruptKeepsThePreviousDataset) {
  test::TempDir tmp;
  const fs::path run = make_run(tmp, "CO MODELOPT CONC\nRE DISCCART 1 2 3\nME STARTEND 88 1 1 88 1 2\n"
                                          "OU POSTFILE 1 ALL UNFORM POST.BIN\n");
  test::write_bytes(run / "POST.BIN", many_records(1500000));
  ASSERT_EQ(run_binary(run).status, 0);
  const Bytes before = test::read_bytes(run / "POST.BIN.gdx");
  for (const auto& [sig, status] : test::kInterruptSignals) {
    SCOPED_TRACE(sig);
    test::Process p(KESTREL_BINARY, {}, run);
    const bool grown = test::wait_for_growth(run / "POST.BIN.gdx.part", 100000);
    if (grown && !p.interrupt(sig)) GTEST_SKIP() << "this system cannot interrupt one program alone";
    const Outcome o = p.wait();
    if (!grown) GTEST_SKIP() << "the conversion finished before it could be interrupted";
    EXPECT_EQ(o.status, status);
    EXPECT_EQ(o.err, "kestrel: interrupted\n");
    EXPECT_EQ(test::lines_of(test::read_text(run / "AERMOD.INP.kst")).back(), " kestrel: interrupted");
    EXPECT_FALSE(fs::exists(run / "POST.BIN.gdx.part"));
    EXPECT_EQ(test::read_bytes(run / "POST.BIN.gdx"), before);
  }
}

// A run killed in its second POSTFILE leaves the list file up to that
// POSTFILE (on one thread; side by side, up to the earliest one unfinished).
TEST(KillTest, ListFileUpToThePostfileBeingConverted) {
  test::TempDir tmp;
  const fs::path run = make_run(tmp, "CO MODELOPT CONC\nRE DISCCART 1 2 3\nME STARTEND 88 1 1 1 88 1 1 1\n"
                                          "OU POSTFILE 1 ALL UNFORM ONE.BIN\nOU POSTFILE 1 ALL UNFORM TWO.BIN\n");
  test::write_bytes(run / "ONE.BIN", many_records(1));
  test::write_bytes(run / "TWO.BIN", many_records(1500000));
  test::Process p(KESTREL_BINARY, {"-j", "1"}, run);
  if (test::wait_for_growth(run / "TWO.BIN.gdx.part", 100000)) p.kill();
  if (p.wait().status != -1) GTEST_SKIP() << "the conversion finished before it could be killed";
  const auto lines = test::lines_of(test::read_text(run / "AERMOD.INP.kst"));
  ASSERT_GE(lines.size(), 4U);
  EXPECT_EQ(lines[lines.size() - 4], " Processing: " + fixed("ONE.BIN", 132));
  EXPECT_EQ(lines.back(), " Processing: " + fixed("TWO.BIN", 132));
}

}  // namespace
}  // namespace kestrel

namespace kestrel {
namespace {

#ifndef _WIN32
// Files that are not regular files are refused before they are read: a FIFO
// would wait for a writer, a device never end.
TEST(BadInput, OnlyRegularFilesAreRead) {
  const auto fifo = [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); };
  const std::vector<Row> rows = {
      {"a FIFO as control file", [&](const fs::path& d) { fifo(d / "AERMOD.INP"); }, 2,
       "kestrel: cannot open control file 'AERMOD.INP': Not a regular file\n", {}},
      {"a FIFO as included receptor file",
       [&](const fs::path& d) {
         write(d / "AERMOD.INP", deck("RE INCLUDED REC.DAT\n"));
         fifo(d / "REC.DAT");
       },
       2, "kestrel: cannot open receptor file 'REC.DAT': Not a regular file\n", {"AERMOD.INP.kst"}},
      {"/dev/zero as included source file",
       [](const fs::path& d) {
         write(d / "AERMOD.INP", "SO INCLUDED ZERO.DAT\n" + deck());
         fs::create_symlink("/dev/zero", d / "ZERO.DAT");
       },
       2, "kestrel: cannot open source file 'ZERO.DAT': Not a regular file\n", {"AERMOD.INP.kst"}},
      {"a FIFO as POSTFILE",
       [&](const fs::path& d) {
         write(d / "AERMOD.INP", deck());
         fifo(d / "POST.BIN");
       },
       2, "kestrel: cannot open POSTFILE 'POST.BIN': Not a regular file\n", {"AERMOD.INP.kst"}},
  };
  for (const auto& row : rows) check(row);
}

// A link planted where KESTREL writes is replaced, never written through.
TEST(BadInput, NoWriteThroughALink) {
  for (const char* planted : {"POST.BIN.gdx.part", "AERMOD.INP.kst"}) {
    SCOPED_TRACE(planted);
    test::TempDir tmp;
    const fs::path run = tmp / "run";
    fs::create_directory(run);
    write(run / "AERMOD.INP", deck());
    write(run / "POST.BIN", kRecord);
    write(tmp / "target.txt", std::string("keep me\n"));
    fs::create_symlink(tmp / "target.txt", run / planted);
    const Outcome o = run_binary(run);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(test::read_text(tmp / "target.txt"), "keep me\n");
    EXPECT_FALSE(fs::exists(run / "POST.BIN.gdx.part"));
    EXPECT_FALSE(fs::is_symlink(run / "AERMOD.INP.kst"));
    EXPECT_EQ(fs::file_size(run / "POST.BIN.gdx"), kHeader + 115);
    EXPECT_NE(test::read_text(run / "AERMOD.INP.kst").find("\n NORMAL TERMINATION\n"), std::string::npos);
  }
}

// A second KESTREL on the same control file stops at once and touches
// nothing; the first goes on to its end.
TEST(KillTest, SecondRunOnTheSameControlFileStops) {
  test::TempDir tmp;
  const fs::path run = make_run(tmp, "CO MODELOPT CONC\nRE DISCCART 1 2 3\nME STARTEND 88 1 1 88 1 2\n"
                                          "OU POSTFILE 1 ALL UNFORM POST.BIN\n");
  test::write_bytes(run / "POST.BIN", many_records(1500000));
  test::Process first(KESTREL_BINARY, {}, run);
  const bool grown = test::wait_for_growth(run / "POST.BIN.gdx.part", 100000);
  const Outcome second = run_binary(run);
  const Outcome o = first.wait();
  if (!grown) GTEST_SKIP() << "the conversion finished before a second one could start";
  EXPECT_EQ(second.status, 2);
  EXPECT_EQ(second.err, "kestrel: 'AERMOD.INP' is being converted by another kestrel\n");
  EXPECT_EQ(o.status, 0) << o.err;
  const std::string list = test::read_text(run / "AERMOD.INP.kst");
  EXPECT_EQ(list.find(" Opening file: AERMOD.INP"), list.rfind(" Opening file: AERMOD.INP"));
  EXPECT_NE(list.find("\n NORMAL TERMINATION\n"), std::string::npos);
  EXPECT_EQ(fs::file_size(run / "POST.BIN.gdx"), 1023 + 8 + 12 + 1500000 * (40 + 40 + 8 + 15 + 4));
}

// Ctrl-C stops a run that is reading an endless (sparse, 1 TB) included file.
TEST(KillTest, InterruptDuringSetup) {
  test::TempDir tmp;
  const fs::path run = make_run(tmp, "CO MODELOPT CONC\nRE INCLUDED BIG.DAT\nRE DISCCART 1 2 3\n"
                                          "OU POSTFILE 1 ALL UNFORM POST.BIN\n");
  {
    std::ofstream big(run / "BIG.DAT");
  }
  std::error_code ec;
  fs::resize_file(run / "BIG.DAT", std::uint64_t{1} << 40, ec);
  if (ec) GTEST_SKIP() << "no sparse 1 TB file here";
  test::Process p(KESTREL_BINARY, {}, run);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(p.interrupt(SIGINT));
  const Outcome o = p.wait();
  EXPECT_EQ(o.status, 130);
  EXPECT_EQ(o.err, "kestrel: interrupted\n");
}
#endif

}  // namespace
}  // namespace kestrel
