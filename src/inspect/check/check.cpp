#include "inspect/check/check.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <optional>

#include "inspect/check/aermod_tables.hpp"
#include "inspect/check/compare.hpp"
#include "inspect/failure.hpp"
#include "inspect/format.hpp"
#include "inspect/origin.hpp"
#include "inspect/reading/readers.hpp"

namespace kestrel::inspect {

namespace {

namespace fs = std::filesystem;

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

struct Totals {
  std::int64_t compared = 0, disagree = 0;
};

// Compares the tables of one group and type with a file's tally.
void compare_group(const std::vector<const PrintedTable*>& tables, const Tally& tally, const Places& places,
                   const Rounding& r, const std::string& label, std::ostream& out, Totals& totals) {
  for (const PrintedTable* t : tables) {
    const TableResult res = compare_table(*t, tally, places, r, label);
    totals.compared += res.compared;
    totals.disagree += static_cast<std::int64_t>(res.disagreements.size());
    out << "  " << t->name() << ": " << count_of(res.compared, "value") << " compared, ";
    if (res.disagreements.empty()) {
      out << (res.compared == 1 ? "it agrees" : "all agree") << "\n";
      continue;
    }
    out << res.disagreements.size() << (res.disagreements.size() == 1 ? " disagrees" : " disagree") << "\n";
    for (std::size_t i = 0; i < res.disagreements.size() && i < kListed; ++i) {
      out << "    " << res.disagreements[i].text << "\n";
    }
    if (res.disagreements.size() > kListed) out << "    ... and " << res.disagreements.size() - kListed << " more\n";
  }
}

std::vector<const PrintedTable*> tables_of(const AermodTables& all, const std::string& group, const std::string& type) {
  std::vector<const PrintedTable*> t;
  for (const auto& table : all.tables) {
    if (table.group == group && table.type == type) t.push_back(&table);
  }
  return t;
}

// One type of one file: every group it holds against AERMOD's tables of it.
void check_type(const std::string& file, const Origin& origin, const AermodTables& all, const TypeChoice& type,
                std::ostream& out, Totals& totals) {
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
    ++totals.disagree;
    return;
  }
  std::vector<const PrintedTable*> every;
  for (const auto& table : all.tables) {
    if (table.type == t) every.push_back(&table);
  }
  const int depth = deepest_rank(every) + 4;
  const std::size_t most = longest_max(every) + 8;
  std::map<std::string, Tally> tallies;
  std::vector<double> values(nrec);
  scan(s, [&](const Period& p) {
    const std::string group = dataset ? origin.group : shown(p.group);
    auto it = tallies.find(group);
    if (it == tallies.end()) it = tallies.emplace(group, Tally(nrec, depth, most)).first;
    for (std::size_t k = 0; k < nrec; ++k) values[k] = p.value(k) / factor;
    it->second.add(p.end, values);
  });
  if (tallies.empty() && dataset) tallies.emplace(origin.group, Tally(nrec, depth, most));
  const Places places{origin.control.x_m, origin.control.y_m, origin.control.sources};
  for (const auto& [group, tally] : tallies) {
    const auto tables = tables_of(all, group, t);
    out << file << ": group " << group << ", " << type_word(t) << " in " << (tables.empty() ? "?" : tables.front()->unit);
    if (dataset) out << " (the dataset's values divided by " << general(factor, 7) << ")";
    out << "\n";
    if (tables.empty()) {
      out << "  no 1-hour table of group " << group << " (" << type_word(t) << ") in the AERMOD output\n";
      ++totals.disagree;
      continue;
    }
    compare_group(tables, tally, places, r, label, out, totals);
  }
}

}  // namespace

int run_check(const std::string& aermod_out, const std::string& control, std::span<const std::string> files,
              std::ostream& out, std::string& current) {
  current = aermod_out;
  const AermodTables all = read_aermod_tables(aermod_out);
  Totals totals;
  for (const std::string& file : files) {
    current = file;
    const Origin origin = origin_of(file, control);
    if (!origin.type.empty()) {
      check_type(file, origin, all, TypeChoice{}, out, totals);
      continue;
    }
    // A POSTFILE holds a set of values per output type of the run.
    const auto& types = origin.control.types;
    for (std::size_t i = 0; i < types.size(); ++i) {
      TypeChoice t;
      t.type = types[i];
      t.slice = i;
      t.sets = types.size();
      check_type(file, origin, all, t, out, totals);
    }
  }
  for (const std::string& o : all.other) out << "not compared: " << o << "\n";
  out << "kestrel-inspect: " << count_of(totals.compared, "value") << " compared, ";
  if (totals.disagree == 0) {
    out << "all agree\n";
    return 0;
  }
  out << totals.disagree << (totals.disagree == 1 ? " disagreement" : " disagreements") << "\n";
  return 1;
}

}  // namespace kestrel::inspect
