// Receptor networks of the RE pathway: a GRIDCART or GRIDPOLR network is read
// from its STA line to its END line, and gives its receptors in AERMOD's
// order at END.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/status.hpp"
#include "setup/ctrl.hpp"

namespace kestrel {

// SO LOCATION x and y by source id.
using SourceLocations = std::map<std::string, std::pair<double, double>, std::less<>>;

// Where a line of the control file or an included file stands, for the halts
// that show the line.
struct LinePlace {
  std::string text;  // as held: upper case, pathway filled, trimmed
  std::string file;
  std::int64_t number = 0;
};

// The list-file line that says where a shown line stands.
[[nodiscard]] std::string where_line(const LinePlace& at);

// "Halted in SETUP:  invalid receptor network" for a line of network `netid`.
[[nodiscard]] Status network_halt(std::string_view netid, const LinePlace& at);
// "Halted in SETUP:  unknown source for a polar receptor".
[[nodiscard]] Status unknown_source_halt(std::string_view srcid, const LinePlace& at);

// Folds a direction in degrees into (0, 360] by one turn either way.
[[nodiscard]] double fold_direction(double dir) noexcept;

// A polar point: origin plus distance along a direction clockwise from north,
// in double precision as AERMOD computes it.
[[nodiscard]] std::pair<double, double> polar_point(double xorig, double yorig, double dist, double dir) noexcept;

// A receptor from coordinates in metres: km through single precision, as
// DISCCART values are taken.
[[nodiscard]] Receptor receptor_at(double xm, double ym, float zelev) noexcept;

class Network {
 public:
  enum class Kind { cart, polar };

  Network(Kind kind, std::string id, LinePlace sta) : kind_(kind), id_(std::move(id)), sta_(std::move(sta)) {}

  [[nodiscard]] Kind kind() const noexcept { return kind_; }
  [[nodiscard]] const std::string& id() const noexcept { return id_; }
  [[nodiscard]] const LinePlace& sta() const noexcept { return sta_; }

  // One line of the network: its sub-keyword (not END) and the fields after
  // it. `limit` is how many more receptors the run may hold: points,
  // distances and directions count against it as they are read, so that no
  // control file makes the network hold more than that.
  Status add(std::string_view keyword, std::span<const std::string_view> args, const LinePlace& at,
             const SourceLocations& sources, std::size_t limit);

  // The receptors at END, in AERMOD's order: row by row for a Cartesian grid
  // (x fastest), direction by direction for a polar one (distance fastest).
  // `limit` is how many more receptors the run may hold.
  Result<std::vector<Receptor>> end(const LinePlace& at, std::size_t limit) const;

 private:
  // The values of an ELEV, HILL or FLAG row; several lines of one row append.
  struct Row {
    std::vector<float> values;
    LinePlace first;
    LinePlace last;
  };
  using Rows = std::map<double, Row>;

  Status numbers(std::span<const std::string_view> args, const LinePlace& at, std::vector<double>& out) const;
  Status row(Rows& rows, std::span<const std::string_view> args, const LinePlace& at, std::size_t limit) const;
  [[nodiscard]] Status check_rows(const Rows& rows, std::size_t count, std::size_t length) const;
  // The halt when `inner` x `outer` points pass `limit` (a list not yet
  // given counts as one point).
  [[nodiscard]] static Status bound(std::size_t inner, std::size_t outer, std::size_t limit, const LinePlace& at);
  [[nodiscard]] Status points_fit(std::size_t limit, const LinePlace& at) const;
  [[nodiscard]] Status finite_points(const LinePlace& at) const;

  Kind kind_;
  std::string id_;
  LinePlace sta_;
  // Cartesian: the x and y points; polar: distances and directions.
  std::vector<double> xpnts_, ypnts_;
  bool have_x_ = false, have_y_ = false;
  double xorig_ = 0.0, yorig_ = 0.0;
  std::vector<double> dist_, dirs_;
  Rows elev_, hill_, flag_;
};

}  // namespace kestrel
