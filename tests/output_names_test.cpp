// The output names of the three programs, on a real run: a file or a link
// at the name is replaced (the link, never its target); a FIFO or a folder
// is refused, and so is an output that is one of the command's inputs or,
// for kestrel's --summary, any file of the study. A refusal comes before
// any work: every file and node stays as it was.
#include <gtest/gtest.h>

#include <algorithm>

#include <map>
#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "inspect/inspect.hpp"
#include "join/join_support.hpp"
#include "support.hpp"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

enum class Program { kestrel, join, inspect };

struct Row {
  const char* what;
  Program program;
  // "{d}" stands for the run's folder: kestrel-inspect takes names from the
  // current folder, the others from the run's.
  std::vector<std::string> args;
  int status;
  std::string err;  // exact; "{d}" as above
  const char* output = "";  // for an allowed output: the name that must be a file now
  const char* removed = "";  // removed before the command: a dataset not written yet
  bool posix = false;        // needs a FIFO or a link
};

std::string with_dir(std::string s, const fs::path& dir) {
  for (std::size_t at; (at = s.find("{d}")) != std::string::npos;) s.replace(at, 3, dir.string());
  return s;
}

// Every entry of the folder: its kind and, for a file, its bytes.
using Entries = std::map<std::string, std::pair<fs::file_type, test::Bytes>>;
Entries entries(const fs::path& dir) {
  Entries all;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const fs::file_type t = e.symlink_status().type();
    all[fs::relative(e.path(), dir).generic_string()] = {t, t == fs::file_type::regular ? test::read_bytes(e.path())
                                                                                       : test::Bytes{}};
  }
  return all;
}

// The names made, removed or changed.
std::vector<std::string> changed(const Entries& before, const Entries& after) {
  std::vector<std::string> names;
  for (const auto& [name, entry] : after) {
    if (!before.contains(name) || before.at(name) != entry) names.push_back(name);
  }
  for (const auto& [name, entry] : before) {
    if (!after.contains(name)) names.push_back(name);
  }
  return names;
}

struct Ran {
  int status;
  std::string err;
};

Ran run(const Row& row, const fs::path& dir) {
  std::vector<std::string> args;
  for (const std::string& a : row.args) args.push_back(with_dir(a, dir));
  switch (row.program) {
    case Program::kestrel: {
      const test::RunResult r = test::run_in(dir, args);
      return {r.status, r.err};
    }
    case Program::join: {
      const join::test::Ran r = join::test::run(dir, args);
      return {r.status, r.err};
    }
    case Program::inspect:
      break;
  }
  std::ostringstream out, err;
  const int status = inspect::run_inspect(args, out, err);
  return {status, err.str()};
}

// The run converted, a second name for its dataset, a file, a link to
// another and a folder (each row's FIFO is made in its own copy).
void make_folder(const fs::path& dir) {
  for (const auto& e : fs::directory_iterator(fs::path(KESTREL_TEST_DATA) / "aertest-disccart" / "input")) {
    fs::copy_file(e.path(), dir / e.path().filename());
  }
  ASSERT_EQ(test::run_in(dir).status, 0);
  fs::copy_file(dir / "AERTEST_01H.BIN.gdx", dir / "b.gdx");
  test::write_text(dir / "old.out", "an earlier output\n");
  fs::create_directory(dir / "folder");
#ifndef _WIN32
  test::write_text(dir / "target.txt", "a link's target\n");
  fs::create_symlink("target.txt", dir / "link");
#endif
}

