// How kestrel-inspect writes times, numbers and texts.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "base/text.hpp"  // count_of, for every report
#include "inspect/kestrel_calls.hpp"

#ifdef KESTREL_HAVE_JSON
#include <nlohmann/json.hpp>
#endif

namespace kestrel::inspect {

#ifdef KESTREL_HAVE_JSON
using Json = nlohmann::ordered_json;
#else
// Without the JSON library --json is refused, and nothing is kept for it.
struct Json {
  Json() = default;
  template <class T>
  Json(const T&) {}  // NOLINT: stands in for the library's converting constructor
};
#endif

// Whether this build writes JSON (--json).
[[nodiscard]] constexpr bool json_available() noexcept {
#ifdef KESTREL_HAVE_JSON
  return true;
#else
  return false;
#endif
}

// A period's time: ISO 8601 (1988-03-01T12:00) for machines, or
// "1988-03-01 hour 12" for people.
std::string iso(const Time& t);
std::string readable(const Time& t);
std::string clock_time(const Time& t);  // 1988-03-01 12:00

// "1 period", "2 periods".

std::string num(double v);        // seven significant digits
std::string short_num(double v);  // three
std::string fixed4(double v);     // four decimals
std::string fixed_to(double v, int decimals);
std::string general(double v, int digits);  // printf's %g, whatever the locale
// A number as JSON, to the seven significant digits the summary shows;
// null when not finite.
Json json_number(double v);
// The shortest text that reads back to the same number, for CSV and JSON:
// as a 4-byte real (a dataset's values, a formatted POSTFILE's) when
// `width` is 4, else as the 8-byte real it is; empty or null when not finite.
std::string exact_num(double v, int width);
Json json_exact(double v, int width);
Json json_object(std::initializer_list<std::pair<const char*, double>> items);
std::string xml_text(std::string_view s);
std::string csv_field(std::string_view s);  // quoted when it holds a comma, quote or line end

// printf's conversions (%d, %zu, %x, %s, %f, %e, %g with flags, width and
// precision, and %%) written through std::to_chars: printf's decimal point
// is the locale's, and a picture or GIS file must not depend on it.
using PrintfArg = std::variant<long long, unsigned long long, double, std::string_view>;
std::string c_printf(std::string_view format, std::span<const PrintfArg> args);

template <class T>
PrintfArg printf_arg(const T& v) {
  if constexpr (std::is_floating_point_v<T>) {
    return static_cast<double>(v);
  } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
    return static_cast<long long>(v);
  } else if constexpr (std::is_integral_v<T>) {
    return static_cast<unsigned long long>(v);
  } else {
    return std::string_view(v);
  }
}

template <class... Args>
std::string fmt(std::string_view format, const Args&... args) {
  const PrintfArg list[] = {printf_arg(args)..., PrintfArg{0LL}};
  return c_printf(format, std::span<const PrintfArg>(list, sizeof...(Args)));
}

// Texts from a file, without trailing blanks and with zero bytes (a title
// never set) as nothing.
std::string shown(std::string_view s);

}  // namespace kestrel::inspect
