#include "app/run.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <new>

#include "app/interrupt.hpp"
#include "app/preflight.hpp"
#include "setup/recognize.hpp"
#include "base/free_line.hpp"
#include "base/interrupt.hpp"
#include "base/io_error.hpp"
#include "base/text.hpp"
#include "base/version.hpp"
#include "io/files.hpp"
#include "io/names.hpp"
#include "io/platform.hpp"
#include "setup/setup.hpp"

namespace kestrel {

namespace {

// Thrown inside a job once an earlier job of its run has ended the run.
struct Cancelled {};

// A job's lines, handed to its run.
class JobReport final : public Report {
 public:
  JobReport(Run& run, std::size_t k, Meter& meter, const std::atomic<bool>& cancelled)
      : run_(run), k_(k), meter_(meter), cancelled_(cancelled) {}

  void note(std::string_view line) override { run_.line(k_, {JobLine::To::list, std::string(line)}); }
  void progress(std::string_view line) override {
    check();
    run_.line(k_, {JobLine::To::both, std::string(line)});
  }
  void warn(std::string_view text) override { run_.line(k_, {JobLine::To::warning, std::string(text)}); }
  void reading(std::string_view, std::uint64_t done, std::uint64_t) override {
    check();
    if (done > done_) meter_.advance(done - done_);
    done_ = done;
  }

 private:
  void check() const {
    stop_if_interrupted();
    if (cancelled_.load(std::memory_order_relaxed)) throw Cancelled{};
  }

  Run& run_;
  std::size_t k_;
  Meter& meter_;
  const std::atomic<bool>& cancelled_;
  std::uint64_t done_ = 0;
};

void banner(Channels& ch, std::string_view text) {
  ch.to_console(free_line(""));
  ch.to_console(free_line(text));
  ch.to_console(free_line(""));
}

void write_list_header(Channels& ch) {
  for (int i = 0; i < 3; ++i) ch.to_list("");
  ch.to_list(std::string(26, ' ') + "KESTREL RUN SUMMARY");
  ch.to_list(std::string(19, ' ') + "VERSION:  " + fixed(mver, 12) + " LEVEL:  " + fixed(mlevel, 12));
  for (int i = 0; i < 3; ++i) ch.to_list("");
}

const std::array<std::string, 5>& notice() {
  static const std::array<std::string, 5> lines = {
      free_line(""), free_line("This utility must be run in the location that"),
      free_line("contains the AERMOD application files.  If this"),
      free_line("is not the case, file-error messages will be seen!"), free_line("")};
  return lines;
}

std::array<std::string, 3> opening(std::string_view cfname) {
  return {free_line(""), FreeLine().text("Opening file: ").text(cfname).str(), free_line("")};
}

// Where the name begins in a job's line, or npos when it names none.
std::size_t name_at(std::string_view line, std::string_view name) {
  for (const std::string_view lead : {std::string_view(" Processing: "), std::string_view("WARNING: ")}) {
    if (line.starts_with(lead) && line.substr(lead.size()).starts_with(name)) return lead.size();
  }
  return std::string_view::npos;
}

constexpr std::string_view kWriting = " Writing: ";

bool is_aermod_inp(std::string_view name) {
  constexpr std::string_view want = "AERMOD.INP";
  return name.size() == want.size() && std::equal(name.begin(), name.end(), want.begin(), [](char a, char b) {
           return std::toupper(static_cast<unsigned char>(a)) == b;
         });
}

}  // namespace

Run::Run(RunTarget target, Outlet& out) : target_(std::move(target)), ch_(out, target_.prefix) {}

Run::~Run() = default;

std::string_view kind_name(RunKind k) noexcept {
  switch (k) {
    case RunKind::normal:
      return "normal";
    case RunKind::halted:
      return "halted";
    case RunKind::failed:
      return "failed";
    case RunKind::skipped:
      return "skipped";
    case RunKind::up_to_date:
      return "up to date";
    case RunKind::interrupted:
      return "interrupted";
    case RunKind::not_begun:
      break;
  }
  return "not begun";
}

bool Run::passed_over(const std::filesystem::path& found, const std::string& name) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(found, ec)) return false;
  const std::string shown = target_.prefix + name;
  // A RUN that names a file must be a control file; an AERMOD.INP is taken as one.
  if (!target_.folder_form && !is_aermod_inp(name) && !has_co_starting(found, file_label("control file", shown))) {
    ch_.to_error("kestrel: skipped " + shown + ": not an AERMOD control file (no CO STARTING line)");
    set_end(target_.in_study ? kExitNormal : kExitIoFailure, "skipped, not an AERMOD control file", 0,
            RunKind::skipped);
    return true;
  }
  if (target_.resume) {
    if (const auto kept = up_to_date(target_.folder, name)) {
      ch_.to_console((target_.given.empty() ? shown : target_.given) + ": up to date");
      set_end(kExitNormal, "up to date", *kept, RunKind::up_to_date);
      return true;
    }
  }
  return false;
}

