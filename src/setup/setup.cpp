#include "setup/setup.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

#include "datetime/datetime.hpp"
#include "base/case320.hpp"
#include "app/comline.hpp"
#include "base/free_line.hpp"
#include "base/io_error.hpp"
#include "base/text.hpp"
#include "base/fields.hpp"
#include "io/line_reader.hpp"
#include "io/names.hpp"
#include "setup/receptors.hpp"

namespace kestrel {

namespace {

constexpr std::size_t kLineWidth = 320;
constexpr std::size_t kNameWidth = 132;
constexpr std::size_t kMaxNameLength = 128;  // leaves room for ".kst" and ".gdx"
constexpr std::size_t kTitleWidth = 80;

bool contains(std::string_view hay, std::string_view key) { return hay.find(key) != std::string_view::npos; }

// Which of the letters L and M a text holds, one bit each. Every keyword but
// DISCCART holds one of them, so two quick scans for those letters spare
// most lines (receptor lines above all) the other searches.
constexpr std::uint32_t marks_in(std::string_view s) {
  return (s.find('L') != std::string_view::npos ? 1U : 0U) | (s.find('M') != std::string_view::npos ? 2U : 0U);
}

struct Keyword {
  std::string_view text;
  std::uint32_t marks;
  constexpr explicit Keyword(std::string_view t) : text(t), marks(marks_in(t)) {}
};

constexpr Keyword kTitleOne("TITLEONE");
constexpr Keyword kTitleTwo("TITLETWO");
constexpr Keyword kPollutid("CO POLLUTID");
constexpr Keyword kModelopt("CO MODELOPT");
constexpr Keyword kDayrange("ME DAYRANGE");
constexpr Keyword kStartend("ME STARTEND");
constexpr Keyword kPostfile("OU POSTFILE");
constexpr Keyword kDisccart("DISCCART");
constexpr Keyword kIncluded("RE INCLUDED");

// The first word from column 3 on.
std::string_view word_from_column3(std::string_view line) {
  std::string_view rest = line.substr(std::min<std::size_t>(2, line.size()));
  std::size_t i = 0;
  while (i < rest.size() && rest[i] == ' ') ++i;
  std::size_t j = i;
  while (j < rest.size() && rest[j] != ' ') ++j;
  return rest.substr(i, j - i);
}

// A name in double quotes (AERMOD's way of writing blanks into a name) loses
// its quotes; otherwise the text is the name.
std::string_view unquote(std::string_view t) {
  if (t.size() >= 2 && t.front() == '"') {
    const std::size_t close = t.find('"', 1);
    if (close != std::string_view::npos) return t.substr(1, close - 1);
  }
  return t;
}

bool is_unit_number(std::string_view w) {
  return !w.empty() && w.size() <= 3 && std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The POSTFILE name from the text after UNFORM: a last word of one to three
// digits after another word is AERMOD's optional unit number.
std::string_view postfile_name(std::string_view text) {
  const std::string_view t = trim(text);
  if (!t.empty() && t.front() == '"') {
    const std::string_view q = unquote(t);
    if (q.size() != t.size()) return q;
  }
  const std::size_t blank = t.rfind(' ');
  if (blank != std::string_view::npos && is_unit_number(t.substr(blank + 1))) return trim_right(t.substr(0, blank));
  return t;
}

class SetupPass {
 public:
  SetupPass(Ctrl& ctrl, Channels& ch, const std::filesystem::path& dir, Halt132& halt132)
      : ctrl_(ctrl), ch_(ch), dir_(dir), halt_(halt132), store_(ctrl) {}

  void read_control_file(LineReader& in);
  void read_receptor_file();
  void final_checks();

 private:
  void halt(std::string_view message, bool pointer, std::string_view first_line = {});
  bool load(std::string_view raw);
  void line(std::string_view raw);
  std::string_view after(std::string_view key) const;

  void title(int which, std::string_view key);
  void pollutid();
  void modelopt(std::string_view hay);
  void startend();
  void postfile(std::string_view hay);
  void disccart();
  void included();

  Ctrl& ctrl_;
  Channels& ch_;
  const std::filesystem::path& dir_;
  Halt132& halt_;
  ReceptorStore store_;

  std::string char320_ = std::string(kLineWidth, ' ');
  std::size_t klast_ = 0;
  std::string_view hay_;  // the used columns of char320_, see line()
  std::string cpathway_ = "  ";
  bool lconc_ = false;
  bool ldayrange_ = false;
  std::int32_t nrecfil_ = 0;
  std::string recfil_;
};

// The line as a 320-column field, upper-cased up to klast_, its length
// without trailing blanks; false when the case conversion halts.
bool SetupPass::load(std::string_view raw) {
  raw = raw.substr(0, kLineWidth);
  klast_ = len_trim(raw);
  char320_.assign(raw);
  char320_.resize(kLineWidth, ' ');
  case320(ch_.list(), "UPPER", char320_, static_cast<std::int32_t>(klast_), halt_);
  return halt_.normal();
}

void SetupPass::halt(std::string_view message, bool pointer, std::string_view first_line) {
  halt_.set(message, pointer);
  ch_.to_list(first_line.empty() ? free_line(message) : first_line);
}

// The text after the first occurrence of `key`, up to the line's last
// non-blank column; it begins with the blanks that separate key and value.
std::string_view SetupPass::after(std::string_view key) const {
  const std::size_t start = hay_.find(key) + key.size();
  if (start >= klast_) return {};
  return std::string_view(char320_).substr(start, klast_ - start);
}

void SetupPass::title(int which, std::string_view key) {
  // The separating blanks count against the 80 columns before the title is
  // left-adjusted.
  ctrl_.atitle[static_cast<std::size_t>(which)] = left_adjust(fixed(after(key), kTitleWidth));
}

void SetupPass::pollutid() { ctrl_.aerspec = fixed(trim(after("POLLUTID")), 12); }

void SetupPass::modelopt(std::string_view hay) {
  lconc_ = contains(hay, "CONC");
  if (contains(hay, "DEPOS") || contains(hay, "DDEP") || contains(hay, "WDEP")) lconc_ = false;
}

void SetupPass::startend() {
  const std::string_view text = after("STARTEND");
  std::array<std::string_view, 8> f;
  const std::size_t n = split_fields(text, f);
  std::array<std::int32_t, 8> v{};
  const std::size_t use = n >= 8 ? 8 : 6;
  bool ok = n >= 6;
  for (std::size_t i = 0; ok && i < use; ++i) ok = parse_int32(f[i], v[i]);
  if (!ok) {
    halt("Halted in SETUP:  invalid STARTEND values", true);
    ch_.to_list(free_line(trim(text)));
    return;
  }
  if (use == 8) {
    ctrl_.isyr = v[0], ctrl_.ismo = v[1], ctrl_.isday = v[2], ctrl_.ishr = v[3];
    ctrl_.ieyr = v[4], ctrl_.iemo = v[5], ctrl_.ieday = v[6], ctrl_.iehr = v[7];
  } else {
    ctrl_.isyr = v[0], ctrl_.ismo = v[1], ctrl_.isday = v[2], ctrl_.ishr = 1;
    ctrl_.ieyr = v[3], ctrl_.iemo = v[4], ctrl_.ieday = v[5], ctrl_.iehr = 24;
  }
  ctrl_.lstartend = true;
  julday(ch_.list(), ctrl_.isyr, ctrl_.ismo, ctrl_.isday, ctrl_.isjul, halt_);
  if (!halt_.normal()) return;
  julday(ch_.list(), ctrl_.ieyr, ctrl_.iemo, ctrl_.ieday, ctrl_.iejul, halt_);
}

void SetupPass::postfile(std::string_view hay) {
  const std::string_view shown = trim_right(char320_);
  if (!contains(hay, "UNFORM")) {
    // A formatted (PLOT) POSTFILE: not ours to convert.
    ch_.to_list(free_line("Skipped POSTFILE line without UNFORM: " + std::string(shown)));
    return;
  }
  const std::string_view name = postfile_name(after("UNFORM"));
  if (name.empty()) {
    halt("Halted in SETUP:  POSTFILE name is missing", true);
    ch_.to_list(free_line(shown));
    return;
  }
  if (name.size() > kMaxNameLength) {
    halt("Halted in SETUP:  POSTFILE name is too long", true);
    ch_.to_list(free_line(name));
    ch_.to_list(free_line("The limit is 128 characters"));
    return;
  }
  if (static_cast<std::size_t>(ctrl_.nfil) + 1 > MXFIL) {
    halt("Halted in SETUP:  there are too many file names", true);
    ch_.to_list(FreeLine().text("The limit is set by parameter MXFIL = ").i32(static_cast<std::int32_t>(MXFIL)).str());
    return;
  }
  ctrl_.aernam[static_cast<std::size_t>(ctrl_.nfil)] = fixed(name, kNameWidth);
  ++ctrl_.nfil;
}

void SetupPass::disccart() {
  if (!store_.add(after(kDisccart.text))) {
    halt("Halted in SETUP:  too many receptors", true);
    ch_.to_list(FreeLine().text("The limit is set by parameter MXREC = ").i32(static_cast<std::int32_t>(MXREC)).str());
  }
}

void SetupPass::included() {
  ++nrecfil_;
  recfil_ = fixed(unquote(trim(after(kIncluded.text))), kNameWidth);
}

void SetupPass::line(std::string_view raw) {
  if (!raw.empty() && raw.front() == '*') return;
  if (!load(raw)) return;
  if (char320_[0] == ' ' && char320_[1] == ' ') {
    char320_.replace(0, 2, cpathway_);
  } else {
    cpathway_ = char320_.substr(0, 2);
  }
  // Everything beyond the last non-blank column is blank, so the searches
  // need only the used columns and one blank after them (for " 1 ").
  const std::size_t used = std::min(kLineWidth, std::max<std::size_t>(klast_, len_trim(std::string_view(char320_).substr(0, 2))) + 1);
  hay_ = std::string_view(char320_.data(), used);
  const std::string_view hay = hay_;

  const std::uint32_t marks = marks_in(hay);
  const auto has = [&](const Keyword& k) { return (marks & k.marks) == k.marks && contains(hay, k.text); };

  // A title is only a title: its words may say "INCLUDED" or "DISCCART".
  const std::string_view first = word_from_column3(hay);
  const bool title_line = first == kTitleOne.text || first == kTitleTwo.text;

  if (has(kTitleOne)) title(0, kTitleOne.text);
  if (has(kTitleTwo)) title(1, kTitleTwo.text);
  if (title_line) return;
  if (has(kPollutid)) pollutid();
  if (has(kModelopt)) modelopt(hay);
  if (has(kDayrange)) ldayrange_ = true;
  if (has(kStartend)) {
    startend();
    if (!halt_.normal()) return;
  }
  if (has(kPostfile) && contains(hay, " 1 ")) {
    postfile(hay);
    if (!halt_.normal()) return;
  }
  if (has(kDisccart)) {
    disccart();
    if (!halt_.normal()) return;
  }
  if (has(kIncluded)) included();
}

void SetupPass::read_control_file(LineReader& in) {
  ctrl_.nfil = 0;
  ctrl_.nrecin = 0;
  ctrl_.aerspec = std::string(12, ' ');
  std::string raw;
  while (in.next(raw)) {
    line(raw);
    if (!halt_.normal()) return;
  }
}

void SetupPass::read_receptor_file() {
  if (nrecfil_ >= 2) {
    constexpr std::string_view msg = "Halted in SETUP:  too many receptor files: ";
    halt(msg, true, FreeLine().text(msg).i32(nrecfil_).str());
    ch_.to_list(free_line("Only 1 receptor file is expected"));
    return;
  }
  if (nrecfil_ == 1) {
    const std::string shown(trim_right(recfil_));
    const std::string label = "receptor file '" + shown + "'";
    LineReader in(io::open_for_reading(resolve_name(dir_, shown, "receptor file"), label), label);
    std::string raw;
    while (in.next(raw)) {
      if (!raw.empty() && raw.front() == '*') continue;
      if (!load(raw)) return;
      hay_ = std::string_view(char320_.data(), klast_);
      // Receptor files do not nest: only DISCCART lines count here.
      if (contains(hay_, kDisccart.text)) {
        disccart();
        if (!halt_.normal()) return;
      }
    }
  }
  const ReceptorError bad = store_.parse();
  if (bad.entry != 0) {
    halt("Halted in SETUP:  invalid receptor entry", true);
    ch_.to_list(FreeLine().text("Receptor entry").i32(bad.entry).text(bad.text).str());
  }
}

void SetupPass::final_checks() {
  if (!lconc_) {
    halt("Halted in SETUP:  Must ONLY have Concentrations!", false);
  } else if (ldayrange_) {
    halt("Halted in SETUP:  DAYRANGE is not supported!", false);
  } else if (ctrl_.nrecin < 1) {
    halt("Halted in SETUP:  no receptors found!", false);
  }
}

void write_list_header(Channels& ch, const Qa& qa) {
  for (int i = 0; i < 3; ++i) ch.to_list("");
  ch.to_list(std::string(26, ' ') + "KESTREL RUN SUMMARY");
  ch.to_list(std::string(19, ' ') + "VERSION:  " + fixed(qa.ver, 12) + " LEVEL:  " + fixed(qa.level, 12));
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

}  // namespace

void setup(Ctrl& ctrl, const Qa& qa, Channels& ch, std::span<const std::string> args, const std::filesystem::path& dir,
           Halt132& halt132) {
  std::string cfname = fixed("AERMOD.INP", kNameWidth);
  comline(cfname, args);
  const std::string name(trim_right(cfname));
  // Longer names leave no room for ".kst" within the 132 columns.
  if (name.size() > kMaxNameLength) throw IoError("control-file name is longer than 128 characters");

  ch.open_list(dir / (name + ".kst"), name + ".kst");
  write_list_header(ch, qa);
  write_notice(ch, name);
  read_control(ctrl, ch, dir, name, halt132);
}

void read_control(Ctrl& ctrl, Channels& ch, const std::filesystem::path& dir, const std::string& cfname,
                  Halt132& halt132) {
  // The control file is opened exactly as named.
  const std::string label = "control file '" + cfname + "'";
  LineReader in(io::open_for_reading(dir / cfname, label), label);

  SetupPass pass(ctrl, ch, dir, halt132);
  pass.read_control_file(in);
  if (!halt132.normal()) return;
  pass.read_receptor_file();
  if (!halt132.normal()) return;
  pass.final_checks();
}

}  // namespace kestrel
