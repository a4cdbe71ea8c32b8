// The output types an AERMOD run can write to a POSTFILE and the dataset
// each one becomes: concentrations as "CONC.DAT", depositions as fluxes
// in the flux datasets the common readers take.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kestrel::dataset {

// In AERMOD's order: the order of their values in each POSTFILE record.
enum class OutputType : std::uint8_t { conc, depos, ddep, wdep };

inline constexpr std::array<OutputType, 4> kOutputTypes = {OutputType::conc, OutputType::depos, OutputType::ddep,
                                                           OutputType::wdep};

struct TypeTraits {
  std::string_view keyword;  // on CO MODELOPT
  std::string_view kind;     // the dataset name in the first header record
  std::string_view level;    // follows the 12-character species
  std::string_view suffix;   // appended to the POSTFILE's name
  std::string_view title;    // the third title line, before the factor
  std::string_view unit;     // of the dataset's values
  std::string_view what;     // for people
};

// Readers accept no other dataset names than these three: the level label
// tells total deposition (dry + wet, as AERMOD sums it) from dry.
inline constexpr std::array<TypeTraits, 4> kTypeTraits = {{
    {"CONC", "CONC.DAT", "  1", ".gdx", "Conversion Factor to g/m3:", "g/m3", "concentration"},
    {"DEPOS", "DFLX.DAT", " TF", ".tflx.gdx", "Conversion Factor to g/m2/s:", "g/m2/s", "total deposition flux"},
    {"DDEP", "DFLX.DAT", " DF", ".dflx.gdx", "Conversion Factor to g/m2/s:", "g/m2/s", "dry deposition flux"},
    {"WDEP", "WFLX.DAT", " WF", ".wflx.gdx", "Conversion Factor to g/m2/s:", "g/m2/s", "wet deposition flux"},
}};

[[nodiscard]] constexpr const TypeTraits& traits(OutputType t) noexcept {
  return kTypeTraits[static_cast<std::size_t>(t)];
}

}  // namespace kestrel::dataset