bool Run::aermod_finished(const std::string& name) {
  std::vector<std::filesystem::path> postfiles;
  for (const PostfileJob& job : jobs_) postfiles.push_back(job.path);
  const auto listing = unfinished_aermod(target_.folder, name, postfiles);
  if (!listing) return true;
  const std::string why = *listing + ", AERMOD's listing, is as new as the POSTFILEs and lacks \"AERMOD Finishes "
                          "Successfully\": AERMOD did not finish";
  if (target_.allow_failed_aermod) {
    ch_.warn("WARNING: " + why + "; its POSTFILEs converted all the same (--allow-failed-aermod)");
    return true;
  }
  // Its POSTFILEs are empty or cut: converted, they would look like a run's results.
  halt(Status::halt("Halted: AERMOD did not finish (" + *listing + ")", true)
           .line(free_line("kestrel: " + why + "; nothing converted (--allow-failed-aermod converts it all the same)")));
  return false;
}

void Run::set_end(int status, std::string text, std::int64_t datasets, RunKind kind) {
  RunEnd e;
  e.status = status;
  e.text = std::move(text);
  e.datasets = datasets;
  e.warnings = ch_.warnings();
  if (kind == RunKind::normal && status == kExitHalt) kind = RunKind::halted;
  if (kind == RunKind::normal && status == kExitIoFailure) kind = RunKind::failed;
  e.kind = kind;
  e.control = control_;
  e.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began_).count();
  e.bytes_read = bytes_read_;
  e.accounts = std::move(accounts_);
  e.warning_texts = ch_.warning_texts();
  end_ = std::move(e);
  ended_ = true;
}

