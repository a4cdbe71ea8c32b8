// The words of AERMOD's listing: numbers, dates, values with their flags,
// ranks and averaging times as its table titles and rows print them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/aermod_listing.hpp"

namespace kestrel::analysis::listing {

bool has(std::string_view line, std::string_view what);
std::vector<std::string> words(std::string_view line);
std::optional<double> number(std::string_view s);
std::optional<int> integer(std::string_view s);

// "(88030111)", "88030111" or "88030111:" as a date.
std::optional<std::int32_t> date_of(std::string_view s);

// A value as printed, with the flag AERMOD puts right after it: "19.93847c".
bool value_of(std::string_view w, PrintedValue& out);

// A line's words, a date glued to its value ("0.18878m(88010418)") split off.
std::vector<std::string> cells(std::string_view line);

// The ordinal of "1ST", "2ND-HIGHEST" and the like.
std::optional<int> rank_of(std::string_view w);

std::string join(const std::vector<std::string>& w);

// The averaging words of a title, after its rank: "24-HR", "MAX DAILY 1-HR",
// "MONTH"; the word index after them.
struct Averaging {
  int hours = 1;
  bool daily = false;
  std::size_t next = 0;
};
std::optional<Averaging> averaging_of(const std::vector<std::string>& h, std::size_t at);

// "AVERAGED OVER   2 YEARS" in a title's words: 2; 0 without.
int years_in(const std::vector<std::string>& h);

}  // namespace kestrel::analysis::listing
