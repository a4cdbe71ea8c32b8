#include "inspect/options.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "inspect/draw/levels.hpp"
#include "inspect/failure.hpp"
#include "inspect/format.hpp"
#include "inspect/gis/gis.hpp"
#include "inspect/print/print.hpp"
#include "inspect/kestrel_calls.hpp"
#include "inspect/stats/statistic.hpp"
#include "inspect/units.hpp"

namespace kestrel::inspect {

namespace {

std::int32_t receptor_number(const std::string& option, const std::string& v) {
  char* end = nullptr;
  const long n = std::strtol(v.c_str(), &end, 10);
  if (v.empty() || *end != '\0' || n < 1 || n > kMaxReceptors) {
    throw Failure(option + " takes 1 to " + std::to_string(kMaxReceptors));
  }
  return static_cast<std::int32_t>(n);
}

int dpi_of(const std::string& v) {
  char* end = nullptr;
  const long n = std::strtol(v.c_str(), &end, 10);
  if (v.empty() || *end != '\0' || n < 30 || n > 1200) throw Failure("--dpi takes 30 to 1200");
  return static_cast<int>(n);
}

// "E,N": metres, as the projected system counts them.
void origin_of(const std::string& v, Options& o) {
  const auto comma = v.find(',');
  auto number = [&](std::string_view t, double& into) {
    const auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), into);
    return !t.empty() && ec == std::errc{} && ptr == t.data() + t.size() && std::isfinite(into);
  };
  if (comma == std::string::npos || !number(std::string_view(v).substr(0, comma), o.origin_e) ||
      !number(std::string_view(v).substr(comma + 1), o.origin_n)) {
    throw Failure("--origin takes the easting and northing of the run's (0, 0), in metres: --origin 552000,4178500");
  }
  o.origin_given = true;
}

// The options that shape or write the map, each refused when nothing asks for a map.
void check_map_options(const Options& o) {
  const char* needs_map = nullptr;
  if (o.grid) needs_map = "--grid";
  if (o.filled) needs_map = "--filled";
  if (!o.title.empty()) needs_map = "--title";
  if (!o.levels.empty()) needs_map = "--levels";
  if (needs_map != nullptr && !o.map()) {
    throw Failure(std::string(needs_map) + " goes with a map (--svg, --png, --pdf, --geojson or --kml)");
  }
  if (o.dpi_given && o.png.empty()) throw Failure("--dpi goes with --png");
  const bool gis = !o.geojson.empty() || !o.kml.empty();
  if ((!o.crs.empty() || o.origin_given) && !gis) {
    throw Failure(std::string(o.crs.empty() ? "--origin" : "--crs") + " goes with --geojson or --kml");
  }
  if (gis && o.crs.empty()) {
    throw Failure(std::string(o.geojson.empty() ? "--kml" : "--geojson") +
                  " needs --crs: AERMOD does not record the coordinate system of the run's x and y, so name it "
                  "(--crs EPSG:32617 for UTM zone 17N, and --origin E,N for a run in local coordinates)");
  }
  if (o.map() && o.files.size() != 1) {
    const char* first = !o.svg.empty() ? "--svg" : !o.png.empty() ? "--png" : !o.pdf.empty() ? "--pdf"
                        : !o.geojson.empty() ? "--geojson" : "--kml";
    throw Failure(std::string(first) + " draws one file at a time");
  }
}

}  // namespace

