#include "study/schedule.hpp"

#include <chrono>
#include <system_error>
#include <thread>

#include "app/interrupt.hpp"
#include "io/platform.hpp"

namespace kestrel::study {

namespace {

// Runs of one folder may write the same datasets (and one control file named
// twice is one list file): a run waits for the one before it in its folder,
// so that the later run's files win, as on one thread.
std::string file_key(const std::filesystem::path& p) {
  std::error_code ec;
  auto found = std::filesystem::weakly_canonical(p, ec);
  if (ec) found = std::filesystem::absolute(p, ec);
  return io::utf8_of(found);
}

std::string run_key(const RunTarget& r) { return file_key(r.folder); }

// Files a job holds open until its datasets are in place: its POSTFILE and
// a temporary file for each dataset.
std::uint64_t files_of(const PostfileJob& job) { return 1 + job.outputs.size(); }
// A run holds its list file; while it starts, the control file and an
// included file as well.
constexpr std::uint64_t kFilesToStart = 3;
constexpr std::uint64_t kFilesOfRun = 1;

}  // namespace

Scheduler::Scheduler(std::vector<RunTarget> runs, unsigned threads, Shown shown, Display& display,
                     std::uint64_t files)
    : threads_(threads < 1 ? 1 : threads),
      files_(files),
      blocks_(shown == Shown::blocks),
      quiet_(shown == Shown::quiet),
      display_(display) {
  slots_.resize(runs.size());
  std::vector<std::string> keys;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    keys.push_back(run_key(runs[i]));
    for (std::size_t j = i; j-- > 0;) {
      if (keys[j] == keys[i]) {
        slots_[i].same_as = j;
        break;
      }
    }
    slots_[i].target = std::move(runs[i]);
  }
}

int Scheduler::run() {
  std::vector<std::thread> helpers;
  for (unsigned i = 1; i < threads_; ++i) {
    try {
      helpers.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
      break;  // fewer threads, the same outputs
    }
  }
  work();
  for (auto& t : helpers) t.join();
  if (signal_ != 0) stop_all();
  return signal_;
}

void Scheduler::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (signal_ == 0) signal_ = InterruptGuard::pending();
    if (first_unshown_ == slots_.size()) break;
    std::optional<Task> t = signal_ == 0 ? pick() : std::nullopt;
    if (!t) {
      if (signal_ != 0 && in_use_ == 0) break;
      // Woken by a task's end; a signal is noticed within a tenth of a second.
      cv_.wait_for(lock, std::chrono::milliseconds(100));
      continue;
    }
    in_use_ += t->tokens;
    execute(*t, lock);
    in_use_ -= t->tokens;
    cv_.notify_all();
  }
  cv_.notify_all();
}

std::uint64_t Scheduler::files_held() const {
  std::uint64_t n = 0;
  for (std::size_t i = first_unshown_; i < next_run_; ++i) {
    const Slot& s = slots_[i];
    if (s.state == State::starting) n += kFilesToStart;
    if (s.state != State::converting) continue;
    // Jobs handed out and not yet delivered hold their files (a job of an
    // ended run until it notices: counted all the same).
    n += kFilesOfRun;
    const auto jobs = s.run->jobs();
    for (std::size_t j = s.delivered; j < s.next_job; ++j) n += files_of(jobs[j]);
  }
  return n;
}

bool Scheduler::waits_for_earlier(std::size_t i, std::size_t job) const {
  // Runs that write one dataset (POSTFILE lines of several folders naming one
  // file) write it one after the other, in argument order: the later wins.
  for (std::size_t k = first_unshown_; k < i; ++k) {
    const Slot& e = slots_[k];
    if (e.state == State::starting) return true;  // its datasets are not known yet
    if (e.state != State::converting) continue;
    for (const std::string& d : slots_[i].job_datasets[job]) {
      const auto at = e.datasets.find(d);
      if (at != e.datasets.end() && at->second >= e.delivered) return true;
    }
  }
  return false;
}

std::optional<Scheduler::Task> Scheduler::pick_job() {
  // The jobs of runs begun come first: they finish the blocks awaited.
  std::optional<std::uint64_t> held;
  for (std::size_t i = first_unshown_; i < next_run_; ++i) {
    Slot& s = slots_[i];
    if (s.state != State::converting || s.run->ended()) continue;
    const auto jobs = s.run->jobs();
    if (s.next_job >= jobs.size() || (!s.run->side_by_side() && s.running > 0)) continue;
    const PostfileJob& job = jobs[s.next_job];
    if (!held) held = files_held();
    // Within the open-file limit; a study holding nothing may always go on.
    if (*held > 0 && *held + files_of(job) > files_) return std::nullopt;
    if (waits_for_earlier(i, s.next_job)) continue;
    Task t{i, s.next_job++, 1};
    // The PLOT reader's second thread takes a thread of its own.
    if (job.postfile.plot && in_use_ + 2 <= threads_) t.tokens = 2;
    ++s.running;
    return t;
  }
  return std::nullopt;
}

