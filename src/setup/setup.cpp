#include "setup/setup.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

#include "datetime/datetime.hpp"
#include "base/case320.hpp"
#include "base/free_line.hpp"
#include "base/io_error.hpp"
#include "base/text.hpp"
#include "base/fields.hpp"
#include "io/line_reader.hpp"
#include "io/names.hpp"
#include "setup/params.hpp"
#include "setup/receptors.hpp"

namespace kestrel {

namespace {

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
  SetupPass(Ctrl& ctrl, Report& report, const std::filesystem::path& dir) : ctrl_(ctrl), report_(report), dir_(dir) {}

  Status read_control_file(io::LineReader& in);
  Status read_receptor_file();
  Status final_checks() const;

 private:
  Status load(std::string_view raw);
  Status line(std::string_view raw);
  std::string_view after(std::string_view key) const;

  void title(int which, std::string_view key);
  void pollutid();
  void modelopt(std::string_view hay);
  Status startend();
  Status postfile(std::string_view hay);
  Status disccart();
  void included();

  Ctrl& ctrl_;
  Report& report_;
  const std::filesystem::path& dir_;
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

// A halt whose first list-file line is its message.
Status halt(std::string_view message, bool see_list) {
  return Status::halt(std::string(message), see_list).line(free_line(message));
}

// The line as a 320-column field, upper-cased up to klast_, its length
// without trailing blanks; false when the case conversion halts.
Status SetupPass::load(std::string_view raw) {
  raw = raw.substr(0, kLineWidth);
  klast_ = len_trim(raw);
  char320_.assign(raw);
  char320_.resize(kLineWidth, ' ');
  return case320("UPPER", char320_, static_cast<std::int32_t>(klast_));
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
  ctrl_.atitle[static_cast<std::size_t>(which)] = std::string(trim(after(key).substr(0, kTitleWidth)));
}

void SetupPass::pollutid() { ctrl_.aerspec = std::string(trim(after("POLLUTID")).substr(0, 12)); }

void SetupPass::modelopt(std::string_view hay) {
  lconc_ = contains(hay, "CONC");
  if (contains(hay, "DEPOS") || contains(hay, "DDEP") || contains(hay, "WDEP")) lconc_ = false;
}

Status SetupPass::startend() {
  const std::string_view text = after("STARTEND");
  std::array<std::string_view, 8> f;
  const std::size_t n = split_fields(text, f);
  std::array<std::int32_t, 8> v{};
  const std::size_t use = n >= 8 ? 8 : 6;
  bool ok = n >= 6;
  for (std::size_t i = 0; ok && i < use; ++i) ok = parse_int32(f[i], v[i]);
  if (!ok) return halt("Halted in SETUP:  invalid STARTEND values", true).line(free_line(trim(text)));
  if (use == 8) {
    ctrl_.isyr = v[0], ctrl_.ismo = v[1], ctrl_.isday = v[2], ctrl_.ishr = v[3];
    ctrl_.ieyr = v[4], ctrl_.iemo = v[5], ctrl_.ieday = v[6], ctrl_.iehr = v[7];
  } else {
    ctrl_.isyr = v[0], ctrl_.ismo = v[1], ctrl_.isday = v[2], ctrl_.ishr = 1;
    ctrl_.ieyr = v[3], ctrl_.iemo = v[4], ctrl_.ieday = v[5], ctrl_.iehr = 24;
  }
  ctrl_.lstartend = true;
  auto isjul = julday(ctrl_.isyr, ctrl_.ismo, ctrl_.isday);
  if (!isjul.ok()) return std::move(isjul).status();
  ctrl_.isjul = *isjul;
  auto iejul = julday(ctrl_.ieyr, ctrl_.iemo, ctrl_.ieday);
  if (!iejul.ok()) return std::move(iejul).status();
  ctrl_.iejul = *iejul;
  return {};
}

Status SetupPass::postfile(std::string_view hay) {
  const std::string_view shown = trim_right(char320_);
  if (!contains(hay, "UNFORM")) {
    // A formatted (PLOT) POSTFILE: not ours to convert.
    report_.note(free_line("Skipped POSTFILE line without UNFORM: " + std::string(shown)));
    return {};
  }
  const std::string_view name = postfile_name(after("UNFORM"));
  if (name.empty()) return halt("Halted in SETUP:  POSTFILE name is missing", true).line(free_line(shown));
  if (name.size() > kMaxNameLength) {
    return halt("Halted in SETUP:  POSTFILE name is too long", true)
        .line(free_line(name))
        .line(free_line("The limit is 128 characters"));
  }
  if (ctrl_.aernam.size() + 1 > MXFIL) {
    return halt("Halted in SETUP:  there are too many file names", true)
        .line(FreeLine().text("The limit is set by parameter MXFIL = ").i32(static_cast<std::int32_t>(MXFIL)).str());
  }
  ctrl_.aernam.emplace_back(name);
  return {};
}

Status SetupPass::disccart() {
  if (store_.add(after(kDisccart.text))) return {};
  return halt("Halted in SETUP:  too many receptors", true)
      .line(FreeLine().text("The limit is set by parameter MXREC = ").i32(static_cast<std::int32_t>(MXREC)).str());
}

void SetupPass::included() {
  ++nrecfil_;
  recfil_ = unquote(trim(after(kIncluded.text))).substr(0, kNameWidth);
}

Status SetupPass::line(std::string_view raw) {
  if (!raw.empty() && raw.front() == '*') return {};
  if (Status s = load(raw); !s.ok()) return s;
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
  if (title_line) return {};
  if (has(kPollutid)) pollutid();
  if (has(kModelopt)) modelopt(hay);
  if (has(kDayrange)) ldayrange_ = true;
  if (has(kStartend)) {
    if (Status s = startend(); !s.ok()) return s;
  }
  if (has(kPostfile) && contains(hay, " 1 ")) {
    if (Status s = postfile(hay); !s.ok()) return s;
  }
  if (has(kDisccart)) {
    if (Status s = disccart(); !s.ok()) return s;
  }
  if (has(kIncluded)) included();
  return {};
}

Status SetupPass::read_control_file(io::LineReader& in) {
  std::string raw;
  while (in.next(raw)) {
    if (Status s = line(raw); !s.ok()) return s;
  }
  return {};
}

Status SetupPass::read_receptor_file() {
  if (nrecfil_ >= 2) {
    constexpr std::string_view msg = "Halted in SETUP:  too many receptor files: ";
    return Status::halt(std::string(msg), true)
        .line(FreeLine().text(msg).i32(nrecfil_).str())
        .line(free_line("Only 1 receptor file is expected"));
  }
  if (nrecfil_ == 1) {
    const std::string shown(trim_right(recfil_));
    const std::string label = file_label("receptor file", shown);
    io::LineReader in(io::open_for_reading(io::resolve_name(dir_, shown, "receptor file"), label), label);
    std::string raw;
    while (in.next(raw)) {
      if (!raw.empty() && raw.front() == '*') continue;
      if (Status s = load(raw); !s.ok()) return s;
      hay_ = std::string_view(char320_.data(), klast_);
      // Receptor files do not nest: only DISCCART lines count here.
      if (contains(hay_, kDisccart.text)) {
        if (Status s = disccart(); !s.ok()) return s;
      }
    }
  }
  const ReceptorError bad = store_.parse(ctrl_.receptors);
  if (bad.entry != 0) {
    return halt("Halted in SETUP:  invalid receptor entry", true)
        .line(FreeLine().text("Receptor entry").i32(bad.entry).text(bad.text).str());
  }
  return {};
}

Status SetupPass::final_checks() const {
  if (!lconc_) return halt("Halted in SETUP:  Must ONLY have Concentrations!", false);
  if (ldayrange_) return halt("Halted in SETUP:  DAYRANGE is not supported!", false);
  if (ctrl_.receptors.empty()) return halt("Halted in SETUP:  no receptors found!", false);
  return {};
}

}  // namespace

Result<Ctrl> setup(const std::filesystem::path& dir, const std::string& cfname, Report& report) {
  // The control file is opened exactly as named.
  const std::string label = file_label("control file", cfname);
  io::LineReader in(io::open_for_reading(dir / cfname, label), label);

  Ctrl ctrl;
  SetupPass pass(ctrl, report, dir);
  if (Status s = pass.read_control_file(in); !s.ok()) return s;
  if (Status s = pass.read_receptor_file(); !s.ok()) return s;
  if (Status s = pass.final_checks(); !s.ok()) return s;
  return ctrl;
}

}  // namespace kestrel
