// Helpers shared by the tests: temporary run folders, files as bytes, hand-
// built POSTFILE records and in-process runs of the whole program.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/report.hpp"
#include "base/status.hpp"
#include "setup/ctrl.hpp"

namespace kestrel::dataset {
struct HeaderArgs;
}

namespace kestrel::test {

// The source tree's tests/data, the unpacked runs with a year or more of met,
// and the programs under test (tests/paths.cpp).
const char* test_data_dir();
const char* averages_dir();
const char* kestrel_binary();
const char* join_binary();

}  // namespace kestrel::test
#define KESTREL_TEST_DATA (::kestrel::test::test_data_dir())
#define KESTREL_AVERAGES (::kestrel::test::averages_dir())
#define KESTREL_BINARY (::kestrel::test::kestrel_binary())
#define KESTREL_JOIN_BINARY (::kestrel::test::join_binary())

namespace kestrel::test {

using Bytes = std::vector<std::byte>;

class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();
  [[nodiscard]] const std::filesystem::path& path() const noexcept { return path_; }
  [[nodiscard]] std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

Bytes read_bytes(const std::filesystem::path& p);
// The text of a file, its line ends normalised (see normalised_text).
std::string read_text(const std::filesystem::path& p);
void write_bytes(const std::filesystem::path& p, const Bytes& b);
void write_text(const std::filesystem::path& p, std::string_view s);

// Little-endian byte builder for expected files and hand-made inputs.
class ByteBuilder {
 public:
  ByteBuilder& i32(std::int32_t v);
  ByteBuilder& f32(float v);
  ByteBuilder& f64(double v);
  ByteBuilder& text(std::string_view s);
  ByteBuilder& text(std::string_view s, std::size_t width);
  ByteBuilder& raw(const Bytes& b);
  // Frames everything added since the last record() call as one record.
  ByteBuilder& record();
  [[nodiscard]] const Bytes& bytes() const noexcept { return out_; }

 private:
  Bytes out_;
  Bytes pending_;
};

// One POSTFILE record as AERMOD writes it.
Bytes postfile_record(std::int32_t kurdat, std::vector<double> values, bool real8 = true, std::int32_t kave = 1,
                      std::string_view grpid = "ALL");

// Keeps the lines a routine reports as the driver would write them: `list`
// gets every line, `console` the progress lines, `err` the warnings.
class RecordingReport final : public Report {
 public:
  void note(std::string_view line) override { list.append(line).append("\n"); }
  void progress(std::string_view line) override {
    note(line);
    console.append(line).append("\n");
  }
  void warn(std::string_view text) override;
  // A halt's lines, as the driver writes them after the routine returns.
  void lines_of(const Status& s) {
    for (const auto& l : s.lines()) note(l);
  }
  std::string list, console, err;
};

struct RunResult {
  int status = -1;
  std::string console;
  std::string err;
};

RunResult run_in(const std::filesystem::path& dir, std::vector<std::string> args = {});

// SETUP on a control file (and the files it includes) in a temporary folder.
struct SetupRun {
  Ctrl ctrl;
  Status halt;
  std::string list;  // the lines SETUP reports, then the halt's
};
SetupRun run_setup(const std::string& control, const std::vector<std::pair<std::string, std::string>>& files = {});

// The payloads of a file of length-framed records.
std::vector<Bytes> records(const Bytes& b);

// The fields of a POSTFILE record of 8-byte reals, as postfile_record takes
// them: a real run's records cut into pieces and written again.
struct PostfileFields {
  std::int32_t kurdat = 0;
  std::int32_t kave = 0;
  std::string grpid;
  std::vector<double> values;
};
std::vector<PostfileFields> postfile_fields(const Bytes& postfile);
// Records written back from their fields (postfile_record, 8-byte reals).
Bytes postfile_of(const std::vector<PostfileFields>& records);

// Overwrites the 4 bytes at `offset` with the integer or float `v`.
void patch_i32(Bytes& b, std::size_t offset, std::int32_t v);
void patch_f32(Bytes& b, std::size_t offset, float v);
// `n` one-value POSTFILE records of one stamp.
Bytes many_records(std::size_t n);

// Sets (or with an empty value, clears) an environment variable of this process.
void set_env(const char* name, const char* value);

// A program run as a user runs it: in the folder `dir`, no input, standard
// output and error captured. Spawned directly (posix_spawn, CreateProcess):
// the tests need no shell.
class Process {
 public:
  // `address_space_limit` (bytes, 0 for none) applies where the system can
  // limit a process's address space (see can_limit_address_space()).
  Process(const std::filesystem::path& program, const std::vector<std::string>& args,
          const std::filesystem::path& dir, std::uint64_t address_space_limit = 0);
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();  // kills a program still running

  void kill() noexcept;
  // Sends one of kInterruptSignals where the system can send one to a
  // single program (not on Windows): false when it cannot.
  bool interrupt(int sig) noexcept;
  // Waits for the end; the result's status is -1 when the program was killed.
  RunResult wait();

 private:
  TempDir capture_;
  std::intptr_t id_ = -1;  // the process id, or on Windows its handle
  bool killed_ = false;
  bool done_ = false;
};

bool can_limit_address_space() noexcept;

// The signals that end a run or a join, each with the exit status it gives.
inline const std::vector<std::pair<int, int>> kInterruptSignals = {
    {SIGINT, 130},
    {SIGTERM, 143},
#ifdef SIGHUP
    {SIGHUP, 129},
#endif
};

// Waits (up to two seconds) until the file `grown` holds more than `bytes`;
// false when it never does.
bool wait_for_growth(const std::filesystem::path& grown, std::uintmax_t bytes);

// Whether the temporary folder can hold two names that differ only in case.
bool names_can_differ_by_case();

// Runs `program` to its end. Its console and standard-error text come with
// their line ends normalised (see normalised_text).
RunResult run_program(const std::filesystem::path& program, const std::vector<std::string>& args,
                      const std::filesystem::path& dir, std::uint64_t address_space_limit = 0);

// Text that the program wrote with its system's line ends (the console and
// the list file end lines with CR LF on Windows), with LF line ends: tests
// compare it with text written elsewhere. Elsewhere it is the text unchanged.
std::string normalised_text(std::string text);

// `v` with `decimals` decimals right-aligned in `width` columns, as Fortran's
// F format writes it, whatever the locale (tests run under a decimal comma too).
std::string fixed_field(double v, int width, int decimals);

// Lines of a text, without their line ends.
std::vector<std::string> lines_of(std::string_view text);

// The dataset header written out item by item, field by field,
// independently of wrout1.
Bytes expected_header(const dataset::HeaderArgs& a);

// A readable report of the first differing byte, or "" when equal.
std::string first_difference(const Bytes& got, const Bytes& want);

}  // namespace kestrel::test
