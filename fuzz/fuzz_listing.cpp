// A fuzzed AERMOD listing through the reader of its tables and on into what
// --check computes for them: no rank in a title or row may make it allocate
// past the ranks it computes, or read outside what it keeps.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/aermod_listing.hpp"
#include "analysis/failure.hpp"
#include "analysis/hours.hpp"
#include "inspect/check/computed.hpp"

namespace {

using kestrel::analysis::PrintedTable;

// A few days of hours at 3 receptors, some calm and some missing.
void feed(kestrel::inspect::Computed& c) {
  for (std::int64_t h = 0; h < 24 * 5; ++h) {
    const auto end = kestrel::analysis::time_of(kestrel::analysis::hour_number({1988, 1, 1}) + h);
    const double v[3] = {static_cast<double>(h % 7), static_cast<double>(h % 11) / 3.0, 0.0};
    const auto mark = h % 13 == 0 ? kestrel::analysis::HourMark::calm
                      : h % 17 == 0 ? kestrel::analysis::HourMark::missing
                                    : kestrel::analysis::HourMark::valid;
    c.add(end, mark, v);
  }
  c.finish();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  kestrel::analysis::Listing listing;
  try {
    listing = kestrel::analysis::parse_listing(text);
  } catch (const kestrel::analysis::Failure&) {
    return 0;
  }
  std::map<std::pair<std::string, std::string>, std::vector<const PrintedTable*>> groups;
  for (const PrintedTable& t : listing.tables) {
    if (t.rank < 0 || t.rank > kestrel::analysis::kMaxRank) std::abort();
    for (const auto& v : t.values) {
      if (v.rank < 0 || v.rank > kestrel::analysis::kMaxRank) std::abort();
    }
    if (kestrel::inspect::not_comparable(t, true, kestrel::analysis::Quantity::concentration).empty()) {
      groups[{t.group, t.type}].push_back(&t);
    }
  }
  for (const auto& [key, tables] : groups) {
    kestrel::inspect::Computed c(tables, 3, kestrel::analysis::Quantity::concentration);
    feed(c);
    for (const PrintedTable* t : tables) {
      if (const auto s = c.stat(kestrel::inspect::stat_of(*t, t->rank))) {
        for (std::size_t k = 0; k < 3; ++k) (void)s->at(k);
      }
    }
  }
  return 0;
}