void Run::start() {
  try {
    const std::filesystem::path found = io::resolve_name(target_.folder, target_.cfname, "control file");
    std::error_code ec;
    const bool exists = std::filesystem::exists(found, ec);
    const std::string name = exists ? io::utf8_of(found.filename()) : target_.cfname;
    if (exists) control_ = target_.prefix + name;
    if (exists && passed_over(found, name)) return;
    // A folder among the runs that holds no control file at all (notes, a
    // shared met folder) is skipped as a stray file is.
    if (!exists && target_.folder_form && target_.among_others && inp_files(target_.folder).empty()) {
      ch_.to_error("kestrel: skipped " + target_.given + ": a folder without a control file (no .inp file)");
      return set_end(kExitNormal, "skipped, a folder without a control file", 0, RunKind::skipped);
    }
    banner(ch_, "SETUP PHASE");
    // Longer names leave no room for ".kst" within the 132 columns.
    if (name.size() > kMaxNameLength) throw IoError("control-file name is longer than 128 characters");
    // Not true of a run in a study, which is carried out in its own folder.
    if (!target_.in_study) {
      for (const auto& l : notice()) ch_.to_console(l);
    }
    for (const auto& l : opening(ch_.seen(name, 0))) ch_.to_console(l);
    if (!exists && target_.folder_form) {
      throw IoError(no_aermod_inp(target_.folder, target_.prefix.empty() ? "." : target_.given, target_.prefix));
    }
    // A control file that cannot be opened leaves nothing behind.
    (void)io::open_for_reading(target_.folder / io::path_from_utf8(name), file_label("control file", name));
    ch_.open_list(target_.folder / io::path_from_utf8(name + ".kst"), name + ".kst", name);
    write_list_header(ch_);
    for (const auto& l : notice()) ch_.to_list(l);
    for (const auto& l : opening(name)) ch_.to_list(l);

    auto ctrl = setup(target_.folder, name, ch_);
    if (!ctrl.ok()) return halt(ctrl.status());
    ctrl_.emplace(std::move(*ctrl));
    banner(ch_, "COMPUTATION PHASE");
    // Every POSTFILE is looked up before anything is converted.
    const auto failures = check_postfiles(*ctrl_, target_.folder);
    if (!failures.empty()) {
      for (const std::string& f : failures) {
        ch_.to_list(free_line("kestrel: " + f));
        ch_.to_error(ch_.seen_message("kestrel: " + f));
      }
      ch_.close_list();
      return set_end(kExitIoFailure, ch_.seen_message(failures.front()), 0);
    }
    auto plan = plan_comp(*ctrl_, target_.folder);
    if (!plan.ok()) return halt(plan.status());
    plan_ = std::move(*plan);
    jobs_ = postfile_jobs(*ctrl_, target_.folder);
    if (!aermod_finished(name)) return;
    kept_.resize(jobs_.size());
    for (std::size_t i = 0; i < jobs_.size(); ++i) {
      for (std::size_t k = i + 1; k < jobs_.size(); ++k) {
        if (jobs_[i].group == jobs_[k].group && std::filesystem::equivalent(jobs_[i].path, jobs_[k].path, ec)) {
          side_by_side_ = false;
        }
      }
    }
    if (jobs_.empty()) ch_.warn("WARNING: the control file names no 1-hour POSTFILE; nothing was converted");
  } catch (const IoError& e) {
    fail(e.what());
  } catch (const std::bad_alloc&) {
    fail("out of memory");
  }
}

JobOutcome Run::convert(std::size_t k, bool second_thread, Meter& meter) {
  JobOutcome o;
  JobReport report(*this, k, meter, cancelled_);
  try {
    o.converted = convert_postfile(*plan_, jobs_[k], report, second_thread);
    o.end = o.converted.status.ok() ? JobOutcome::End::converted : JobOutcome::End::halted;
  } catch (const IoError& e) {
    o.end = JobOutcome::End::failed;
    o.failure = e.what();
  } catch (const Cancelled&) {
    o.end = JobOutcome::End::cancelled;
  } catch (const std::bad_alloc&) {
    o.end = JobOutcome::End::failed;
    o.failure = "out of memory";
  }
  return o;
}

void Run::line(std::size_t k, JobLine l) {
  const std::lock_guard lock(mutex_);
  if (ended() || !line_failure_.empty()) return;
  if (k != delivered_) {
    kept_[k].push_back(std::move(l));
    return;
  }
  try {
    write(l);
  } catch (const IoError& e) {
    line_failure_ = e.what();
    cancelled_ = true;
  }
}

