// One run: SETUP, then COMPUTATION, then the closing lines, in steps that a
// scheduler may spread over threads. start() runs first; then each job may be
// converted on any thread, side by side; the outcomes are delivered in
// control-file order, and finish() ends the run. The list file and datasets
// are the same bytes however the jobs were spread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/channels.hpp"
#include "app/comline.hpp"
#include "app/outlet.hpp"
#include "base/status.hpp"
#include "convert/comp.hpp"
#include "setup/ctrl.hpp"

namespace kestrel {

inline constexpr int kExitNormal = 0;
inline constexpr int kExitHalt = 1;
inline constexpr int kExitIoFailure = 2;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitWarnings = 3;

// Bytes of POSTFILEs read, for the progress line. Called from any thread.
class Meter {
 public:
  virtual ~Meter() = default;
  virtual void advance(std::uint64_t bytes) noexcept = 0;
};

// A line of a job: for the list file, for the console too, or a warning.
struct JobLine {
  enum class To { list, both, warning };
  To to;
  std::string text;
};

// What a job left to deliver: its datasets and how it ended.
struct JobOutcome {
  enum class End { converted, halted, failed, cancelled };
  End end = End::converted;
  Converted converted;
  std::string failure;  // the I/O failure's message
};

// How a run ended, in the words of the study's summaries.
enum class RunKind { normal, halted, failed, skipped, up_to_date, interrupted, not_begun };

// How a run ended.
struct RunEnd {
  int status = kExitNormal;
  std::string text;  // the final status text, unpadded
  std::int64_t datasets = 0;
  std::int64_t warnings = 0;
  RunKind kind = RunKind::normal;
  std::string control;  // the control file as found, seen from the current folder
  double seconds = 0.0;
  std::uint64_t bytes_read = 0;  // of the POSTFILEs converted
  std::vector<DatasetAccount> accounts;  // the datasets put in place
  std::vector<std::string> warning_texts;
};

[[nodiscard]] std::string_view kind_name(RunKind k) noexcept;

class Run {
 public:
  Run(RunTarget target, Outlet& out);
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;
  ~Run();

  // SETUP and COMPUTATION up to the first POSTFILE: the list file, the
  // control file, the POSTFILEs looked up, the run period. Throws Interrupted.
  void start();
  [[nodiscard]] bool ended() const noexcept { return ended_.load(); }
  [[nodiscard]] std::span<const PostfileJob> jobs() const noexcept { return jobs_; }
  // Whether jobs may be converted side by side (no two write one dataset).
  [[nodiscard]] bool side_by_side() const noexcept { return side_by_side_; }

  // Converts job k; may run beside other jobs of this run. Throws
  // Interrupted; stops early once cancel() is called.
  [[nodiscard]] JobOutcome convert(std::size_t k, bool second_thread, Meter& meter);
  // A line of job k: written at once while the jobs before it are
  // delivered, else kept until they are. Thread-safe.
  void line(std::size_t k, JobLine l);
  // The next job's outcome, in order: its datasets put in place. After a
  // halt or a failure the run has ended. False when it was dropped instead
  // (the run had ended, or a signal has come): it is not delivered.
  [[nodiscard]] bool deliver(JobOutcome outcome);
  // Jobs still converting give up.
  void cancel() noexcept { cancelled_ = true; }
  // After the last job: the closing lines. Refused (false) once a signal
  // has come: the run is then interrupted, not ended normally.
  [[nodiscard]] bool finish();
  // Ctrl-C, SIGTERM or SIGHUP: the last line in the list file, which is closed.
  void interrupt(std::string_view line) noexcept;

  [[nodiscard]] const RunEnd& end() const { return *end_; }
  [[nodiscard]] const RunTarget& target() const noexcept { return target_; }

 private:
  void put_in_place(JobOutcome outcome);  // deliver()'s work, under the lock
  void fail(const std::string& message);
  void halt(const Status& status);
  void write(const JobLine& l);
  void set_end(int status, std::string text, std::int64_t datasets, RunKind kind = RunKind::normal);
  // Whether AERMOD's listing allows the POSTFILEs to be converted; else the run halts.
  [[nodiscard]] bool aermod_finished(const std::string& name);
  // A run that is skipped before it begins: nothing written.
  [[nodiscard]] bool passed_over(const std::filesystem::path& found, const std::string& name);

  RunTarget target_;
  Channels ch_;
  std::optional<Ctrl> ctrl_;
  std::unique_ptr<CompPlan> plan_;
  std::vector<PostfileJob> jobs_;
  bool side_by_side_ = true;
  std::atomic<bool> cancelled_{false};
  // Guards the job lines, the list file and delivered_ once jobs run.
  std::mutex mutex_;
  std::size_t delivered_ = 0;
  std::vector<std::vector<JobLine>> kept_;  // per job, until its turn
  std::string line_failure_;                // a list-file write that failed in a job's line
  std::int64_t datasets_ = 0;
  std::vector<DatasetAccount> accounts_;
  std::uint64_t bytes_read_ = 0;
  std::string control_;
  std::chrono::steady_clock::time_point began_ = std::chrono::steady_clock::now();
  std::optional<RunEnd> end_;
  std::atomic<bool> ended_{false};
};

}  // namespace kestrel
