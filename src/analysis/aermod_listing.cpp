#include "analysis/aermod_listing.hpp"

#include <algorithm>
#include <deque>
#include <iterator>
#include <map>
#include <set>
#include <tuple>

#include "analysis/failure.hpp"
#include "analysis/listing_words.hpp"
#include "analysis/statistic.hpp"
#include "io/line_reader.hpp"

namespace kestrel::analysis {

namespace {

using namespace listing;

enum class Section { none, gridcart, gridpolr, discrete_cart, discrete_polar, max, summary };

class Parser {
 public:
  void line(const std::string& l) {
    ++line_;
    // Its message summary follows the last table: a listing without one is cut short.
    if (has(l, "*** Message Summary : AERMOD Model Execution ***")) {
      out_.complete = true;
      table_ = nullptr;
      section_ = Section::none;
      return;
    }
    if (has(l, "*** AERMOD - VERSION")) {
      table_ = nullptr;
      section_ = Section::none;
      return;
    }
    if (has(l, "*** MODELOPTs:")) {
      if (has(l, " SCIM")) out_.scim = true;
      return;
    }
    if (has(l, "*** THE SUMMARY OF ")) return summary_title(l);
    if (has(l, "*** THE ") && has(l, "FOR SOURCE GROUP:")) return title(l);
    if (has(l, "*** CONCURRENT")) return other("CONCURRENT (DAYTABLE)");
    if (has(l, "NETWORK ID:") && section_ != Section::summary) return network(l);
    if (has(l, "X-ORIG =")) return origin(l);
    if (section_ == Section::summary) return summary_line(l);
    if (table_ == nullptr) return;
    if (has(l, "DISCRETE CARTESIAN RECEPTOR POINTS")) section_ = Section::discrete_cart;
    else if (has(l, "DISCRETE POLAR RECEPTOR POINTS")) section_ = Section::discrete_polar;
    else if (has(l, "** ") && has(l, " IN ") && table_->unit.empty()) table_->unit = unit(l);
    else if (has(l, "(METERS) |") || has(l, "(DEGREES) |")) columns(l);
    else rows(l);
  }

  Listing done() && {
    out_.lines = line_;
    if (!out_.complete && (table_ != nullptr || section_ == Section::summary)) {
      out_.cut_in = section_ == Section::summary ? summary_.name() : table_->name() + " (group " + table_->group + ")";
    }
    out_.tables.assign(std::make_move_iterator(tables_.begin()), std::make_move_iterator(tables_.end()));
    return std::move(out_);
  }

 private:
  // "*** THE   1ST HIGHEST 24-HR AVERAGE CONCENTRATION   VALUES FOR SOURCE GROUP:  STACK1   ***" and its kin.
  void title(const std::string& l) {
    table_ = nullptr;
    section_ = Section::none;
    const auto the = l.find("*** THE ");
    const auto values = l.find("VALUES ", the);
    const auto for_group = l.find("FOR SOURCE GROUP:");
    if (values == std::string::npos || for_group < values) return;
    const auto h = words(std::string_view(l).substr(the + 8, values - the - 8));
    const auto tail = words(std::string_view(l).substr(values, for_group - values));
    const auto g = words(std::string_view(l).substr(for_group + 17));
    if (h.empty() || g.empty()) return;
    PrintedTable p;
    p.group = g.front();
    p.years = years_in(tail);
    std::size_t at = 0;
    std::optional<Averaging> a;
    if (h[0] == "MAXIMUM" && h.size() >= 3 && integer(h[1])) {
      p.kind = TableKind::maximum;
      p.rank = checked(*integer(h[1]), kMaxRank, "count");
      a = averaging_of(h, 2);
      section_ = Section::max;
    } else if (h[0] == "PERIOD" || h[0] == "ANNUAL") {
      p.kind = h[0] == "PERIOD" ? TableKind::period : TableKind::annual;
      // "PERIOD (  8784 HRS)"
      const auto open = std::find_if(h.begin(), h.end(), [](const std::string& w) { return integer(w).has_value(); });
      p.hours = open != h.end() ? *integer(*open) : 0;
      a = Averaging{p.hours, false, static_cast<std::size_t>(open != h.end() ? open - h.begin() + 2 : 1)};
    } else if (const auto r = rank_of(h[0])) {
      p.rank = *r;
      // "1ST HIGHEST 24-HR" or "1ST-HIGHEST MAX DAILY 1-HR ... AVERAGED OVER n YEARS"
      const bool dashed = h[0].find("-HIGHEST") != std::string::npos;
      at = dashed ? 1 : 2;
      if (!dashed && (h.size() < 2 || h[1] != "HIGHEST")) return other(join(h) + " (group " + p.group + ")");
      a = averaging_of(h, at);
      p.kind = p.years > 0 ? TableKind::years : TableKind::highest;
    }
    if (!a) return other(join(h) + " (group " + p.group + ")");
    if (p.kind == TableKind::highest || p.kind == TableKind::years) {
      p.rank = checked(p.rank, a->daily ? kMaxDailyRank : kMaxRank, "rank");
    }
    if (p.kind != TableKind::period && p.kind != TableKind::annual) p.hours = a->hours;
    p.daily = a->daily;
    std::vector<std::string> rest(h.begin() + static_cast<std::ptrdiff_t>(std::min(a->next, h.size())), h.end());
    p.type = type_of_title(join(rest));
    if (std::find(out_.types.begin(), out_.types.end(), p.type) == out_.types.end()) out_.types.push_back(p.type);
    table_ = &find_or_add(std::move(p));
  }