void Run::write(const JobLine& l) {
  const PostfileJob& job = jobs_[delivered_];
  const std::size_t at = name_at(l.text, job.postfile.name);
  switch (l.to) {
    case JobLine::To::list:
      ch_.to_list(l.text);
      break;
    case JobLine::To::both: {
      ch_.to_list(l.text);
      // In a study a dataset's name is seen from here, and a shared POSTFILE's line names its group.
      const bool writing = target_.in_study && l.text.starts_with(kWriting);
      std::string shown = ch_.seen(l.text, writing ? kWriting.size() : at);
      // The name keeps its 132 columns where its blanks allow.
      const std::size_t extra = shown.size() - l.text.size();
      const std::size_t blanks = shown.size() - 1 - shown.find_last_not_of(' ');
      shown.resize(shown.size() - std::min(extra, blanks));
      if (target_.in_study && l.text.starts_with(" Processing: ") && !job.group.empty()) {
        shown = std::string(trim_right(shown)) + " (group " + job.group + ")";
      }
      ch_.to_console(shown);
      // A run killed from here on leaves the list file up to this POSTFILE.
      ch_.flush_list();
      break;
    }
    case JobLine::To::warning: {
      ch_.to_list(free_line(l.text));
      std::string shown = ch_.seen(l.text, at);
      ch_.to_error(shown);
      ch_.count_warning(std::move(shown));
      break;
    }
  }
}

bool Run::deliver(JobOutcome outcome) {
  const std::lock_guard lock(mutex_);
  // Dropped, its temporary files with it, after the run has ended or once
  // a signal has come: an interrupted run puts nothing more into place.
  if (ended() || interrupt_pending() != 0) return false;
  put_in_place(std::move(outcome));
  return true;
}

void Run::put_in_place(JobOutcome outcome) {
  try {
    for (const JobLine& l : kept_[delivered_]) write(l);
    kept_[delivered_].clear();
    if (!line_failure_.empty()) return fail(line_failure_);
    if (outcome.end == JobOutcome::End::failed) return fail(outcome.failure);
    for (FinishedDataset& d : outcome.converted.datasets) {
      d.file->commit();
      ++datasets_;
      if (!d.line.empty()) ch_.to_list(d.line);
      if (!d.check.empty()) ch_.to_list(d.check);
      if (d.account) {
        d.account->shown = ch_.seen(d.account->shown, 0);
        accounts_.push_back(std::move(*d.account));
      }
    }
    bytes_read_ += jobs_[delivered_].size;
    if (outcome.end == JobOutcome::End::halted) return halt(outcome.converted.status);
    // The next job's lines so far; from here on they are written as they come.
    if (++delivered_ < jobs_.size()) {
      for (const JobLine& l : kept_[delivered_]) write(l);
      kept_[delivered_].clear();
    }
  } catch (const IoError& e) {
    fail(e.what());
  }
}

bool Run::finish() {
  const std::lock_guard lock(mutex_);
  if (ended()) return true;  // halted or failed before
  // Checked under the lock that interrupt() takes: a run whose signal came
  // before its last line is interrupted, whatever it had put in place.
  if (interrupt_pending() != 0) return false;
  try {
    // The list file is finished and checked before the console says so.
    ch_.to_list(free_line(""));
    ch_.to_list(free_line("NORMAL TERMINATION"));
    ch_.to_list(free_line(""));
    ch_.close_list();
    banner(ch_, "NORMAL TERMINATION");
    set_end(kExitNormal, "NORMAL TERMINATION", datasets_);
  } catch (const IoError& e) {
    fail(e.what());
  }
  return true;
}

void Run::interrupt(std::string_view line) noexcept {
  const std::lock_guard lock(mutex_);
  if (ended()) return;
  ch_.close_list_quietly(free_line(line));
  try {
    set_end(kExitIoFailure, std::string(line), datasets_, RunKind::interrupted);
  } catch (...) {
  }
}

void Run::fail(const std::string& message) {
  const std::string text = "kestrel: " + message;
  ch_.to_error(ch_.seen_message(text));
  ch_.close_list_quietly(free_line(text));
  set_end(kExitIoFailure, ch_.seen_message(message), datasets_);
}

void Run::halt(const Status& status) {
  try {
    ch_.flush_list();
    for (const auto& line : status.lines()) ch_.to_list(line);
    ch_.to_console(free_line(fixed(status.text(), kNameWidth)));
    ch_.close_list();
    set_end(kExitHalt, status.text(), datasets_);
  } catch (const IoError& e) {
    fail(e.what());
  }
}

}  // namespace kestrel
