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
std::string run_key(const RunTarget& r) {
  std::error_code ec;
  auto folder = std::filesystem::weakly_canonical(r.folder, ec);
  if (ec) folder = r.folder;
  return io::utf8_of(folder);
}

}  // namespace

Scheduler::Scheduler(std::vector<RunTarget> runs, unsigned threads, bool blocks, Display& display)
    : threads_(threads < 1 ? 1 : threads), blocks_(blocks), display_(display) {
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

std::optional<Scheduler::Task> Scheduler::pick() {
  if (in_use_ >= threads_) return std::nullopt;
  // The jobs of runs begun come first: they finish the blocks awaited.
  for (std::size_t i = first_unshown_; i < next_run_; ++i) {
    Slot& s = slots_[i];
    if (s.state != State::converting || s.run->ended()) continue;
    const auto jobs = s.run->jobs();
    if (s.next_job >= jobs.size() || (!s.run->side_by_side() && s.running > 0)) continue;
    Task t{i, s.next_job++, 1};
    // The PLOT reader's second thread takes a thread of its own.
    if (jobs[*t.job].postfile.plot && in_use_ + 2 <= threads_) t.tokens = 2;
    ++s.running;
    return t;
  }
  // At most a few runs begun ahead of the first one not shown: memory
  // follows the number of threads, not of runs.
  const std::size_t window = 2 * static_cast<std::size_t>(threads_) + 2;
  if (next_run_ < slots_.size() && next_run_ - first_unshown_ < window) {
    Slot& s = slots_[next_run_];
    if (s.same_as != static_cast<std::size_t>(-1) && slots_[s.same_as].state < State::done) return std::nullopt;
    s.state = State::starting;
    if (blocks_) {
      s.outlet = std::make_unique<BlockOutlet>();
    } else {
      s.outlet = std::make_unique<DirectOutlet>(display_);
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
  if (!t.job && sig == 0 && !run.ended()) {
    std::uint64_t bytes = 0;
    for (const PostfileJob& j : run.jobs()) bytes += j.size;
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
  }
  advance(s);
}

void Scheduler::advance(Slot& s) {
  Run& run = *s.run;
  const std::size_t jobs = run.jobs().size();
  while (!run.ended() && s.delivered < jobs && s.outcomes[s.delivered]) {
    run.deliver(std::move(*s.outcomes[s.delivered]));
    s.outcomes[s.delivered++].reset();
  }
  if (run.ended()) {
    // Later POSTFILEs are as if never opened: their temporary files go.
    run.cancel();
    for (auto& o : s.outcomes) o.reset();
  }
  if (s.running > 0 || (!run.ended() && s.delivered < jobs)) return;
  run.finish();
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
    s.state = State::shown;
    display_.run_done();
    ++first_unshown_;
  }
}

void Scheduler::stop_all() {
  // Every run begun gets the last line; the blocks so far are shown.
  for (std::size_t i = first_unshown_; i < next_run_; ++i) {
    Slot& s = slots_[i];
    std::vector<std::optional<JobOutcome>>().swap(s.outcomes);
    s.run->interrupt("kestrel: interrupted");
    if (blocks_) {
      display_.console("== " + s.target.given + " ==");
      static_cast<const BlockOutlet&>(*s.outlet).show(display_);
    }
    s.run.reset();
  }
  first_unshown_ = next_run_;
}

}  // namespace kestrel::study