  // A table continued on the next page (another network, the discrete
  // receptors) is the same table.
  PrintedTable& find_or_add(PrintedTable p) {
    const auto key = std::make_tuple(static_cast<int>(p.kind), static_cast<int>(p.of), p.rank, p.hours, p.daily, p.years,
                                     p.type, p.group);
    auto found = index_.find(key);
    if (found == index_.end()) {
      found = index_.emplace(key, tables_.size()).first;
      tables_.push_back(std::move(p));
    }
    return tables_[found->second];
  }

  // "*** THE SUMMARY OF HIGHEST 24-HR RESULTS ***", "... OF MAXIMUM PERIOD (  8784 HRS) RESULTS ***",
  // "... OF MAXIMUM   1ST-HIGHEST MAX DAILY  1-HR RESULTS AVERAGED OVER   2 YEARS ***"
  void summary_title(const std::string& l) {
    table_ = nullptr;
    section_ = Section::none;
    const auto of = l.find("SUMMARY OF ");
    const auto results = l.find(" RESULTS", of);
    if (results == std::string::npos) return;
    const auto h = words(std::string_view(l).substr(of + 11, results - of - 11));
    const auto tail = words(std::string_view(l).substr(results));
    PrintedTable p;
    p.kind = TableKind::summary;
    p.years = years_in(tail);
    std::size_t at = !h.empty() && (h[0] == "MAXIMUM" || h[0] == "HIGHEST") ? 1 : 0;
    if (at >= h.size()) return other("SUMMARY OF " + join(h));
    if (h[at] == "PERIOD" || h[at] == "ANNUAL") {
      p.of = h[at] == "PERIOD" ? TableKind::period : TableKind::annual;
      const auto n = std::find_if(h.begin(), h.end(), [](const std::string& w) { return integer(w).has_value(); });
      p.hours = n != h.end() ? *integer(*n) : 0;
    } else {
      if (const auto r = rank_of(h[at])) p.rank = *r, ++at;
      const auto a = averaging_of(h, at);
      if (!a) return other("SUMMARY OF " + join(h));
      if (p.rank != 0) p.rank = checked(p.rank, a->daily ? kMaxDailyRank : kMaxRank, "rank");
      p.hours = a->hours;
      p.daily = a->daily;
      p.of = p.years > 0 ? TableKind::years : TableKind::highest;
    }
    summary_ = std::move(p);
    section_ = Section::summary;
    summary_type_ = -1;
  }

  // A summary page: its unit line, then rows of each group
  // "STACK1   HIGH   1ST HIGH VALUE IS     566.83679  ON 96080420: AT (    -500.00,      866.03, ..." or
  // "STACK1    1ST HIGHEST VALUE IS      12.65911 AT (    -500.00,      866.03, ...".
  void summary_line(const std::string& l) {
    if (has(l, "** ") && has(l, " IN ") && has(l, " OF ")) {
      summary_.unit = unit(l);
      if (summary_type_ < 0) summary_type_ = first_type(l);
      return;
    }
    const auto is = l.find(" VALUE IS ");
    const auto at = l.find(" AT (", is == std::string::npos ? 0 : is);
    if (is == std::string::npos || at == std::string::npos) return;
    const auto head = words(std::string_view(l).substr(0, is));
    const auto w = cells(std::string_view(l).substr(is + 10, at - is - 10));
    auto place = std::string(l.substr(at + 5));
    std::replace_if(place.begin(), place.end(), [](char c) { return c == ',' || c == ')'; }, ' ');
    const auto xy = words(place);
    if (head.empty() || w.empty() || xy.size() < 2) return;
    std::size_t r = 0;
    while (r < head.size() && !rank_of(head[r])) ++r;
    if (r == head.size()) return;
    if (r > 0 && head[0] != "HIGH") summary_group(head[0]);
    if (summary_table_ == nullptr) return;
    PrintedValue v;
    const auto x = number(xy[0]), y = number(xy[1]);
    if (!value_of(w[0], v) || !x || !y) return;
    v.rank = checked(*rank_of(head[r]), kMaxRank, "rank");
    v.x_m = *x, v.y_m = *y;
    if (w.size() >= 3 && w[1] == "ON") {
      if (const auto d = date_of(w[2])) v.date = *d;
    }
    summary_table_->values.push_back(v);
  }

