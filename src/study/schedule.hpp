// Runs, and the POSTFILEs within a run, converted side by side on up to N
// threads in all (the PLOT reader's second thread among them). Each run's
// outputs are delivered in control-file order and the runs' blocks shown in
// argument order, so that the outputs are the same whatever N.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/comline.hpp"
#include "app/run.hpp"
#include "study/display.hpp"

namespace kestrel::study {

class Scheduler {
 public:
  // How the runs' console lines are shown: as they come; kept and shown as
  // a block headed by the run's name, once it and the runs before it are
  // done; or not at all (their standard-error lines as they come).
  enum class Shown { direct, blocks, quiet };
  // `files`: how many files the study may hold open at once.
  Scheduler(std::vector<RunTarget> runs, unsigned threads, Shown shown, Display& display,
            std::uint64_t files = std::uint64_t{1} << 20);

  // Converts every run; returns the signal when Ctrl-C, SIGTERM or SIGHUP stopped the study, else 0.
  int run();
  // How each run ended, in argument order (after an interrupt, every run:
  // interrupted, not begun, or as it ended before).
  [[nodiscard]] const std::vector<RunEnd>& ends() const noexcept { return ends_; }

 private:
  enum class State { waiting, starting, converting, done, shown };
  struct Slot {
    RunTarget target;
    std::size_t same_as = static_cast<std::size_t>(-1);  // the run before it in its folder
    State state = State::waiting;
    std::unique_ptr<Outlet> outlet;
    std::unique_ptr<Run> run;
    std::size_t next_job = 0;
    std::size_t running = 0;
    std::size_t delivered = 0;
    std::vector<std::optional<JobOutcome>> outcomes;
    // Each dataset the run writes (as found on disk) and the last of its jobs
    // that writes it.
    std::unordered_map<std::string, std::size_t> datasets;
    std::vector<std::vector<std::string>> job_datasets;  // per job, as found on disk
  };
  struct Task {
    std::size_t slot = 0;
    std::optional<std::size_t> job;  // none: start the run
    unsigned tokens = 1;
  };

  void work();
  std::optional<Task> pick();
  std::optional<Task> pick_job();
  [[nodiscard]] bool waits_for_earlier(std::size_t i, std::size_t job) const;
  [[nodiscard]] std::uint64_t files_held() const;
  void execute(const Task& t, std::unique_lock<std::mutex>& lock);
  void advance(Slot& s);
  void show_done();
  void stop_all();

  std::vector<Slot> slots_;
  std::vector<RunEnd> ends_;
  unsigned threads_;
  std::uint64_t files_;
  bool blocks_;
  bool quiet_;
  Display& display_;
  std::mutex mutex_;
  std::condition_variable cv_;
  unsigned in_use_ = 0;
  std::size_t next_run_ = 0;
  std::size_t first_unshown_ = 0;
  int signal_ = 0;
};

}  // namespace kestrel::study
