#include "join/options.hpp"

#include <optional>
#include <string_view>

#include "io/platform.hpp"

namespace kestrel::join {

namespace {

Options usage_error(std::string text) {
  Options o;
  o.action = Options::Action::usage_error;
  o.error = "kestrel-join: " + std::move(text);
  return o;
}

std::optional<Mode> mode_of(std::string_view a) {
  if (a == "--receptors") return Mode::receptors;
  if (a == "--sum") return Mode::sum;
  if (a == "--time") return Mode::time;
  return std::nullopt;
}

}  // namespace

Options parse_options(std::span<const std::string> args) {
  Options o;
  std::string mode_given;
  bool output_given = false;
  bool options_end = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options_end || a.empty() || a.front() != '-') {
      if (!options_end && io::slash_options() && a == "/?") {
        o.action = Options::Action::help;
        return o;
      }
      o.inputs.push_back(a);
      continue;
    }
    std::optional<std::string> output;
    if (a == "--") {
      options_end = true;
    } else if (a == "-h" || a == "--help") {
      o.action = Options::Action::help;
      return o;
    } else if (a == "--version") {
      o.action = Options::Action::version;
      return o;
    } else if (const auto m = mode_of(a)) {
      if (!mode_given.empty()) return usage_error("more than one mode ('" + mode_given + "' and '" + a + "')");
      mode_given = a;
      o.mode = *m;
    } else if (a == "-o" || a == "--output") {
      if (i + 1 >= args.size()) return usage_error("option '" + a + "' needs the output dataset's name");
      output = args[++i];
    } else if (a.starts_with("--output=")) {
      output = a.substr(9);
    } else if (a.starts_with("-o") && a.size() > 2 && a[2] != '-') {
      output = a.substr(2);
    } else {
      return usage_error("unknown option '" + a + "'");
    }
    if (output) {
      if (output_given) return usage_error("more than one output ('" + o.output + "' and '" + *output + "')");
      if (output->empty()) return usage_error("the output dataset's name is empty");
      o.output = *output;
      output_given = true;
    }
  }
  if (mode_given.empty()) return usage_error("no mode: give --receptors, --sum or --time");
  if (!output_given) return usage_error("no output: give -o OUTPUT");
  if (o.inputs.empty()) return usage_error("no input dataset");
  return o;
}

}  // namespace kestrel::join
