// The names of AERMOD's tables as its titles print them.
#include <string>

#include "analysis/aermod_listing.hpp"
#include "analysis/listing_words.hpp"

namespace kestrel::analysis {

using listing::has;

std::string ordinal_upper(int n) {
  const int tens = n % 100, ones = n % 10;
  const char* suffix = (tens >= 11 && tens <= 13) ? "TH" : ones == 1 ? "ST" : ones == 2 ? "ND" : ones == 3 ? "RD" : "TH";
  return std::to_string(n) + suffix;
}

std::string PrintedTable::name() const {
  const std::string h = hours == kMonth ? "MONTH" : std::to_string(hours) + "-HR";
  const std::string over = years > 0 ? " OVER " + std::to_string(years) + (years == 1 ? " YEAR" : " YEARS") : "";
  const std::string avg = (daily ? "MAX DAILY " : "") + h;
  switch (kind) {
    case TableKind::maximum:
      return "MAXIMUM " + std::to_string(rank) + " " + avg;
    case TableKind::period:
      return "PERIOD";
    case TableKind::annual:
      return "ANNUAL" + over;
    case TableKind::years:
      return ordinal_upper(rank) + "-HIGHEST " + avg + over;
    case TableKind::summary:
      if (of == TableKind::period) return "SUMMARY OF PERIOD";
      if (of == TableKind::annual) return "SUMMARY OF ANNUAL" + over;
      if (of == TableKind::years) return "SUMMARY OF " + ordinal_upper(rank) + "-HIGHEST " + avg + over;
      return "SUMMARY OF HIGHEST " + avg;
    case TableKind::highest:
      break;
  }
  return ordinal_upper(rank) + " HIGHEST " + avg;
}

std::string type_of_title(const std::string& what) {
  if (has(what, "CONC")) return "CONC";
  if (has(what, "DRY")) return "DDEP";
  if (has(what, "WET")) return "WDEP";
  return "DEPOS";
}

}  // namespace kestrel::analysis
