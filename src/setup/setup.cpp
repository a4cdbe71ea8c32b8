#include "setup/setup.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <tuple>

#include "datetime/datetime.hpp"
#include "base/case320.hpp"
#include "base/free_line.hpp"
#include "base/io_error.hpp"
#include "base/text.hpp"
#include "base/fields.hpp"
#include "io/line_reader.hpp"
#include "io/names.hpp"
#include "setup/params.hpp"
#include "setup/networks.hpp"
#include "setup/options.hpp"
#include "setup/receptors.hpp"
#include "setup/sources.hpp"

namespace kestrel {

namespace {

bool contains(std::string_view hay, std::string_view key) { return hay.find(key) != std::string_view::npos; }

// Which of the letters L, M and U a text holds, one bit each. Most keywords
// searched anywhere in a line hold one of them, so three quick scans for
// those letters spare most lines (receptor lines above all) the searches.
constexpr std::uint32_t marks_in(std::string_view s) {
  return (s.find('L') != std::string_view::npos ? 1U : 0U) | (s.find('M') != std::string_view::npos ? 2U : 0U) |
         (s.find('U') != std::string_view::npos ? 4U : 0U);
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
constexpr Keyword kSoIncluded("SO INCLUDED");
constexpr Keyword kReFinished("RE FINISHED");

// Fields of a line from column 3 on: room for every field a 320-column line can hold.
using Fields = std::array<std::string_view, kLineWidth / 2 + 1>;

constexpr std::array<std::string_view, 11> kNetworkWords = {"XYINC", "XPNTS", "YPNTS", "ORIG", "DIST", "DDIR",
                                                            "GDIR",  "ELEV",  "HILL",  "FLAG", "END"};

bool is_network_word(std::string_view w) {
  return std::find(kNetworkWords.begin(), kNetworkWords.end(), w) != kNetworkWords.end();
}

// The line from column 3 on: the pathway field dropped.
std::string_view from_column3(std::string_view line) { return line.substr(std::min<std::size_t>(2, line.size())); }

// The first word from column 3 on.
std::string_view word_from_column3(std::string_view line) {
  std::string_view rest = line.substr(std::min<std::size_t>(2, line.size()));
  std::size_t i = 0;
  while (i < rest.size() && rest[i] == ' ') ++i;
  std::size_t j = i;
  while (j < rest.size() && rest[j] != ' ') ++j;
  return rest.substr(i, j - i);
}

class SetupPass {
 public:
  SetupPass(Ctrl& ctrl, Report& report, const std::filesystem::path& dir) : ctrl_(ctrl), report_(report), dir_(dir) {}

  Status read_control_file(io::LineReader& in, const std::string& name);
  Status finish();

 private:
  enum class Included { receptors, sources };

  Status load(std::string_view raw);
  void fill_pathway(std::string& cpathway);
  Status line(std::string_view raw);
  std::string_view after(std::string_view key) const;
  [[nodiscard]] LinePlace place() const;
  [[nodiscard]] std::string where() const { return where_line(place()); }

  void title(int which, std::string_view key);
  void source_line(std::string_view first);
  Status startend();
  Status postfile(std::string_view hay);
  Status receptor_line(std::string_view first);
  Status discrete(ReceptorList::Form form);
  Status network_line(std::span<const std::string_view> f);
  Status close_network();
  Status read_included(Included kind, std::string_view key);

  Ctrl& ctrl_;
  Report& report_;
  const std::filesystem::path& dir_;
  ReceptorList receptors_;
  SourceTable sources_;
  std::optional<Network> network_;

  std::string char320_ = std::string(kLineWidth, ' ');
  std::size_t klast_ = 0;
  std::string_view hay_;  // the used columns of char320_, see line()
  std::string cpathway_ = "  ";
  std::string file_;  // where the line stands, for the halts that show it
  std::int64_t line_number_ = 0;
  std::optional<std::vector<dataset::OutputType>> types_;  // of the last CO MODELOPT line
  bool ldayrange_ = false;
  UnitLabels units_;
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

LinePlace SetupPass::place() const {
  return {std::string(trim(std::string_view(char320_).substr(0, klast_ > 2 ? klast_ : 2))), file_, line_number_};
}

void SetupPass::fill_pathway(std::string& cpathway) {
  if (char320_[0] == ' ' && char320_[1] == ' ') {
    char320_.replace(0, 2, cpathway);
  } else {
    cpathway = char320_.substr(0, 2);
  }
  // Everything beyond the last non-blank column is blank, so the searches
  // need only the used columns and one blank after them (for " 1 ").
  klast_ = std::max<std::size_t>(klast_, len_trim(std::string_view(char320_).substr(0, 2)));
  hay_ = std::string_view(char320_.data(), std::min(kLineWidth, klast_ + 1));
}

void SetupPass::title(int which, std::string_view key) {
  // The separating blanks count against the 80 columns before the title is
  // left-adjusted.
  ctrl_.atitle[static_cast<std::size_t>(which)] = std::string(trim(after(key).substr(0, kTitleWidth)));
}

Status SetupPass::startend() {
  const std::string_view text = after("STARTEND");
  std::array<std::string_view, 8> f;
  const std::size_t n = split_fields(text, f);
  std::array<std::int32_t, 8> v{};
  const std::size_t use = n >= 8 ? 8 : 6;
  bool ok = n >= 6;
  for (std::size_t i = 0; ok && i < use; ++i) ok = parse_int32(f[i], v[i]);
  if (!ok) return halt("Halted in SETUP:  invalid STARTEND values", true).line(free_line(trim(text))).line(where());
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
  const bool plot = !contains(hay, "UNFORM");
  if (plot && !contains(hay, "PLOT")) {
    report_.note(free_line("Skipped POSTFILE line without UNFORM: " + std::string(shown)));
    return {};
  }
  const std::string_view name = postfile_name(after(plot ? "PLOT" : "UNFORM"));
  if (name.empty()) return halt("Halted in SETUP:  POSTFILE name is missing", true).line(free_line(shown)).line(where());
  if (name.size() > kMaxNameLength) {
    return halt("Halted in SETUP:  POSTFILE name is too long", true)
        .line(free_line(name))
        .line(free_line("The limit is 128 characters"))
        .line(where());
  }
  if (ctrl_.aernam.size() + 1 > MXFIL) {
    return halt("Halted in SETUP:  there are too many file names", true)
        .line(FreeLine().text("The limit is set by parameter MXFIL = ").i32(static_cast<std::int32_t>(MXFIL)).str());
  }
  // The group id is the word before the format.
  const std::string_view head = trim_right(hay.substr(0, hay.find(plot ? "PLOT" : "UNFORM")));
  const std::size_t blank = head.find_last_of(' ');
  const std::string_view group = blank == std::string_view::npos ? head : head.substr(blank + 1);
  ctrl_.aernam.push_back({std::string(name), plot, std::string(group)});
  return {};
}

Status SetupPass::discrete(ReceptorList::Form form) {
  static constexpr std::array<std::string_view, 3> kWords = {"DISCCART", "DISCPOLR", "EVALCART"};
  std::string_view text = after(kWords[static_cast<std::size_t>(form)]);
  // An entry that is not numbers is shown whole, a DISCPOLR's source id included.
  const std::string_view entry = text;
  double xs = 0.0, ys = 0.0;
  if (form == ReceptorList::Form::discpolr) {
    // The source id, then distance and direction.
    std::array<std::string_view, 1> id;
    if (split_fields(text, id) > 0) {
      const auto src = sources_.places().find(id[0]);
      if (src == sources_.places().end()) return unknown_source_halt(id[0], place());
      std::tie(xs, ys) = src->second;
      text = text.substr(static_cast<std::size_t>(id[0].data() + id[0].size() - text.data()));
    }
  }
  if (!receptors_.add(form, text, entry, xs, ys, file_, line_number_)) return too_many_receptors();
  return {};
}

Status SetupPass::close_network() {
  if (!network_) return {};
  const Network net = std::move(*network_);
  network_.reset();
  return network_halt(net.id(), net.sta());
}

Status SetupPass::network_line(std::span<const std::string_view> f) {
  // f: the network keyword (or nothing, on a continued line), id, sub-keyword, values.
  const bool continued = f[0] != "GRIDCART" && f[0] != "GRIDPOLR";
  const std::size_t at = continued ? (f[0] == network_->id() ? 1 : 0) : 2;
  const std::string_view id = continued ? std::string_view(network_->id()) : (f.size() > 1 ? f[1] : std::string_view());
  const std::string_view word = at < f.size() ? f[at] : std::string_view();
  if (!continued && word == "STA") {
    if (Status s = close_network(); !s.ok()) return s;
    network_.emplace(f[0] == "GRIDCART" ? Network::Kind::cart : Network::Kind::polar, std::string(id), place());
    return {};
  }
  if (!network_ || id != network_->id() || (!continued && (f[0] == "GRIDCART") != (network_->kind() == Network::Kind::cart))) {
    return network_halt(id, place());
  }
  const auto args = f.subspan(std::min(at + 1, f.size()));
  if (word != "END") return network_->add(word, args, place(), sources_.places(), MXREC - receptors_.size());
  auto got = network_->end(place(), MXREC - receptors_.size());
  network_.reset();
  if (!got.ok()) return std::move(got).status();
  receptors_.add(*got);
  return {};
}

Status SetupPass::receptor_line(std::string_view first) {
  if (first == "DISCPOLR") return discrete(ReceptorList::Form::discpolr);
  if (first == "EVALCART") return discrete(ReceptorList::Form::evalcart);
  const bool network_word = first == "GRIDCART" || first == "GRIDPOLR";
  const bool continues = network_ && (is_network_word(first) || first == network_->id());
  if (network_word || continues) {
    Fields f;
    const std::size_t n = std::min(split_fields(from_column3(hay_), f), f.size());
    return network_line(std::span<const std::string_view>(f.data(), n));
  }
  if (contains(hay_, kDisccart.text)) return discrete(ReceptorList::Form::disccart);
  return {};
}

// A line of the SO pathway, in the control file or an SO INCLUDED file.
void SetupPass::source_line(std::string_view first) {
  if (first == "LOCATION") sources_.location(from_column3(hay_));
  if (first == "SRCPARAM" || first == "AREAVERT") sources_.numbers(from_column3(hay_));
  if (first == "EMISUNIT") units_.emisunit = UnitLabel{unit_label(after(first)), place()};
  if (first == "CONCUNIT") units_.concunit = UnitLabel{unit_label(after(first)), place()};
  if (first == "DEPOUNIT") units_.depounit = UnitLabel{unit_label(after(first)), place()};
}

Status SetupPass::read_included(Included kind, std::string_view key) {
  const std::string shown(unquote(trim(after(key))).substr(0, kNameWidth));
  const char* what = kind == Included::receptors ? "receptor file" : "source file";
  const std::string label = file_label(what, shown);
  const std::filesystem::path found = io::resolve_name(dir_, shown, what);
  io::LineReader in(io::open_for_reading(found, label), label);
  ctrl_.included.push_back(found);
  const std::string outer_file = file_;
  const std::int64_t outer_line = line_number_;
  std::string cpathway = kind == Included::receptors ? "RE" : "SO";
  file_ = shown;
  line_number_ = 0;
  std::string raw;
  Status status;
  while (status.ok() && in.next(raw)) {
    ++line_number_;
    if (!raw.empty() && raw.front() == '*') continue;
    status = load(raw);
    if (!status.ok()) break;
    fill_pathway(cpathway);
    // Included files do not nest.
    const std::string_view first = first_field(from_column3(hay_));
    if (kind == Included::sources) {
      source_line(first);
    } else {
      status = receptor_line(first);
    }
  }
  file_ = outer_file;
  line_number_ = outer_line;
  return status;
}

Status SetupPass::line(std::string_view raw) {
  if (!raw.empty() && raw.front() == '*') return {};
  if (Status s = load(raw); !s.ok()) return s;
  fill_pathway(cpathway_);
  const std::string_view hay = hay_;

  const std::uint32_t marks = marks_in(hay);
  const auto has = [&](const Keyword& k) { return (marks & k.marks) == k.marks && contains(hay, k.text); };

  // A title is only a title: its words may say "INCLUDED" or "DISCCART".
  const std::string_view word = word_from_column3(hay);
  const bool title_line = word == kTitleOne.text || word == kTitleTwo.text;
  const std::string_view first = first_field(from_column3(hay));

  if (has(kTitleOne)) title(0, kTitleOne.text);
  if (has(kTitleTwo)) title(1, kTitleTwo.text);
  if (title_line) return {};
  if (has(kPollutid)) ctrl_.aerspec = pollutant(after("POLLUTID"));
  if (has(kModelopt)) types_ = output_types(after("MODELOPT"));
  if (has(kDayrange)) ldayrange_ = true;
  if (has(kStartend)) {
    if (Status s = startend(); !s.ok()) return s;
  }
  if (has(kPostfile) && contains(hay, " 1 ")) {
    if (Status s = postfile(hay); !s.ok()) return s;
  }
  if (network_ && contains(hay, kReFinished.text)) return close_network();
  if (Status s = receptor_line(first); !s.ok()) return s;
  if (hay.substr(0, 2) == "SO") source_line(first);
  if (has(kIncluded)) return read_included(Included::receptors, kIncluded.text);
  if (has(kSoIncluded)) return read_included(Included::sources, kSoIncluded.text);
  return {};
}

Status SetupPass::read_control_file(io::LineReader& in, const std::string& name) {
  file_ = name;
  std::string raw;
  while (in.next(raw)) {
    ++line_number_;
    if (Status s = line(raw); !s.ok()) return s;
  }
  return close_network();
}

Status SetupPass::finish() {
  auto receptors = std::move(receptors_).take();
  if (!receptors.ok()) return std::move(receptors).status();
  ctrl_.receptors = std::move(*receptors);
  ctrl_.sources = sources_.list();
  // Without CO MODELOPT there is no telling what the POSTFILEs hold.
  if (!types_) return halt("Halted in SETUP:  Must ONLY have Concentrations!", false);
  ctrl_.types = *types_;
  if (ldayrange_) return halt("Halted in SETUP:  DAYRANGE is not supported!", false);
  if (ctrl_.receptors.empty()) return halt("Halted in SETUP:  no receptors found!", false);
  return apply_units(units_, ctrl_);
}

}  // namespace

Result<Ctrl> setup(const std::filesystem::path& dir, const std::string& cfname, Report& report) {
  // The control file is opened exactly as named.
  const std::string label = file_label("control file", cfname);
  io::LineReader in(io::open_for_reading(dir / cfname, label), label);

  Ctrl ctrl;
  SetupPass pass(ctrl, report, dir);
  if (Status s = pass.read_control_file(in, cfname); !s.ok()) return s;
  if (Status s = pass.finish(); !s.ok()) return s;
  return ctrl;
}

}  // namespace kestrel