TEST(OutputNames, EveryProgramRefusesDevicesFoldersAndItsInputs) {
  using P = Program;
  const std::vector<Row> rows = {
      {"kestrel: a file", P::kestrel, {"--summary", "old.out"}, 0, "", "old.out"},
      {"kestrel: a link", P::kestrel, {"--summary", "link"}, 0, "", "link", "", true},
      {"kestrel: a FIFO", P::kestrel, {"--summary", "fifo"}, 2, "kestrel: cannot write 'fifo': not a regular file\n",
       "", "", true},
      {"kestrel: a folder", P::kestrel, {"--summary", "folder"}, 2,
       "kestrel: cannot create summary file 'folder': Is a directory\n"},
      {"kestrel: no such folder", P::kestrel, {"--summary", "none/s.json"}, 2,
       "kestrel: cannot create summary file 'none/s.json': No such file or directory\n"},
      {"kestrel: the control file", P::kestrel, {"--summary", "AERMOD.INP"}, 2,
       "kestrel: --summary 'AERMOD.INP' is the control file of run 'AERMOD.INP'\n"},
      {"kestrel: the POSTFILE", P::kestrel, {"--summary", "AERTEST_01H.BIN", "."}, 2,
       "kestrel: --summary 'AERTEST_01H.BIN' is the POSTFILE 'AERTEST_01H.BIN' of run '.'\n"},
      {"kestrel: a dataset", P::kestrel, {"--summary", "AERTEST_01H.BIN.gdx"}, 2,
       "kestrel: --summary 'AERTEST_01H.BIN.gdx' is the dataset 'AERTEST_01H.BIN.gdx' of run 'AERMOD.INP'\n"},
      {"kestrel: a dataset not written yet", P::kestrel, {"--summary", "folder/../AERTEST_01H.BIN.gdx"}, 2,
       "kestrel: --summary 'folder/../AERTEST_01H.BIN.gdx' is the dataset 'AERTEST_01H.BIN.gdx' of run "
       "'AERMOD.INP'\n",
       "", "AERTEST_01H.BIN.gdx"},
      {"kestrel: the list file", P::kestrel, {"--summary", "AERMOD.INP.kst"}, 2,
       "kestrel: --summary 'AERMOD.INP.kst' is the list file of run 'AERMOD.INP'\n"},
      {"kestrel-join: a file", P::join, {"--sum", "-o", "old.out", "AERTEST_01H.BIN.gdx", "b.gdx"}, 0, "",
       "old.out"},
      {"kestrel-join: a link", P::join, {"--sum", "-o", "link", "AERTEST_01H.BIN.gdx", "b.gdx"}, 0, "", "link", "",
       true},
      {"kestrel-join: a FIFO", P::join, {"--sum", "-o", "fifo", "AERTEST_01H.BIN.gdx", "b.gdx"}, 2,
       "kestrel-join: cannot write 'fifo': not a regular file\n", "", "", true},
      {"kestrel-join: a folder", P::join, {"--sum", "-o", "folder", "AERTEST_01H.BIN.gdx", "b.gdx"}, 2,
       "kestrel-join: cannot create dataset 'folder': Is a directory\n"},
      {"kestrel-join: an input", P::join, {"--sum", "-o", "folder/../b.gdx", "AERTEST_01H.BIN.gdx", "b.gdx"}, 2,
       "kestrel-join: the output 'folder/../b.gdx' is the input 'b.gdx'\n"},
      {"kestrel-inspect: a file", P::inspect, {"--svg", "{d}/old.out", "{d}/b.gdx"}, 0, "", "old.out"},
      {"kestrel-inspect: a link", P::inspect, {"--svg", "{d}/link", "{d}/b.gdx"}, 0, "", "link", "", true},
      {"kestrel-inspect: a FIFO", P::inspect, {"--svg-series", "{d}/fifo", "{d}/b.gdx"}, 2,
       "kestrel-inspect: cannot write '{d}/fifo': not a regular file\n", "", "", true},
      {"kestrel-inspect: a folder", P::inspect, {"--svg", "{d}/folder", "{d}/b.gdx"}, 2,
       "kestrel-inspect: cannot create '{d}/folder': Is a directory\n"},
      {"kestrel-inspect: its own picture", P::inspect, {"--svg", "{d}/b.gdx", "{d}/b.gdx"}, 2,
       "kestrel-inspect: the output '{d}/b.gdx' is the input '{d}/b.gdx'\n"},
      {"kestrel-inspect: a control file beside, read to find the file's run", P::inspect,
       {"--svg", "{d}/AERMOD.INP", "{d}/b.gdx"}, 2,
       "kestrel-inspect: the output '{d}/AERMOD.INP' is the control file '{d}/AERMOD.INP'\n"},
  };
  const test::TempDir made;
  make_folder(made.path());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
#ifdef _WIN32
    if (row.posix) continue;
#endif
#ifndef KESTREL_HAVE_JSON
    if (row.program == Program::kestrel) continue;
#endif
    const test::TempDir dir;
    for (const auto& e : fs::directory_iterator(made.path())) {
      fs::copy(e.path(), dir.path() / e.path().filename(), fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    }
#ifndef _WIN32
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
#endif
    if (*row.removed != '\0') fs::remove(dir / row.removed);
    const auto before = entries(dir.path());
    const Ran r = run(row, dir.path());
    EXPECT_EQ(r.status, row.status);
    // Windows joins a folder and a name found in it with a backslash.
    const auto slashed = [](std::string t) {
      std::replace(t.begin(), t.end(), '\\', '/');
      return t;
    };
    EXPECT_EQ(slashed(r.err), slashed(with_dir(row.err, dir.path())));
    if (row.status != 0) {
      EXPECT_EQ(changed(before, entries(dir.path())), std::vector<std::string>{});
      continue;
    }
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / row.output)));
    EXPECT_FALSE(fs::exists(dir / (std::string(row.output) + ".part")));
#ifndef _WIN32
    EXPECT_EQ(test::read_text(dir / "target.txt"), "a link's target\n");
#endif
  }
}

}  // namespace
}  // namespace kestrel
