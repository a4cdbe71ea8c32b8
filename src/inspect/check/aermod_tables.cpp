#include "inspect/check/aermod_tables.hpp"

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <sstream>
#include <tuple>

#include "inspect/failure.hpp"
#include "io/line_reader.hpp"

namespace kestrel::inspect {

namespace {

bool has(std::string_view line, std::string_view what) { return line.find(what) != std::string_view::npos; }

std::vector<std::string> words(std::string_view line) {
  std::vector<std::string> w;
  std::istringstream in{std::string(line)};
  for (std::string s; in >> s;) w.push_back(s);
  return w;
}

std::optional<double> number(std::string_view s) {
  double v = 0;
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc{} || ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

int decimals_of(std::string_view s) {
  const auto dot = s.find('.');
  return dot == std::string_view::npos ? 0 : static_cast<int>(s.size() - dot - 1);
}

// "(88030111)" or "88030111" as a date.
std::optional<std::int32_t> date_of(std::string_view s) {
  if (s.size() >= 2 && s.front() == '(' && s.back() == ')') s = s.substr(1, s.size() - 2);
  std::int32_t d = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
  if (ec != std::errc{} || ptr != s.data() + s.size() || s.size() != 8) return std::nullopt;
  return d;
}

// A value and its date from two words; false when they are not.
bool value_date(const std::string& v, const std::string& d, PrintedValue& out) {
  const auto x = number(v);
  const auto t = date_of(d);
  if (!x || !t) return false;
  out.value = *x;
  out.decimals = decimals_of(v);
  out.date = *t;
  return true;
}

// The words between "THE" and "VALUES FOR SOURCE GROUP:" and the group.
struct Title {
  std::vector<std::string> head;
  std::string group;
};

std::optional<Title> title_of(std::string_view line) {
  const auto the = line.find("*** THE ");
  const auto values = line.find("VALUES FOR SOURCE GROUP:");
  if (the == std::string_view::npos || values == std::string_view::npos || values < the) return std::nullopt;
  Title t;
  t.head = words(line.substr(the + 8, values - the - 8));
  const auto g = words(line.substr(values + 24));
  if (g.empty()) return std::nullopt;
  t.group = g.front();
  return t;
}

// "1-HR" -> 1
std::optional<int> hours_of(const std::string& w) {
  if (w.size() < 4 || w.substr(w.size() - 3) != "-HR") return std::nullopt;
  int h = 0;
  const auto [ptr, ec] = std::from_chars(w.data(), w.data() + w.size() - 3, h);
  if (ec != std::errc{} || ptr != w.data() + w.size() - 3) return std::nullopt;
  return h;
}

int rank_of(const std::string& w) {
  int r = 0;
  std::from_chars(w.data(), w.data() + w.size(), r);
  return r;
}

std::string join(const std::vector<std::string>& w, std::size_t from) {
  std::string o;
  for (std::size_t i = from; i < w.size(); ++i) o += (o.empty() ? "" : " ") + w[i];
  return o;
}

enum class Section { none, gridcart, gridpolr, discrete_cart, discrete_polar, max };

class Parser {
 public:
  void line(const std::string& l) {
    if (has(l, "*** AERMOD - VERSION")) {
      table_ = nullptr;
      section_ = Section::none;
      return;
    }
    if (auto t = title_of(l)) return title(*t);
    if (has(l, "*** CONCURRENT")) return other("CONCURRENT (DAYTABLE)");
    if (has(l, "NETWORK ID:")) return network(l);
    if (has(l, "X-ORIG =")) return origin(l);
    if (table_ == nullptr) return;
    if (has(l, "DISCRETE CARTESIAN RECEPTOR POINTS")) section_ = Section::discrete_cart;
    else if (has(l, "DISCRETE POLAR RECEPTOR POINTS")) section_ = Section::discrete_polar;
    else if (has(l, "** ") && has(l, " IN ") && table_->unit.empty()) unit(l);
    else if (has(l, "(METERS) |") || has(l, "(DEGREES) |")) columns(l);
    else rows(l);
  }

  AermodTables done() && { return std::move(out_); }

 private:
  void title(const Title& t) {
    table_ = nullptr;
    section_ = Section::none;
    const auto& h = t.head;
    PrintedTable p;
    p.group = t.group;
    std::size_t at = 0;
    if (h.size() >= 3 && h[0] == "MAXIMUM") {
      p.max_table = true;
      p.rank = rank_of(h[1]);
      at = 2;
      section_ = Section::max;
    } else if (h.size() >= 3 && h[1] == "HIGHEST") {
      p.rank = rank_of(h[0]);
      at = 2;
    } else {
      return other(join(h, 0) + " (group " + t.group + ")");
    }
    const auto hours = hours_of(h[at]);
    if (!hours) return other(join(h, 0) + " (group " + t.group + ")");
    p.hours = *hours;
    p.type = type_of_title(join(h, at + 1));
    if (p.hours != 1) return other(join(h, 0) + " (group " + t.group + ")");
    const auto key = std::make_tuple(p.max_table, p.rank, p.type, p.group);
    auto found = index_.find(key);
    if (found == index_.end()) {
      found = index_.emplace(key, out_.tables.size()).first;
      out_.tables.push_back(std::move(p));
    }
    table_ = &out_.tables[found->second];
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

  void unit(const std::string& l) {
    const auto in = l.find(" IN ");
    const auto w = words(std::string_view(l).substr(in + 4));
    if (!w.empty()) table_->unit = w.front();
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
    const auto w = words(std::string_view(l).substr(bar + 1));
    for (std::size_t i = 0; i + 1 < w.size() && i / 2 < columns_.size(); i += 2) {
      PrintedValue p;
      if (!value_date(w[i], w[i + 1], p)) return;
      const double column = columns_[i / 2];
      if (section_ == Section::gridcart) {
        p.x_m = column, p.y_m = *row;
      } else {
        const auto o = origins_.find(network_);
        if (o == origins_.end()) throw Failure("a polar network's table before its origin: " + network_);
        p.polar = true;
        p.x_m = o->second.first, p.y_m = o->second.second;
        p.dist = column, p.dir = *row;
      }
      table_->values.push_back(p);
    }
  }

  void discrete_cart(const std::string& l) {
    const auto w = words(l);
    for (std::size_t i = 0; i + 3 < w.size(); i += 4) {
      PrintedValue p;
      const auto x = number(w[i]), y = number(w[i + 1]);
      if (!x || !y || !value_date(w[i + 2], w[i + 3], p)) return;
      p.x_m = *x, p.y_m = *y;
      table_->values.push_back(p);
    }
  }

  void discrete_polar(const std::string& l) {
    const auto w = words(l);
    for (std::size_t i = 0; i + 5 < w.size(); i += 6) {
      PrintedValue p;
      const auto d = number(w[i + 2]), a = number(w[i + 3]);
      if (w[i + 1] != ":" || !d || !a || !value_date(w[i + 4], w[i + 5], p)) return;
      p.polar = true;
      p.origin = w[i];
      p.dist = *d, p.dir = *a;
      table_->values.push_back(p);
    }
  }

  // "1.  753.65851 (88030111) AT (  303.11,  -175.00)  DC", twice a line.
  void max_row(std::string l) {
    std::replace_if(l.begin(), l.end(), [](char c) { return c == '(' || c == ')' || c == ','; }, ' ');
    const auto w = words(l);
    for (std::size_t i = 0; i + 6 < w.size(); i += 7) {
      PrintedValue p;
      if (w[i].empty() || w[i].back() != '.' || w[i + 3] != "AT") return;
      const auto x = number(w[i + 4]), y = number(w[i + 5]);
      if (!x || !y || !value_date(w[i + 1], w[i + 2], p)) return;
      p.rank = rank_of(w[i]);
      p.x_m = *x, p.y_m = *y;
      table_->values.push_back(p);
    }
  }

  AermodTables out_;
  PrintedTable* table_ = nullptr;
  Section section_ = Section::none;
  std::string network_;
  std::vector<double> columns_;
  std::map<std::string, std::pair<double, double>> origins_;
  std::map<std::tuple<bool, int, std::string, std::string>, std::size_t> index_;
};

}  // namespace

std::string PrintedTable::name() const {
  const std::string h = std::to_string(hours) + "-HR";
  if (max_table) return "MAXIMUM " + std::to_string(rank) + " " + h;
  const int tens = rank % 100, ones = rank % 10;
  const char* suffix = (tens >= 11 && tens <= 13) ? "TH" : ones == 1 ? "ST" : ones == 2 ? "ND" : ones == 3 ? "RD" : "TH";
  return std::to_string(rank) + suffix + " HIGHEST " + h;
}

std::string type_of_title(const std::string& what) {
  if (has(what, "CONC")) return "CONC";
  if (has(what, "DRY")) return "DDEP";
  if (has(what, "WET")) return "WDEP";
  return "DEPOS";
}

AermodTables read_aermod_tables(const std::string& file) {
  io::LineReader lines(io::open_for_reading(file, "'" + file + "'"), file);
  Parser parser;
  for (std::string l; lines.next(l);) parser.line(l);
  AermodTables t = std::move(parser).done();
  if (t.tables.empty() && t.other.empty()) throw Failure("holds no table of highest values (RECTABLE, MAXTABLE)");
  return t;
}

}  // namespace kestrel::inspect
