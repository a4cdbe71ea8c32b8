#include "inspect/check/check.hpp"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "analysis/aermod_listing.hpp"
#include "analysis/met.hpp"
#include "inspect/check/compare.hpp"
#include "inspect/check/computed.hpp"
#include "inspect/failure.hpp"
#include "inspect/format.hpp"
#include "inspect/origin.hpp"
#include "inspect/reading/readers.hpp"

namespace kestrel::inspect {

namespace {

namespace fs = std::filesystem;
using analysis::PrintedTable;

// At most this many disagreements are listed per table.
constexpr std::size_t kListed = 20;

Origin origin_of(const std::string& file, const std::string& control) {
  if (!control.empty()) {
    if (auto o = origin_in(control, file)) return *o;
    throw Failure("no POSTFILE line of " + control + " names it");
  }
  if (auto o = origin_beside(file)) return *o;
  throw Failure("no control file beside it names it in a POSTFILE line (give it with --control)");
}

std::string type_word(const std::string& type) {
  if (type == "CONC") return "concentration";
  if (type == "DEPOS") return "total deposition";
  if (type == "DDEP") return "dry deposition";
  return "wet deposition";
}

analysis::Quantity quantity_of(const std::string& type) {
  return type == "CONC" ? analysis::Quantity::concentration : analysis::Quantity::deposition;
}

struct Totals {
  std::int64_t compared = 0, disagree = 0, not_compared = 0;
};

// The run's surface files, each read once.
class Surfaces {
 public:
  // The marks of the hours of the run `control` describes; unknown (every
  // hour valid) when it names no surface file that exists.
  const analysis::SurfaceHours* of(const std::string& control) {
    auto [it, fresh] = read_.try_emplace(control);
    if (fresh) {
      const auto path = analysis::surface_file_of(control);
      if (path && fs::exists(*path)) it->second = std::make_unique<analysis::SurfaceHours>(analysis::SurfaceHours::read(*path));
    }
    return it->second.get();
  }

 private:
  std::map<std::string, std::unique_ptr<analysis::SurfaceHours>> read_;
};

// One group and type of a file: the listing's tables of it and what is computed for them.
struct GroupCheck {
  std::vector<const PrintedTable*> tables;  // compared
  std::vector<std::pair<const PrintedTable*, std::string>> skipped;  // not compared, and why
  std::optional<Computed> computed;
};

GroupCheck group_check(const analysis::Listing& listing, const std::string& group, const std::string& type,
                       std::size_t receptors, bool marks_known) {
  GroupCheck g;
  const auto q = quantity_of(type);
  for (const auto& t : listing.tables) {
    if (t.group != group || t.type != type) continue;
    const std::string why = listing.scim ? "a SCIM run: AERMOD's values are of its sampled hours only"
                                         : not_comparable(t, marks_known, q);
    if (why.empty()) g.tables.push_back(&t);
    else g.skipped.emplace_back(&t, why);
  }
  g.computed.emplace(g.tables, receptors, q);
  return g;
}

void report_group(const GroupCheck& g, const Places& places, const Rounding& r, const std::string& label,
                  std::ostream& out, Totals& totals) {
  if (g.computed->years()) {
    const std::string w = g.computed->years()->warning("the values over years");
    if (!w.empty()) out << "  warning: " << w << "\n";
  }
  for (const PrintedTable* t : g.tables) {
    const TableResult res = compare_table(*t, *g.computed, places, r, label);
    totals.compared += res.compared;
    totals.disagree += static_cast<std::int64_t>(res.disagreements.size());
    out << "  " << t->name() << ": " << count_of(res.compared, "value") << " compared, ";
    if (res.disagreements.empty()) {
      out << (res.compared == 1 ? "it agrees" : "all agree") << "\n";
      continue;
    }
    out << res.disagreements.size() << (res.disagreements.size() == 1 ? " disagrees" : " disagree") << "\n";
    for (std::size_t i = 0; i < res.disagreements.size() && i < kListed; ++i) out << "    " << res.disagreements[i] << "\n";
    if (res.disagreements.size() > kListed) out << "    ... and " << res.disagreements.size() - kListed << " more\n";
  }
  for (const auto& [t, why] : g.skipped) {
    ++totals.not_compared;
    out << "  " << t->name() << ": not compared: " << why << "\n";
  }
}

class Checker {
 public:
  explicit Checker(const analysis::Listing& listing) : listing_(listing) {}

