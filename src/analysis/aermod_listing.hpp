// The tables that AERMOD prints in its main output file (its listing):
// RECTABLE's "THE nTH HIGHEST n-HR ..." per receptor, the PERIOD and ANNUAL
// averages per receptor, MAXTABLE's "THE MAXIMUM n n-HR ..." over all
// receptors and blocks, the design values "AVERAGED OVER n YEARS", and the
// "SUMMARY OF ..." pages of each, for every output type and source group.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::analysis {

// A printed value and where it stands: at x, y, or (a polar receptor) at a
// distance and direction from a source or a network's origin.
struct PrintedValue {
  double x_m = 0, y_m = 0;
  std::string origin;          // a discrete polar receptor's source id; empty: x_m, y_m hold the place
  double dist = 0, dir = 0;    // from x_m, y_m (a polar network's origin) or from `origin`
  bool polar = false;
  double value = 0;
  int decimals = 5;            // printed after the point
  std::int32_t date = 0;       // YYMMDDHH of the block's last hour; 0 where AERMOD set none
  char flag = ' ';             // the block held calm (c), missing (m) or both (b) hours
  int rank = 0;                // MAXTABLE's and a summary's row
  bool placeholder = false;    // MAXTABLE's "0.00000 (00000000) AT (0.00, 0.00)" of a table short of values
};

enum class TableKind {
  highest,  // RECTABLE: each receptor's Nth highest block
  maximum,  // MAXTABLE: the highest blocks of all receptors
  period,   // PERIOD: each receptor's average over the run
  annual,   // ANNUAL: each receptor's period averages, averaged over the years
  years,    // each receptor's Nth highest (daily maximum) values, averaged over the years
  summary,  // a summary page: the highest of one of the above over the receptors
};

// Averaging times as AERMOD names them: 1 to 24 hours, or a calendar month.
constexpr int kMonth = 0;

struct PrintedTable {
  TableKind kind = TableKind::highest;
  TableKind of = TableKind::highest;  // a summary's table: highest, period, annual or years
  int rank = 0;                       // highest's and years' rank, maximum's count
  int hours = 1;                      // the averaging time (kMonth); period's hours in the run
  bool daily = false;                 // "MAX DAILY 1-HR": years of daily maxima
  int years = 0;                      // "AVERAGED OVER n YEARS"
  std::string type;                   // CONC, DEPOS, DDEP or WDEP
  std::string group;
  std::string unit;                   // as printed: MICROGRAMS/M**3
  std::vector<PrintedValue> values;
  // "1ST HIGHEST 24-HR", "MAXIMUM 50 1-HR", "PERIOD", "4TH-HIGHEST MAX DAILY
  // 1-HR OVER 2 YEARS", "SUMMARY OF HIGHEST 24-HR", ...
  [[nodiscard]] std::string name() const;
};

struct Listing {
  std::vector<PrintedTable> tables;
  std::vector<std::string> other;  // tables not read, one line each: "CONCURRENT (DAYTABLE)"
  std::vector<std::string> types;  // the run's output types, in AERMOD's order
  bool scim = false;               // sampled hours (SCIM): no table covers every hour
  bool complete = false;           // its message summary, which follows the tables, was read
  std::uint64_t lines = 0;
  std::string cut_in;              // the table the file ends in, where it is cut short there
};

// Reads AERMOD's listing; throws IoError when it cannot be read, Failure
// naming the line at a rank past kMaxRank (kMaxDailyRank). A file that is no
// listing gives no tables.
Listing read_listing(const std::string& file);
// The same from the listing's text.
Listing parse_listing(std::string_view text);

// A table title's output type: CONC, DEPOS, DDEP or WDEP.
std::string type_of_title(const std::string& what);

// "1ST", "2ND", "3RD", "11TH", ...
std::string ordinal_upper(int n);

}  // namespace kestrel::analysis
