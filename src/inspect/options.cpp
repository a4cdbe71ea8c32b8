#include "inspect/options.hpp"

#include <cstdlib>

#include "inspect/failure.hpp"
#include "inspect/kestrel_calls.hpp"

namespace kestrel::inspect {

std::string_view usage() {
  return "usage: kestrel-inspect [--csv | --json] [--svg FILE] [--real4 | --real8] [--receptors N]\n"
         "                       [--control FILE] FILE...\n"
         "Summarises converted datasets (.gdx) and AERMOD unformatted POSTFILEs.\n"
         "  --csv           every value in long form: time (ISO 8601, period end), receptor, x_km, y_km, value\n"
         "                  (g/m3 for a dataset, ug/m3 for a POSTFILE)\n"
         "  --json          the summary as JSON\n"
         "  --svg FILE      a map of the receptors coloured by their highest value\n"
         "  --real4/--real8 the POSTFILE's value width (default: inferred)\n"
         "  --receptors N   the POSTFILE's receptor count (default: inferred)\n"
         "  --control FILE  the AERMOD control file: receptors and their coordinates\n";
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
      o.json = true;
    } else if (a == "--svg") {
      o.svg = value();
    } else if (a == "--real4") {
      o.real = 4;
    } else if (a == "--real8") {
      o.real = 8;
    } else if (a == "--receptors") {
      const std::string& v = value();
      char* end = nullptr;
      const long n = std::strtol(v.c_str(), &end, 10);
      if (*end != '\0' || n < 1 || n > kMaxReceptors) throw Failure("--receptors takes 1 to 10000");
      o.receptors = static_cast<std::int32_t>(n);
    } else if (a == "--control") {
      o.control = value();
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      throw Failure("unknown option " + a);
    } else {
      o.files.push_back(a);
    }
  }
  if (o.files.empty()) throw Failure("no file named");
  if (o.csv && o.json) throw Failure("--csv and --json exclude each other");
  if (!o.svg.empty() && o.files.size() != 1) throw Failure("--svg draws one file at a time");
  return o;
}

}  // namespace kestrel::inspect
