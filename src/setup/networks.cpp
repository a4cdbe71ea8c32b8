#include "setup/networks.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/fields.hpp"
#include "base/free_line.hpp"
#include "setup/params.hpp"
#include "setup/receptors.hpp"

namespace kestrel {

namespace {

constexpr std::string_view kNetworkHalt = "Halted in SETUP:  invalid receptor network";

// A count written as a number: whole and positive.
bool whole_count(double v, std::size_t& n) {
  if (!(v >= 1.0) || v > 1.0e9 || v != std::floor(v)) return false;
  n = static_cast<std::size_t>(v);
  return true;
}

}  // namespace

std::string where_line(const LinePlace& at) {
  return free_line("In " + at.file + ", line " + std::to_string(at.number));
}

Status network_halt(std::string_view netid, const LinePlace& at) {
  return Status::halt(std::string(kNetworkHalt), true)
      .line(free_line(kNetworkHalt))
      .line(free_line("Receptor network " + std::string(netid) + ": " + at.text))
      .line(where_line(at));
}

Status unknown_source_halt(std::string_view srcid, const LinePlace& at) {
  constexpr std::string_view msg = "Halted in SETUP:  unknown source for a polar receptor";
  return Status::halt(std::string(msg), true)
      .line(free_line(msg))
      .line(free_line("Source " + std::string(srcid) + " has no SO LOCATION"))
      .line(where_line(at));
}

double fold_direction(double dir) noexcept {
  if (dir > 360.0) return dir - 360.0;
  if (dir <= 0.0) return dir + 360.0;
  return dir;
}

std::pair<double, double> polar_point(double xorig, double yorig, double dist, double dir) noexcept {
  constexpr double kDegree = std::numbers::pi / 180.0;
  return {xorig + dist * std::sin(dir * kDegree), yorig + dist * std::cos(dir * kDegree)};
}

Receptor receptor_at(double xm, double ym, float zelev) noexcept {
  return {metres_to_km(static_cast<float>(xm)), metres_to_km(static_cast<float>(ym)), zelev, xm, ym};
}

Status Network::bound(std::size_t inner, std::size_t outer, std::size_t limit, const LinePlace& at) {
  const std::size_t a = std::max<std::size_t>(inner, 1);
  const std::size_t b = std::max<std::size_t>(outer, 1);
  if (a > limit || b > limit / a) return too_many_receptors().line(where_line(at));
  return {};
}

Status Network::points_fit(std::size_t limit, const LinePlace& at) const {
  return kind_ == Kind::cart ? bound(xpnts_.size(), ypnts_.size(), limit, at) : bound(dist_.size(), dirs_.size(), limit, at);
}

Status Network::numbers(std::span<const std::string_view> args, const LinePlace& at, std::vector<double>& out) const {
  for (const auto f : args) {
    double v = 0.0;
    if (!parse_real(f, v)) return network_halt(id_, at);
    out.push_back(v);
  }
  return {};
}

Status Network::row(Rows& rows, std::span<const std::string_view> args, const LinePlace& at, std::size_t limit) const {
  double number = 0.0;
  if (args.empty() || !parse_real(args[0], number)) return network_halt(id_, at);
  // A row can hold no more values than the network may have receptors.
  if (rows.size() >= limit && !rows.contains(number)) return network_halt(id_, at);
  auto [it, fresh] = rows.try_emplace(number);
  Row& r = it->second;
  if (fresh) r.first = at;
  r.last = at;
  if (r.values.size() + args.size() - 1 > limit) return network_halt(id_, at);
  for (const auto f : args.subspan(1)) {
    float v = 0.0F;
    if (!parse_real(f, v)) return network_halt(id_, at);
    r.values.push_back(v);
  }
  return {};
}

Status Network::add(std::string_view keyword, std::span<const std::string_view> args, const LinePlace& at,
                    const SourceLocations& sources, std::size_t limit) {
  const bool cart = kind_ == Kind::cart;
  if (keyword == "ELEV") return row(elev_, args, at, limit);
  if (keyword == "HILL") return row(hill_, args, at, limit);
  if (keyword == "FLAG") return row(flag_, args, at, limit);
  if (cart && keyword == "XYINC") {
    std::vector<double> v;
    if (args.size() < 6) return network_halt(id_, at);
    if (Status s = numbers(args.first(6), at, v); !s.ok()) return s;
    std::size_t nx = 0, ny = 0;
    if (!whole_count(v[1], nx) || !whole_count(v[4], ny)) return network_halt(id_, at);
    if (Status s = bound(nx, ny, limit, at); !s.ok()) return s;
    xpnts_.clear(), ypnts_.clear();
    for (std::size_t i = 0; i < nx; ++i) xpnts_.push_back(v[0] + v[2] * static_cast<double>(i));
    for (std::size_t j = 0; j < ny; ++j) ypnts_.push_back(v[3] + v[5] * static_cast<double>(j));
    have_x_ = have_y_ = true;
    return {};
  }
  if (cart && (keyword == "XPNTS" || keyword == "YPNTS")) {
    const bool x = keyword == "XPNTS";
    (x ? have_x_ : have_y_) = true;
    if (Status s = numbers(args, at, x ? xpnts_ : ypnts_); !s.ok()) return s;
    return points_fit(limit, at);
  }
  if (!cart && keyword == "ORIG") {
    if (args.size() == 1) {
      const auto src = sources.find(args[0]);
      if (src == sources.end()) return unknown_source_halt(args[0], at);
      std::tie(xorig_, yorig_) = src->second;
      return {};
    }
    std::vector<double> v;
    if (args.size() < 2) return network_halt(id_, at);
    if (Status s = numbers(args.first(2), at, v); !s.ok()) return s;
    xorig_ = v[0], yorig_ = v[1];
    return {};
  }
  if (!cart && keyword == "DIST") {
    if (Status s = numbers(args, at, dist_); !s.ok()) return s;
    return points_fit(limit, at);
  }
  if (!cart && keyword == "DDIR") {
    std::vector<double> v;
    if (Status s = numbers(args, at, v); !s.ok()) return s;
    for (const double d : v) dirs_.push_back(fold_direction(d));
    return points_fit(limit, at);
  }
  if (!cart && keyword == "GDIR") {
    std::vector<double> v;
    if (args.size() < 3) return network_halt(id_, at);
    if (Status s = numbers(args.first(3), at, v); !s.ok()) return s;
    std::size_t n = 0;
    if (!whole_count(v[0], n)) return network_halt(id_, at);
    if (Status s = bound(dist_.size(), dirs_.size() + n, limit, at); !s.ok()) return s;
    for (std::size_t i = 0; i < n; ++i) dirs_.push_back(fold_direction(v[1] + v[2] * static_cast<double>(i)));
    return {};
  }
  // A keyword of the other network kind, or none of either.
  return network_halt(id_, at);
}

Status Network::check_rows(const Rows& rows, std::size_t count, std::size_t length) const {
  for (const auto& [number, r] : rows) {
    std::size_t n = 0;
    if (!whole_count(number, n) || n > count) return network_halt(id_, r.first);
  }
  for (const auto& [number, r] : rows) {
    if (r.values.size() != length) return network_halt(id_, r.last);
  }
  return {};
}

// Every receptor's x and y, in metres and in km, must be a finite float:
// a dataset holds them as such.
Status Network::finite_points(const LinePlace& at) const {
  const auto fits = [](double m) {
    const auto f = static_cast<float>(m);
    return std::isfinite(f) && std::isfinite(metres_to_km(f));
  };
  const bool cart = kind_ == Kind::cart;
  const std::vector<double>& outer = cart ? ypnts_ : dirs_;
  const std::vector<double>& inner = cart ? xpnts_ : dist_;
  for (const double o : outer) {
    for (const double i : inner) {
      const auto [x, y] = cart ? std::pair{i, o} : polar_point(xorig_, yorig_, i, o);
      if (!fits(x) || !fits(y)) return network_halt(id_, at);
    }
  }
  return {};
}

Result<std::vector<Receptor>> Network::end(const LinePlace& at, std::size_t limit) const {
  const bool cart = kind_ == Kind::cart;
  if (cart ? !(have_x_ && have_y_) : (dist_.empty() || dirs_.empty())) return network_halt(id_, at);
  const std::vector<double>& outer = cart ? ypnts_ : dirs_;
  const std::vector<double>& inner = cart ? xpnts_ : dist_;
  for (const Rows* rows : {&elev_, &hill_, &flag_}) {
    if (Status s = check_rows(*rows, outer.size(), inner.size()); !s.ok()) return s;
  }
  if (outer.size() * inner.size() > limit) {
    return too_many_receptors().line(where_line(at));
  }
  if (Status s = finite_points(at); !s.ok()) return s;
  std::vector<Receptor> out;
  out.reserve(outer.size() * inner.size());
  for (std::size_t j = 0; j < outer.size(); ++j) {
    const auto elev = elev_.find(static_cast<double>(j + 1));
    for (std::size_t i = 0; i < inner.size(); ++i) {
      const float z = elev == elev_.end() ? 0.0F : elev->second.values[i];
      const auto [x, y] = cart ? std::pair{inner[i], outer[j]} : polar_point(xorig_, yorig_, inner[i], outer[j]);
      out.push_back(receptor_at(x, y, z));
    }
  }
  return out;
}

}  // namespace kestrel
