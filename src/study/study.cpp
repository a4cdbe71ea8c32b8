#include "study/study.hpp"

#include <algorithm>
#include <vector>

#include "app/comline.hpp"
#include "app/interrupt.hpp"
#include "app/run.hpp"
#include "base/version.hpp"
#include "io/platform.hpp"
#include "io/progress.hpp"
#include "study/display.hpp"
#include "study/schedule.hpp"

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
    "or a usage error; 3 with --strict when there were warnings; 130 or 143\n"
    "after Ctrl-C or SIGTERM.\n"
    "\n"
    "  -j, --jobs N   convert on up to N threads (default: the usable cores)\n"
    "      --strict   end with status 3 after warnings\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and level and exit\n"
    "      --         end of options\n";

// "1 dataset", "2 datasets".
std::string count_of(std::int64_t n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

std::string written(std::int64_t datasets, std::int64_t warnings) {
  return count_of(datasets, "dataset") + " written; " + count_of(warnings, "warning");
}

std::string summary_line(const std::string& given, const RunEnd& e) {
  return given + ": " + e.text + "; " + written(e.datasets, e.warnings);
}

}  // namespace

int run(std::span<const std::string> args, const std::filesystem::path& dir, std::ostream& console,
        std::ostream& err, bool console_terminal) {
  const Options opt = parse_options(args);
  switch (opt.action) {
    case Options::Action::help:
      console << kUsage;
      return kExitNormal;
    case Options::Action::version:
      console << "kestrel " << mver << " (level " << mlevel << ")\n";
      return kExitNormal;
    case Options::Action::usage_error:
      err << opt.error << "\nTry 'kestrel --help'.\n";
      return kExitUsage;
    case Options::Action::convert:
      break;
  }
  std::vector<RunTarget> runs;
  if (opt.runs.empty()) runs.push_back(comline(dir, ""));
  for (const std::string& r : opt.runs) runs.push_back(comline(dir, r));
  const std::size_t nruns = runs.size();
  const bool several = nruns > 1;
  std::vector<std::string> given;
  for (const RunTarget& r : runs) given.push_back(r.given);

  study::Display display(console, err, io::progress_mode(), console_terminal, nruns);
  const InterruptGuard interrupts;
  study::Scheduler scheduler(std::move(runs), opt.jobs != 0 ? opt.jobs : io::usable_cores(), several, display);
  const int signal = scheduler.run();
  display.erase_progress();
  if (signal != 0) {
    display.error("kestrel: interrupted");
    return 128 + signal;
  }
  int status = kExitNormal;
  std::int64_t normal = 0, halted = 0, failed = 0, datasets = 0, warnings = 0;
  const auto& ends = scheduler.ends();
  for (std::size_t i = 0; i < ends.size(); ++i) {
    const RunEnd& e = ends[i];
    status = std::max(status, e.status);
    (e.status == kExitNormal ? normal : e.status == kExitHalt ? halted : failed) += 1;
    datasets += e.datasets;
    warnings += e.warnings;
  }
  if (several) {
    for (std::size_t i = 0; i < ends.size(); ++i) display.console(summary_line(given[i], ends[i]));
    display.console("kestrel: " + std::to_string(nruns) + " runs: " + std::to_string(normal) + " normal, " +
                    std::to_string(halted) + " halted, " + std::to_string(failed) + " failed; " +
                    written(datasets, warnings));
  }
  if (status == kExitNormal && opt.strict && warnings > 0) status = kExitWarnings;
  console.flush();
  return status;
}

}  // namespace kestrel