std::string_view usage() {
  return "usage: kestrel-inspect [--csv | --json | --receptors-csv] [--unit U] [--stat NAME]...\n"
         "                       [--svg FILE] [--png FILE [--dpi N]] [--pdf FILE]\n"
         "                       [--geojson FILE] [--kml FILE] [--crs CRS [--origin E,N]]\n"
         "                       [--grid] [--filled] [--title TEXT] [--levels LIST]\n"
         "                       [--svg-series FILE [--receptor N]] [--real4 | --real8] [--receptors N]\n"
         "                       [--control FILE] [--met FILE] FILE...\n"
         "       kestrel-inspect --check AERMOD.OUT [--control FILE] FILE...\n"
         "Summarises converted datasets (.gdx) and AERMOD POSTFILEs, unformatted or formatted (PLOT;\n"
         "told by their text, receptors' places from the first record unless --control gives them).\n"
         "  --csv             every value in long form: time (ISO 8601, period end), receptor, x_km, y_km,\n"
         "                    value, unit (g/m3 for a dataset, ug/m3 for a POSTFILE); with several files a\n"
         "                    file column first, and a group column (source group or name) when a POSTFILE\n"
         "                    is among them\n"
         "  --json            the summary as JSON\n"
         "  --receptors-csv   one row per receptor: receptor, x_km, y_km, highest value and its period\n"
         "                    end, second-highest and its period end, mean, unit (ug/m3); with --stat\n"
         "                    a column per statistic (and its period end)\n"
         "  --unit U          every value shown in U whatever the file holds: ug/m3 or g/m3, for\n"
         "                    deposition ug/m2/h or g/m2/s\n"
         "  --stat NAME       a statistic per receptor as AERMOD computes it (several allowed): max,\n"
         "                    high:N (the Nth highest hour), avg:H:N (the Nth highest H-hour block\n"
         "                    average, H one of 1, 2, 3, 4, 6, 8, 12, 24, or month; calm and missing\n"
         "                    hours as AERMOD counts them), period (AERMOD's PERIOD), annual (its\n"
         "                    ANNUAL), daily-max:N and avg-years:H:N (each year's Nth highest daily\n"
         "                    maximum hour or H-hour average, the mean over AERMOD's years: 12 months\n"
         "                    from the first hour, whole years only), mean (the plain mean of all\n"
         "                    hours), exceed:T (hours above T in the unit shown); on deposition the\n"
         "                    blocks and periods are totals (ug/m2); the map shows the first\n"
         "  --check OUT       compare every 1-hour RECTABLE and MAXTABLE value of AERMOD's main output\n"
         "                    file OUT, and its date, with the files (datasets or POSTFILEs of that\n"
         "                    run); exit status 1 when one disagrees\n"
         "  --svg FILE        a map of the receptors coloured by their highest value (ug/m3, log scale),\n"
         "                    with contours and the sources of the control file (--control, or the one\n"
         "                    beside the file whose POSTFILE line names it)\n"
         "  --png FILE        the map as a PNG image, --dpi N pixels per inch (default 150)\n"
         "  --pdf FILE        the map as a PDF page\n"
         "  --geojson FILE    the map as GeoJSON: bands, contours, receptors, sources and the highest\n"
         "                    value, in longitude and latitude (WGS 84); needs --crs\n"
         "  --kml FILE        the same as KML, bands coloured as on the map, with its legend\n"
         "  --crs CRS         the projected system of the run's x and y (EPSG:32617, or any PROJ knows)\n"
         "  --origin E,N      the run's (0, 0) in that system, metres, for a run in local coordinates\n"
         "  --levels LIST     the contour and band levels in the unit shown, 10,50,100,196, or as\n"
         "                    fractions of a limit, 196x0.1,0.25,0.5,1 (default: 1, 2, 5 x 10^n)\n"
         "  --grid            draw the dataset's nominal grid on the map\n"
         "  --filled          fill the bands between the contours; receptors as small dots\n"
         "  --title TEXT      the map's title line\n"
         "  --svg-series FILE the hourly series of the receptor with the highest value (ug/m3); past\n"
         "                    about a month, each pixel column's range of hours and the daily maximum\n"
         "  --receptor N      the series of receptor N instead\n"
         "  --real4/--real8   the unformatted POSTFILE's value width (default: inferred)\n"
         "  --receptors N     the unformatted POSTFILE's receptor count (default: inferred)\n"
         "  --control FILE    the AERMOD control file: receptors, their coordinates, the pollutant and\n"
         "                    the output types, and the surface file its ME SURFFILE names\n"
         "  --met FILE        the run's AERMET surface file, for the calm and missing hours of --stat\n"
         "                    (default: the control file's ME SURFFILE)\n"
         "  --type T          the POSTFILE's output type to read: conc, depos, ddep or wdep (default:\n"
         "                    its first; another needs --control); deposition in ug/m2/h\n";
}