  // A group's rows begin; the first group seen again under the same title
  // begins the next output type's summaries.
  void summary_group(const std::string& g) {
    PrintedTable p = summary_;
    auto& seen = summary_seen_[p.name() + "|" + std::to_string(summary_type_)];
    if (seen.count(g) != 0 && summary_type_ >= 0 && static_cast<std::size_t>(summary_type_) + 1 < out_.types.size()) {
      ++summary_type_;
      summary_seen_[p.name() + "|" + std::to_string(summary_type_)].insert(g);
    } else {
      seen.insert(g);
    }
    p.group = g;
    p.type = summary_type_ >= 0 && static_cast<std::size_t>(summary_type_) < out_.types.size()
                 ? out_.types[static_cast<std::size_t>(summary_type_)]
                 : "CONC";
    summary_table_ = &find_or_add(std::move(p));
  }

  // The output type a summary's unit line begins with: CONC, or the first
  // deposition type of the run.
  int first_type(const std::string& l) {
    const bool conc = has(l, "** CONC ");
    for (std::size_t i = 0; i < out_.types.size(); ++i) {
      if ((out_.types[i] == "CONC") == conc) return static_cast<int>(i);
    }
    return 0;
  }

  // A rank, count or row past what is computed is refused with its line: no
  // run's listing holds one, and each rank costs every receptor memory.
  int checked(int n, int most, const char* what) const {
    if (n < 1 || n > most) {
      throw Failure("line " + std::to_string(line_) + ": the " + what + " " + std::to_string(n) + " is not 1 to " +
                    std::to_string(most));
    }
    return n;
  }

  void other(const std::string& what) {
    if (std::find(out_.other.begin(), out_.other.end(), what) == out_.other.end()) out_.other.push_back(what);
  }

  void network(const std::string& l) {
    const auto w = words(l);
    const auto id = std::find(w.begin(), w.end(), "ID:");
    network_ = id != w.end() && id + 1 != w.end() ? *(id + 1) : "";
    if (table_ != nullptr) section_ = has(l, "GRIDPOLR") ? Section::gridpolr : Section::gridcart;
  }

  void origin(const std::string& l) {
    auto w = words(l);
    // X-ORIG = 10.00 ; Y-ORIG = 10.00 (METERS)
    if (w.size() >= 7) {
      const auto x = number(w[2]), y = number(w[6]);
      if (x && y) origins_[network_] = {*x, *y};
    }
  }

  static std::string unit(const std::string& l) {
    const auto in = l.find(" IN ");
    const auto w = words(std::string_view(l).substr(in + 4));
    return w.empty() ? "" : w.front();
  }

  [[nodiscard]] bool dated() const {
    return table_->kind != TableKind::period && table_->kind != TableKind::annual && table_->kind != TableKind::years;
  }

  // A value (and its date where the table has them) from w[i]; the next
  // word's index, or 0 when w[i] is none.
  std::size_t cell(const std::vector<std::string>& w, std::size_t i, PrintedValue& p) const {
    if (i >= w.size() || !value_of(w[i], p)) return 0;
    if (!dated()) return i + 1;
    if (i + 1 >= w.size()) return 0;
    const auto d = date_of(w[i + 1]);
    if (!d) return 0;
    p.date = *d;
    return i + 2;
  }

  void columns(const std::string& l) {
    columns_.clear();
    for (const auto& w : words(std::string_view(l).substr(l.find('|') + 1))) {
      if (const auto v = number(w)) columns_.push_back(*v);
    }
  }

  void rows(const std::string& l) {
    switch (section_) {
      case Section::gridcart:
      case Section::gridpolr:
        return grid_row(l);
      case Section::discrete_cart:
        return discrete_cart(l);
      case Section::discrete_polar:
        return discrete_polar(l);
      case Section::max:
        return max_row(l);
      case Section::none:
      case Section::summary:
        return;
    }
  }