std::optional<Scheduler::Task> Scheduler::pick() {
  if (in_use_ >= threads_) return std::nullopt;
  if (auto t = pick_job()) return t;
  // At most a few runs begun ahead of the first one not shown: memory
  // follows the number of threads, not of runs, and so do open files.
  const std::size_t window = 2 * static_cast<std::size_t>(threads_) + 2;
  if (next_run_ < slots_.size() && next_run_ - first_unshown_ < window) {
    Slot& s = slots_[next_run_];
    if (s.same_as != static_cast<std::size_t>(-1) && slots_[s.same_as].state < State::done) return std::nullopt;
    if (const std::uint64_t held = files_held(); held > 0 && held + kFilesToStart > files_) return std::nullopt;
    s.state = State::starting;
    if (blocks_) {
      s.outlet = std::make_unique<BlockOutlet>();
    } else {
      s.outlet = std::make_unique<DirectOutlet>(display_, quiet_);
    }
    s.run = std::make_unique<Run>(s.target, *s.outlet);
    return Task{next_run_++, std::nullopt, 1};
  }
  return std::nullopt;
}

void Scheduler::execute(const Task& t, std::unique_lock<std::mutex>& lock) {
  Slot& s = slots_[t.slot];
  Run& run = *s.run;
  lock.unlock();
  std::optional<JobOutcome> outcome;
  int sig = 0;
  try {
    if (t.job) {
      outcome.emplace(run.convert(*t.job, t.tokens > 1, display_));
    } else {
      run.start();
    }
  } catch (const Interrupted& i) {
    sig = i.signal;
  }
  std::unordered_map<std::string, std::size_t> datasets;
  std::vector<std::vector<std::string>> job_datasets;
  if (!t.job && sig == 0 && !run.ended()) {
    std::uint64_t bytes = 0;
    const auto jobs = run.jobs();
    job_datasets.resize(jobs.size());
    for (std::size_t j = 0; j < jobs.size(); ++j) {
      bytes += jobs[j].size;
      for (const Output& o : jobs[j].outputs) {
        job_datasets[j].push_back(file_key(o.path));
        datasets[job_datasets[j].back()] = j;
      }
    }
    display_.add_run_bytes(bytes);
  }
  lock.lock();
  if (sig != 0) {
    if (signal_ == 0) signal_ = sig;
    if (t.job) --s.running;
    return;
  }
  if (t.job) {
    --s.running;
    s.outcomes[*t.job] = std::move(outcome);
  } else {
    s.state = State::converting;
    s.outcomes.resize(run.jobs().size());
    s.datasets = std::move(datasets);
    s.job_datasets = std::move(job_datasets);
  }
  advance(s);
}

void Scheduler::advance(Slot& s) {
  Run& run = *s.run;
  const std::size_t jobs = run.jobs().size();
  while (!run.ended() && s.delivered < jobs && s.outcomes[s.delivered]) {
    const bool delivered = run.deliver(std::move(*s.outcomes[s.delivered]));
    s.outcomes[s.delivered].reset();
    // Dropped for a signal: the run waits for stop_all(), never finished.
    if (!delivered) return;
    ++s.delivered;
  }
  if (run.ended()) {
    // Later POSTFILEs are as if never opened: their temporary files go.
    run.cancel();
    for (auto& o : s.outcomes) o.reset();
  }
  if (s.running > 0 || (!run.ended() && s.delivered < jobs)) return;
  // Refused once a signal has come: stop_all() gives the run its ending.
  if (!run.finish()) return;
  s.state = State::done;
  show_done();
}

void Scheduler::show_done() {
  while (first_unshown_ < slots_.size() && slots_[first_unshown_].state == State::done) {
    Slot& s = slots_[first_unshown_];
    if (blocks_) {
      display_.console("== " + s.target.given + " ==");
      static_cast<const BlockOutlet&>(*s.outlet).show(display_);
    }
    ends_.push_back(s.run->end());
    s.run.reset();
    s.outlet.reset();
    std::vector<std::optional<JobOutcome>>().swap(s.outcomes);
    decltype(s.datasets)().swap(s.datasets);
    decltype(s.job_datasets)().swap(s.job_datasets);
    s.state = State::shown;
    display_.run_done();
    ++first_unshown_;
  }
}

void Scheduler::stop_all() {
  // Every run begun gets the last line; the blocks so far are shown; every
  // run has its ending, "not begun" for those never started.
  for (std::size_t i = first_unshown_; i < next_run_; ++i) {
    Slot& s = slots_[i];
    std::vector<std::optional<JobOutcome>>().swap(s.outcomes);
    s.run->interrupt("kestrel: interrupted");
    if (blocks_) {
      display_.console("== " + s.target.given + " ==");
      static_cast<const BlockOutlet&>(*s.outlet).show(display_);
    }
    ends_.push_back(s.run->end());
    s.run.reset();
  }
  for (std::size_t i = next_run_; i < slots_.size(); ++i) {
    RunEnd e;
    e.text = "not begun";
    e.kind = RunKind::not_begun;
    ends_.push_back(std::move(e));
  }
  first_unshown_ = next_run_ = slots_.size();
}

}  // namespace kestrel::study
