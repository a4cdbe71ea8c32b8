#include "app/driver.hpp"

#include "convert/comp.hpp"
#include "app/channels.hpp"
#include "base/free_line.hpp"
#include "base/halt.hpp"
#include "base/io_error.hpp"
#include "app/qa.hpp"
#include "setup/ctrl.hpp"
#include "setup/setup.hpp"

namespace kestrel {

namespace {

void banner(Channels& ch, std::string_view text) {
  ch.to_console(free_line(""));
  ch.to_console(free_line(text));
  ch.to_console(free_line(""));
}

int phases(std::span<const std::string> args, const std::filesystem::path& dir, Channels& ch) {
  Qa qa;
  qa.ver = fixed(mver, 12);
  qa.level = fixed(mlevel, 12);
  Halt132 halt132;
  Ctrl ctrl;

  banner(ch, "SETUP PHASE");
  setup(ctrl, qa, ch, args, dir, halt132);
  if (halt132.normal()) {
    banner(ch, "COMPUTATION PHASE");
    comp(ctrl, qa, ch, dir, halt132);
  }
  if (!halt132.normal()) {
    ch.to_console(free_line(halt132.text()));
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
    "Converts the 1-hour unformatted POSTFILEs of an AERMOD run into CONC.DAT\n"
    "datasets (version 2.1). Run it in the AERMOD run folder. It reads the control\n"
    "file (default AERMOD.INP; several arguments are joined by blanks into one\n"
    "name), its receptor file and every 1-hour UNFORM POSTFILE, and writes\n"
    "  <POSTFILE>.gdx       a dataset beside each POSTFILE, values in g/m3\n"
    "  <CONTROL-FILE>.kst   the list file: run summary, progress and messages\n"
    "\n"
    "Exit status: 0 normal termination, 1 halted (see the list file),\n"
    "2 a file could not be opened, read or written.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and level and exit\n";

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
  Channels ch(console, err);
  try {
    const int status = phases(args, dir, ch);
    console.flush();
    return status;
  } catch (const IoError& e) {
    const std::string text = std::string("kestrel: ") + e.what();
    err << text << '\n';
    if (ch.list_open()) {
      ch.list() << free_line(text) << '\n';
      ch.close_list_quietly();
    }
    console.flush();
    return kExitIoFailure;
  }
}

}  // namespace kestrel
