#include "inspect/options.hpp"

#include <cstdlib>

#include "inspect/failure.hpp"
#include "inspect/format.hpp"
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

}  // namespace

std::string_view usage() {
  return "usage: kestrel-inspect [--csv | --json | --receptors-csv] [--unit U] [--stat NAME]...\n"
         "                       [--svg FILE [--grid] [--filled] [--title TEXT]]\n"
         "                       [--svg-series FILE [--receptor N]] [--real4 | --real8] [--receptors N]\n"
         "                       [--control FILE] FILE...\n"
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
         "  --stat NAME       a statistic per receptor (several allowed): max, high:N (the Nth highest\n"
         "                    hour), daily-max:N (the Nth highest daily maximum hour, the mean over the\n"
         "                    years), mean, avg:H:N (the Nth highest H-hour block average, H one of 2,\n"
         "                    3, 4, 6, 8, 12, 24), exceed:T (hours above T in the unit shown); the map\n"
         "                    shows the first\n"
         "  --check OUT       compare every 1-hour RECTABLE and MAXTABLE value of AERMOD's main output\n"
         "                    file OUT, and its date, with the files (datasets or POSTFILEs of that\n"
         "                    run); exit status 1 when one disagrees\n"
         "  --svg FILE        a map of the receptors coloured by their highest value (ug/m3, log scale),\n"
         "                    with contours and the sources of the control file (--control, or AERMOD.INP\n"
         "                    or the control file of a list file beside the file)\n"
         "  --grid            draw the dataset's nominal grid on the map\n"
         "  --filled          fill the bands between the contours instead of marking the receptors\n"
         "  --title TEXT      the map's title line\n"
         "  --svg-series FILE the hourly series of the receptor with the highest value (ug/m3); past\n"
         "                    about a month, each pixel column's range of hours and the daily maximum\n"
         "  --receptor N      the series of receptor N instead\n"
         "  --real4/--real8   the unformatted POSTFILE's value width (default: inferred)\n"
         "  --receptors N     the unformatted POSTFILE's receptor count (default: inferred)\n"
         "  --control FILE    the AERMOD control file: receptors, their coordinates, the pollutant and\n"
         "                    the output types\n"
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
  if ((!o.svg.empty() || !o.svg_series.empty()) && o.files.size() != 1) {
    throw Failure(o.svg.empty() ? "--svg-series draws one file at a time" : "--svg draws one file at a time");
  }
  if (o.grid && o.svg.empty()) throw Failure("--grid goes with --svg");
  if (o.filled && o.svg.empty()) throw Failure("--filled goes with --svg");
  if (!o.title.empty() && o.svg.empty()) throw Failure("--title goes with --svg");
  if (!o.check.empty() && (o.csv || o.json || o.receptors_csv || !o.svg.empty() || !o.svg_series.empty() ||
                           !o.stats.empty() || !o.unit.empty() || o.overrides() || !o.type.empty())) {
    throw Failure("--check takes only --control beside the files");
  }
  if (!o.stats.empty() && o.csv) throw Failure("--stat goes with the summary, --receptors-csv, --json or --svg");
  if (o.receptor != 0 && o.svg_series.empty()) throw Failure("--receptor goes with --svg-series");
  return o;
}

}  // namespace kestrel::inspect
