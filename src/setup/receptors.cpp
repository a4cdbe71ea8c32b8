#include "setup/receptors.hpp"

#include <array>

#include "base/fields.hpp"
#include "base/free_line.hpp"
#include "base/text.hpp"
#include "setup/networks.hpp"
#include "setup/params.hpp"

namespace kestrel {

namespace {

// x and y (or distance and direction) and the elevation: the first two must
// be there, all that are there must be numbers.
bool read_numbers(std::string_view text, std::array<float, 3>& f, std::array<double, 2>& d) {
  std::array<std::string_view, 3> field;
  const std::size_t n = split_fields(text, field);
  if (n < 2) return false;
  if (!parse_real(field[0], f[0], d[0]) || !parse_real(field[1], f[1], d[1])) return false;
  return n < 3 || parse_real(field[2], f[2]);
}

}  // namespace

bool ReceptorList::add(Form form, std::string_view text, std::string_view entry, double xs, double ys,
                       const std::string& file, std::int64_t line) {
  if (receptors_.size() >= MXREC) return false;
  std::array<float, 3> f{0.0F, 0.0F, 0.0F};
  std::array<double, 2> d{0.0, 0.0};
  if (!read_numbers(text, f, d)) {
    if (!first_bad_) {
      first_bad_ = Bad{static_cast<std::int32_t>(receptors_.size() + 1), std::string(trim(entry)),
                       where_line({{}, file, line})};
    }
    receptors_.emplace_back();
    return true;
  }
  if (form == Form::discpolr) {
    const auto [x, y] = polar_point(xs, ys, d[0], fold_direction(d[1]));
    receptors_.push_back(receptor_at(x, y, f[2]));
  } else {
    // Cartesian entries keep the single-precision reading of their text.
    receptors_.push_back({metres_to_km(f[0]), metres_to_km(f[1]), f[2], d[0], d[1]});
  }
  return true;
}

void ReceptorList::add(const std::vector<Receptor>& receptors) {
  receptors_.insert(receptors_.end(), receptors.begin(), receptors.end());
}

Result<std::vector<Receptor>> ReceptorList::take() && {
  if (first_bad_) {
    constexpr std::string_view msg = "Halted in SETUP:  invalid receptor entry";
    return Status::halt(std::string(msg), true)
        .line(free_line(msg))
        .line(FreeLine().text("Receptor entry").i32(first_bad_->number).text(first_bad_->text).str())
        .line(first_bad_->where);
  }
  return std::move(receptors_);
}

Status too_many_receptors() {
  constexpr std::string_view msg = "Halted in SETUP:  too many receptors";
  return Status::halt(std::string(msg), true)
      .line(free_line(msg))
      .line(FreeLine().text("The limit is set by parameter MXREC = ").i32(static_cast<std::int32_t>(MXREC)).str());
}

}  // namespace kestrel