Options parse_args(std::span<const std::string> args) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw Failure(a + " needs a value");
      return args[++i];
    };
    if (a == "--csv") {
      o.csv = true;
    } else if (a == "--json") {
      if (!json_available()) throw Failure("--json is not available in this build (it was built without nlohmann-json)");
      o.json = true;
    } else if (a == "--receptors-csv") {
      o.receptors_csv = true;
    } else if (a == "--svg") {
      o.svg = value();
    } else if (a == "--svg-series") {
      o.svg_series = value();
    } else if (a == "--grid") {
      o.grid = true;
    } else if (a == "--filled") {
      o.filled = true;
    } else if (a == "--title") {
      o.title = value();
    } else if (a == "--levels") {
      o.levels = parse_levels(value());
    } else if (a == "--png" || a == "--pdf") {
      if (!print_available()) throw Failure(a + " is not available in this build");
      (a == "--png" ? o.png : o.pdf) = value();
    } else if (a == "--dpi") {
      o.dpi = dpi_of(value());
      o.dpi_given = true;
    } else if (a == "--geojson" || a == "--kml") {
      if (!projection_available()) throw Failure(a + " is not available in this build");
      (a == "--geojson" ? o.geojson : o.kml) = value();
    } else if (a == "--crs") {
      o.crs = value();
    } else if (a == "--origin") {
      origin_of(value(), o);
    } else if (a == "--unit") {
      o.unit = value();
      if (!known_unit(o.unit)) throw Failure("--unit takes ug/m3, g/m3, ug/m2/h or g/m2/s");
    } else if (a == "--stat") {
      o.stats.push_back(value());
      parse_stat(o.stats.back());
    } else if (a == "--check") {
      o.check = value();
    } else if (a == "--receptor") {
      o.receptor = receptor_number(a, value());
    } else if (a == "--real4") {
      o.real = 4;
    } else if (a == "--real8") {
      o.real = 8;
    } else if (a == "--receptors") {
      o.receptors = receptor_number(a, value());
    } else if (a == "--control") {
      o.control = value();
    } else if (a == "--met") {
      o.met = value();
    } else if (a == "--type") {
      o.type = value();
      for (char& c : o.type) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
      if (o.type != "CONC" && o.type != "DEPOS" && o.type != "DDEP" && o.type != "WDEP") {
        throw Failure("--type takes conc, depos, ddep or wdep");
      }
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      throw Failure("unknown option " + a);
    } else {
      o.files.push_back(a);
    }
  }
  if (o.files.empty()) throw Failure("no file named");
  if (int(o.csv) + int(o.json) + int(o.receptors_csv) > 1) {
    throw Failure(o.receptors_csv ? "--csv, --json and --receptors-csv exclude each other"
                                  : "--csv and --json exclude each other");
  }
  check_map_options(o);
  if (!o.svg_series.empty() && o.files.size() != 1) throw Failure("--svg-series draws one file at a time");
  if (!o.check.empty() && (o.csv || o.json || o.receptors_csv || o.map() || !o.svg_series.empty() ||
                           !o.stats.empty() || !o.unit.empty() || o.overrides() || !o.type.empty())) {
    throw Failure("--check takes only --control beside the files");
  }
  if (!o.stats.empty() && o.csv) throw Failure("--stat goes with the summary, --receptors-csv, --json or --svg");
  if (o.receptor != 0 && o.svg_series.empty()) throw Failure("--receptor goes with --svg-series");
  return o;
}

}  // namespace kestrel::inspect