  // One type of one file: every group it holds against AERMOD's tables of it.
  void check_type(const std::string& file, const Origin& origin, const TypeChoice& type, std::ostream& out) {
    const Receptors control = receptors_of(origin.control);
    Summary s = open_file(file, 0, 0, control, type);
    const bool dataset = s.layout.dataset;
    const std::string t = dataset ? origin.type : (type.type.empty() ? "CONC" : type.type);
    const auto nrec = static_cast<std::size_t>(s.layout.nrec);
    // AERMOD's unit from the dataset's: the factor the conversion multiplied by.
    const double factor = !dataset ? 1.0 : t == "CONC" ? origin.control.conc_factor : origin.control.flux_factor_f;
    Rounding r;
    // A dataset's values went through single precision twice: AERMOD's value
    // rounded to a float, then its product with the factor.
    r.relative = dataset ? 2.0 * 0x1p-24 : s.layout.plot ? 0x1p-24 : 0.0;
    r.plot = s.layout.plot || (dataset && origin.plot);
    const std::string label = dataset ? "dataset" : "POSTFILE";
    if (nrec != control.x_m.size()) {
      out << file << ": " << nrec << " receptors, the control file " << control.x_m.size() << "\n";
      ++totals_.disagree;
      return;
    }
    const analysis::SurfaceHours* surface = surfaces_.of(origin.control_name);
    const analysis::HourMarks marks(surface);
    std::map<std::string, GroupCheck> groups;
    std::vector<double> values(nrec);
    scan(s, [&](const Period& p) {
      const std::string group = dataset ? origin.group : shown(p.group);
      auto it = groups.find(group);
      if (it == groups.end()) it = groups.emplace(group, group_check(listing_, group, t, nrec, marks.known())).first;
      for (std::size_t k = 0; k < nrec; ++k) values[k] = p.value(k) / factor;
      it->second.computed->add(p.end, marks.at(p.end), values);
    });
    if (groups.empty() && dataset) groups.emplace(origin.group, group_check(listing_, origin.group, t, nrec, marks.known()));
    const Places places{origin.control.x_m, origin.control.y_m, origin.control.sources};
    for (auto& [group, g] : groups) {
      g.computed->finish();
      seen_.insert({group, t});
      const bool none = g.tables.empty() && g.skipped.empty();
      out << file << ": group " << group << ", " << type_word(t);
      if (!none) out << " in " << (g.tables.empty() ? g.skipped.front().first : g.tables.front())->unit;
      if (dataset) out << " (the dataset's values divided by " << general(factor, 7) << ")";
      out << "\n";
      if (none) {
        out << "  no table of group " << group << " (" << type_word(t) << ") in the AERMOD output\n";
        continue;
      }
      report_group(g, places, r, label, out, totals_);
    }
  }

  // Tables of groups and types that no file held.
  void unmatched(std::ostream& out) {
    std::map<std::pair<std::string, std::string>, int> left;
    for (const auto& t : listing_.tables) {
      if (seen_.count({t.group, t.type}) == 0) ++left[{t.group, t.type}];
    }
    for (const auto& [gt, n] : left) {
      totals_.not_compared += n;
      out << "not compared: " << count_of(n, "table") << " of group " << gt.first << " (" << type_word(gt.second)
          << "): no file of it given\n";
    }
    for (const std::string& o : listing_.other) out << "not compared: " << o << "\n";
  }

  [[nodiscard]] const Totals& totals() const { return totals_; }

 private:
  const analysis::Listing& listing_;
  Surfaces surfaces_;
  Totals totals_;
  std::set<std::pair<std::string, std::string>> seen_;
};

}  // namespace

int run_check(const std::string& aermod_out, const std::string& control, std::span<const std::string> files,
              std::ostream& out, std::string& current) {
  current = aermod_out;
  const analysis::Listing listing = analysis::read_listing(aermod_out);
  if (listing.tables.empty() && listing.other.empty()) {
    throw Failure("holds no table of AERMOD's results (RECTABLE, MAXTABLE, PERIOD, ANNUAL)");
  }
  if (listing.scim) out << aermod_out << ": a SCIM run: AERMOD's tables are of its sampled hours only, so none is compared\n";
  Checker checker(listing);
  for (const std::string& file : files) {
    current = file;
    const Origin origin = origin_of(file, control);
    if (!origin.type.empty()) {
      checker.check_type(file, origin, TypeChoice{}, out);
      continue;
    }
    // A POSTFILE holds a set of values per output type of the run.
    const auto& types = origin.control.types;
    for (std::size_t i = 0; i < types.size(); ++i) {
      TypeChoice t;
      t.type = types[i];
      t.slice = i;
      t.sets = types.size();
      checker.check_type(file, origin, t, out);
    }
  }
  checker.unmatched(out);
  const Totals& totals = checker.totals();
  out << "kestrel-inspect: " << count_of(totals.compared, "value") << " compared, ";
  if (totals.disagree == 0) {
    out << (listing.complete ? "all agree" : "none disagrees");
  } else {
    out << totals.disagree << (totals.disagree == 1 ? " disagreement" : " disagreements");
  }
  if (totals.not_compared > 0) out << "; " << count_of(totals.not_compared, "table") << " not compared";
  if (!listing.complete) out << "; AERMOD's output is cut short";
  out << "\n";
  if (!listing.complete) {
    // Tables after the cut were never read: no agreement can be claimed of them.
    current = aermod_out;
    out.flush();
    throw Failure("cut short: it ends at line " + std::to_string(listing.lines) + " without AERMOD's message summary" +
                  (listing.cut_in.empty() ? std::string() : ", in or after the table " + listing.cut_in) +
                  "; the tables after it were not compared");
  }
  return totals.disagree == 0 ? 0 : 1;
}


}  // namespace kestrel::inspect