  void grid_row(const std::string& l) {
    const auto bar = l.find('|');
    if (bar == std::string::npos) return;
    const auto label = words(std::string_view(l).substr(0, bar));
    if (label.size() != 1) return;
    const auto row = number(label[0]);
    if (!row) return;
    const auto w = cells(std::string_view(l).substr(bar + 1));
    std::size_t column = 0;
    for (std::size_t i = 0; i < w.size() && column < columns_.size(); ++column) {
      PrintedValue p;
      i = cell(w, i, p);
      if (i == 0) return;
      if (section_ == Section::gridcart) {
        p.x_m = columns_[column], p.y_m = *row;
      } else {
        const auto o = origins_.find(network_);
        if (o == origins_.end()) return;  // a polar network's table before its origin: nothing to place it by
        p.polar = true;
        p.x_m = o->second.first, p.y_m = o->second.second;
        p.dist = columns_[column], p.dir = *row;
      }
      table_->values.push_back(p);
    }
  }

  void discrete_cart(const std::string& l) {
    const auto w = cells(l);
    for (std::size_t i = 0; i + 2 < w.size();) {
      PrintedValue p;
      const auto x = number(w[i]), y = number(w[i + 1]);
      const std::size_t next = cell(w, i + 2, p);
      if (!x || !y || next == 0) return;
      p.x_m = *x, p.y_m = *y;
      table_->values.push_back(p);
      i = next;
    }
  }

  void discrete_polar(const std::string& l) {
    const auto w = cells(l);
    for (std::size_t i = 0; i + 4 < w.size();) {
      PrintedValue p;
      const auto d = number(w[i + 2]), a = number(w[i + 3]);
      const std::size_t next = cell(w, i + 4, p);
      if (w[i + 1] != ":" || !d || !a || next == 0) return;
      p.polar = true;
      p.origin = w[i];
      p.dist = *d, p.dir = *a;
      table_->values.push_back(p);
      i = next;
    }
  }

  // "1.  753.65851 (88030111) AT (  303.11,  -175.00)  DC", twice a line; a
  // table short of values ends in rows "0.00000 (00000000) AT (0.00, 0.00)"
  // without a receptor type.
  void max_row(std::string l) {
    std::replace_if(l.begin(), l.end(), [](char c) { return c == '(' || c == ')' || c == ','; }, ' ');
    const auto w = words(l);
    for (std::size_t i = 0; i + 5 < w.size();) {
      PrintedValue p;
      if (w[i].empty() || w[i].back() != '.' || w[i + 3] != "AT") return;
      const auto r = integer(std::string_view(w[i]).substr(0, w[i].size() - 1));
      const auto x = number(w[i + 4]), y = number(w[i + 5]);
      const auto d = date_of(w[i + 2]);
      if (!r || !x || !y || !d || !value_of(w[i + 1], p)) return;
      p.date = *d;
      p.rank = checked(*r, table_->rank, "row");
      p.x_m = *x, p.y_m = *y;
      p.placeholder = p.date == 0 && p.value == 0;
      table_->values.push_back(p);
      i += 6;
      // The receptor type (GC, GP, DC, DP, ...) where there is a receptor.
      if (i < w.size() && w[i].back() != '.') ++i;
    }
  }

  Listing out_;
  // A deque: the table being read stays where it is while others are added.
  std::deque<PrintedTable> tables_;
  std::uint64_t line_ = 0;
  PrintedTable* table_ = nullptr;
  PrintedTable summary_;
  PrintedTable* summary_table_ = nullptr;
  int summary_type_ = -1;
  std::map<std::string, std::set<std::string>> summary_seen_;
  Section section_ = Section::none;
  std::string network_;
  std::vector<double> columns_;
  std::map<std::string, std::pair<double, double>> origins_;
  std::map<std::tuple<int, int, int, int, bool, int, std::string, std::string>, std::size_t> index_;
};

}  // namespace

Listing read_listing(const std::string& file) {
  io::LineReader lines(io::open_for_reading(file, "'" + file + "'"), file);
  Parser parser;
  for (std::string l; lines.next(l);) parser.line(l);
  return std::move(parser).done();
}

Listing parse_listing(std::string_view text) {
  Parser parser;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view l = text.substr(0, end);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    parser.line(std::string(l));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return std::move(parser).done();
}

}  // namespace kestrel::analysis
