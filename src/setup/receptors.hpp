// Discrete receptors (DISCCART, DISCPOLR, EVALCART) as they are read, in
// AERMOD's order. An entry that is not numbers keeps its place and is
// reported once the whole control file is read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.hpp"
#include "setup/ctrl.hpp"

namespace kestrel {

// The unit factor from metres to kilometres, applied as one rounding of the
// exact product of the two single-precision values.
[[nodiscard]] inline float metres_to_km(float metres) {
  constexpr float kFactor = 0.001F;
  return static_cast<float>(static_cast<double>(metres) * static_cast<double>(kFactor));
}

class ReceptorList {
 public:
  // How the receptors of a discrete entry are read.
  enum class Form { disccart, discpolr, evalcart };

  // Adds the receptor of one entry: `entry` is what follows its keyword,
  // `text` its numbers (for DISCPOLR, after the source id, and (xs, ys) is
  // the source's location). The entry stands in `file` at `line`. False
  // (nothing added) when MXREC receptors are already held.
  bool add(Form form, std::string_view text, std::string_view entry, double xs, double ys, const std::string& file,
           std::int64_t line);
  // Adds a network's receptors; the caller has checked the limit.
  void add(const std::vector<Receptor>& receptors);

  [[nodiscard]] std::size_t size() const noexcept { return receptors_.size(); }

  // The receptors, or the halt for the first entry that is not numbers.
  Result<std::vector<Receptor>> take() &&;

 private:
  struct Bad {
    std::int32_t number = 0;
    std::string text;
    std::string where;
  };
  std::vector<Receptor> receptors_;
  std::optional<Bad> first_bad_;
};

// The halt for more than MXREC receptors.
[[nodiscard]] Status too_many_receptors();

}  // namespace kestrel
