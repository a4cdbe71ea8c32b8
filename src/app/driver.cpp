#include "app/driver.hpp"

#include <array>
#include <cstdlib>
#include <new>

#include "app/channels.hpp"
#include "app/comline.hpp"
#include "app/interrupt.hpp"
#include "base/free_line.hpp"
#include "base/io_error.hpp"
#include "base/status.hpp"
#include "base/text.hpp"
#include "base/version.hpp"
#include "convert/comp.hpp"
#include "io/platform.hpp"
#include "setup/ctrl.hpp"
#include "setup/setup.hpp"

namespace kestrel {

namespace {

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

void write_notice(Channels& ch, std::string_view cfname) {
  const std::array<std::string, 5> notice = {
      free_line(""), free_line("This utility must be run in the location that"),
      free_line("contains the AERMOD application files.  If this"),
      free_line("is not the case, file-error messages will be seen!"), free_line("")};
  const std::array<std::string, 3> opening = {free_line(""), FreeLine().text("Opening file: ").text(cfname).str(),
                                              free_line("")};
  for (const auto& l : notice) ch.to_console(l);
  for (const auto& l : notice) ch.to_list(l);
  for (const auto& l : opening) ch.to_console(l);
  for (const auto& l : opening) ch.to_list(l);
}

Status setup_and_comp(std::span<const std::string> args, const std::filesystem::path& dir, Channels& ch) {
  banner(ch, "SETUP PHASE");
  std::string cfname = fixed("AERMOD.INP", kNameWidth);
  comline(cfname, args);
  const std::string name(trim_right(cfname));
  // Longer names leave no room for ".kst" within the 132 columns.
  if (name.size() > kMaxNameLength) throw IoError("control-file name is longer than 128 characters");
  ch.open_list(dir / (name + ".kst"), name + ".kst", name);
  write_list_header(ch);
  write_notice(ch, name);

  auto ctrl = setup(dir, name, ch);
  if (!ctrl.ok()) return std::move(ctrl).status();
  banner(ch, "COMPUTATION PHASE");
  return comp(*ctrl, dir, ch);
}

int phases(std::span<const std::string> args, const std::filesystem::path& dir, Channels& ch) {
  const Status status = setup_and_comp(args, dir, ch);
  stop_if_interrupted();
  if (!status.ok()) {
    ch.flush_list();
    for (const auto& line : status.lines()) ch.to_list(line);
    ch.to_console(free_line(fixed(status.text(), kNameWidth)));
    ch.close_list();
    return kExitHalt;
  }
  // The list file is finished and checked before the console says so.
  ch.to_list(free_line(""));
  ch.to_list(free_line("NORMAL TERMINATION"));
  ch.to_list(free_line(""));
  ch.close_list();
  banner(ch, "NORMAL TERMINATION");
  return kExitNormal;
}

constexpr std::string_view kUsage =
    "usage: kestrel [CONTROL-FILE]\n"
    "\n"
    "Converts the 1-hour POSTFILEs of an AERMOD run into CONC.DAT datasets\n"
    "(version 2.1). Run it in the AERMOD run folder. It reads the control file\n"
    "(default AERMOD.INP; several arguments are joined by blanks into one name),\n"
    "the files it includes and every 1-hour UNFORM or PLOT POSTFILE, and writes\n"
    "  <POSTFILE>.gdx       a dataset beside each POSTFILE, values in g/m3\n"
    "  <CONTROL-FILE>.kst   the list file: run summary, progress and messages\n"
    "\n"
    "Exit status: 0 normal termination (warnings included), 1 halted (see the\n"
    "list file), 2 a file could not be opened, read or written, or an unknown\n"
    "option; 130 or 143 after Ctrl-C or SIGTERM.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and level and exit\n";

// KESTREL_PROGRESS=always|never overrides the terminal rule.
ProgressMode progress_mode() {
  const char* v = std::getenv("KESTREL_PROGRESS");
  const std::string_view mode = v != nullptr ? v : "";
  if (mode == "always") return ProgressMode::always;
  if (mode == "never") return ProgressMode::never;
  return io::stderr_is_terminal() ? ProgressMode::terminal : ProgressMode::never;
}

bool has(std::span<const std::string> args, std::initializer_list<std::string_view> words) {
  for (const auto& a : args) {
    for (const auto w : words) {
      if (a == w) return true;
    }
  }
  return false;
}

}  // namespace

int run(std::span<const std::string> args, const std::filesystem::path& dir, std::ostream& console,
        std::ostream& err) {
  // These two words are never a control-file name.
  if (has(args, {"-h", "--help"})) {
    console << kUsage;
    return kExitNormal;
  }
  if (has(args, {"--version"})) {
    console << "kestrel " << mver << " (level " << mlevel << ")\n";
    return kExitNormal;
  }
  // Every other word with a leading '-' is a mistake, not a file name.
  for (const auto& a : args) {
    if (!a.empty() && a.front() == '-') {
      err << "kestrel: unknown option '" << a << "'\nTry 'kestrel --help'.\n";
      return kExitUsage;
    }
  }
  Channels ch(console, err, progress_mode());
  const InterruptGuard interrupts;
  const auto fail = [&](const std::string& text, int status) {
    ch.erase_progress();
    err << text << '\n';
    ch.close_list_quietly(free_line(text));
    console.flush();
    return status;
  };
  try {
    const int status = phases(args, dir, ch);
    console.flush();
    return status;
  } catch (const IoError& e) {
    return fail(std::string("kestrel: ") + e.what(), kExitIoFailure);
  } catch (const Interrupted& i) {
    return fail("kestrel: interrupted", 128 + i.signal);
  } catch (const std::bad_alloc&) {
    return fail("kestrel: out of memory", kExitIoFailure);
  }
}

}  // namespace kestrel
