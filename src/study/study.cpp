#include "study/study.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <vector>

#include "base/text.hpp"
#include "app/comline.hpp"
#include "app/interrupt.hpp"
#include "app/run.hpp"
#include "base/io_error.hpp"
#include "base/version.hpp"
#include "io/platform.hpp"
#include "io/progress.hpp"
#include "study/display.hpp"
#include "study/schedule.hpp"
#include "study/summary_file.hpp"
#include "study/summary_names.hpp"

namespace kestrel {

namespace {

constexpr std::string_view kUsage =
    "usage: kestrel [OPTION]... [RUN]...\n"
    "\n"
    "Converts the 1-hour POSTFILEs of AERMOD runs into CONC.DAT datasets\n"
    "(version 2.1). Each RUN is a control file or a folder (standing for the\n"
    "AERMOD.INP in it); without one, AERMOD.INP in the current folder. A run\n"
    "is carried out in the folder of its control file: it reads the control\n"
    "file, the files it includes and every 1-hour UNFORM or PLOT POSTFILE, and\n"
    "writes there\n"
    "  <POSTFILE>.gdx       a dataset beside each POSTFILE, values in g/m3\n"
    "  <POSTFILE>.dflx.gdx  with DDEP (.tflx: DEPOS, .wflx: WDEP), fluxes in g/m2/s\n"
    "  <CONTROL-FILE>.kst   the list file: run summary, progress and messages\n"
    "\n"
    "Exit status: 0 every run ended normally (warnings included), 1 a run\n"
    "halted (see its list file), 2 a file could not be opened, read or written,\n"
    "or a usage error; 3 with --strict when there were warnings; 130, 143 or\n"
    "129 after Ctrl-C, SIGTERM or SIGHUP (a closed terminal).\n"
    "\n"
    "  -j, --jobs N   convert on up to N threads (default: the usable cores)\n"
    "      --strict   end with status 3 after warnings (or runs skipped)\n"
    "      --resume   skip runs whose datasets are up to date\n"    "      --allow-failed-aermod  convert a run whose AERMOD listing lacks\n"
    "                 \"AERMOD Finishes Successfully\" (else it halts, nothing converted)\n"
    "  -q, --quiet    no run blocks and no progress line: warnings, errors and\n"
    "                 the summary only\n"
    "      --summary FILE  write a JSON account of every run to FILE\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and level and exit\n"
    "      --         end of options\n";


std::string written(std::int64_t datasets, std::int64_t warnings) {
  return count_of(datasets, "dataset") + " written; " + count_of(warnings, "warning");
}

std::string summary_line(const std::string& given, const RunEnd& e) {
  switch (e.kind) {
    case RunKind::skipped:
    case RunKind::not_begun:
      return given + ": " + e.text;
    case RunKind::up_to_date:
      return given + ": up to date; " + count_of(e.datasets, "dataset") + " kept";
    default:
      return given + ": " + e.text + "; " + written(e.datasets, e.warnings);
  }
}

// "kestrel: 3 runs: 1 normal, 1 halted, 1 failed; 4 datasets written; 1
// warning", with the runs skipped, up to date, interrupted or not begun
// named where there are any.
std::string total_line(std::span<const RunEnd> ends) {
  std::array<std::int64_t, 7> by_kind{};
  std::int64_t written_datasets = 0, kept = 0, warnings = 0;
  for (const RunEnd& e : ends) {
    ++by_kind[static_cast<std::size_t>(e.kind)];
    (e.kind == RunKind::up_to_date ? kept : written_datasets) += e.datasets;
    warnings += e.warnings;
  }
  const auto n = [&](RunKind k) { return by_kind[static_cast<std::size_t>(k)]; };
  std::string line = "kestrel: " + std::to_string(ends.size()) + " runs: " + std::to_string(n(RunKind::normal)) +
                     " normal, " + std::to_string(n(RunKind::halted)) + " halted, " +
                     std::to_string(n(RunKind::failed)) + " failed";
  for (const RunKind k : {RunKind::skipped, RunKind::up_to_date, RunKind::interrupted, RunKind::not_begun}) {
    if (n(k) > 0) line += ", " + std::to_string(n(k)) + " " + std::string(kind_name(k));
  }
  line += "; " + count_of(written_datasets, "dataset") + " written";
  if (kept > 0) line += ", " + std::to_string(kept) + " kept";
  return line + "; " + count_of(warnings, "warning");
}

// The study's share of the open-file limit, and the threads it can feed:
// each thread needs a run's list file, a POSTFILE and up to four datasets.
struct StudyFiles {
  std::uint64_t limit;
  std::uint64_t budget;
  unsigned threads;
};

StudyFiles study_files(unsigned threads) {
  constexpr std::uint64_t kReserved = 16;  // standard streams, a folder listing, the odd included file
  constexpr std::uint64_t kPerThread = 6;
  const std::uint64_t limit = io::open_file_limit();
  const std::uint64_t budget = limit > kReserved + kPerThread ? limit - kReserved : kPerThread;
  const std::uint64_t most = std::max<std::uint64_t>(1, budget / kPerThread);
  return {limit, budget, static_cast<unsigned>(std::min<std::uint64_t>(threads, most))};
}

}  // namespace

int run(std::span<const std::string> args, const std::filesystem::path& dir, std::ostream& console,
        std::ostream& err, bool console_terminal) {
  StudyCall call;
  call.console_terminal = console_terminal;
  return run_study(args, dir, console, err, call).status;
}

StudyOutcome run_study(std::span<const std::string> args, const std::filesystem::path& dir, std::ostream& console,
                       std::ostream& err, const StudyCall& call) {
  const Options opt = parse_options(args);
  StudyOutcome outcome;
  switch (opt.action) {
    case Options::Action::help:
      console << kUsage;
      return outcome;
    case Options::Action::version:
      console << "kestrel " << mver << " (level " << mlevel << ")\n";
      return outcome;
    case Options::Action::usage_error:
      err << opt.error << "\nTry 'kestrel --help'.\n";
      outcome.status = kExitUsage;
      return outcome;
    case Options::Action::convert:
      break;
  }
  if (!opt.summary.empty() && !study::summary_file_available()) {
    err << "kestrel: --summary is not available in this build (it was built without nlohmann-json)\n";
    outcome.status = kExitUsage;
    return outcome;
  }
  const auto started = std::chrono::system_clock::now();
  std::vector<RunTarget> runs;
  if (opt.runs.empty()) runs.push_back(comline(dir, ""));
  for (const std::string& r : opt.runs) runs.push_back(comline(dir, r));
  const std::size_t nruns = runs.size();
  const bool several = nruns > 1;
  // Two or more RUNs, or a folder: runs of a study.
  const bool study_form = several || (!runs.front().given.empty() && runs.front().folder_form);
  std::vector<std::string> given;
  for (RunTarget& r : runs) {
    r.in_study = study_form;
    r.among_others = several;
    r.resume = opt.resume;
    r.allow_failed_aermod = opt.allow_failed_aermod;
    given.push_back(r.given.empty() ? r.cfname : r.given);
  }
  if (!opt.summary.empty()) {
    // Before the first run: a study must not end unable to write its
    // account, nor write it over a file the study reads or writes.
    try {
      study::check_summary_name(dir / io::path_from_utf8(opt.summary), opt.summary, runs);
    } catch (const IoError& e) {
      err << "kestrel: " << e.what() << '\n';
      outcome.status = kExitIoFailure;
      return outcome;
    }
  }

  study::Display display(console, err,
                         opt.quiet || !call.progress ? io::ProgressMode::never : io::progress_mode(),
                         call.console_terminal, nruns);
  std::optional<InterruptGuard> interrupts;
  if (call.install_handlers) interrupts.emplace();
  const StudyFiles files = study_files(opt.jobs != 0 ? opt.jobs : io::usable_cores());
  if (opt.jobs != 0 && files.threads < opt.jobs) {
    display.error("kestrel: -j " + std::to_string(opt.jobs) + " is more than the open-file limit (" +
                  std::to_string(files.limit) + ") allows; converting on " + std::to_string(files.threads) +
                  " threads");
  }
  const auto shown = opt.quiet ? study::Scheduler::Shown::quiet
                     : several ? study::Scheduler::Shown::blocks
                               : study::Scheduler::Shown::direct;
  study::Scheduler scheduler(std::move(runs), files.threads, shown, display, files.budget);
  const int signal = scheduler.run();
  display.erase_progress();
  const auto& ends = scheduler.ends();
  int status = kExitNormal;
  std::int64_t warnings = 0;
  bool skipped = false;
  for (const RunEnd& e : ends) {
    status = std::max(status, e.status);
    warnings += e.warnings;
    skipped = skipped || e.kind == RunKind::skipped;
  }
  if (status == kExitNormal && opt.strict && (warnings > 0 || (skipped && several))) status = kExitWarnings;
  if (signal != 0) status = 128 + signal;
  if (several || opt.quiet) {
    for (std::size_t i = 0; i < ends.size(); ++i) display.console(summary_line(given[i], ends[i]));
    display.console(total_line(ends));
  }
  console.flush();
  if (!opt.summary.empty()) {
    const study::StudyAccount account{args, given, ends, started, std::chrono::system_clock::now(), status};
    try {
      study::write_summary_file(dir / io::path_from_utf8(opt.summary), opt.summary, account);
    } catch (const IoError& e) {
      display.error(std::string("kestrel: ") + e.what());
      if (signal == 0) status = std::max(status, kExitIoFailure);
    }
  }
  if (signal != 0) display.error("kestrel: interrupted");
  outcome.status = status;
  outcome.given = std::move(given);
  outcome.ends = ends;
  return outcome;
}

}  // namespace kestrel
