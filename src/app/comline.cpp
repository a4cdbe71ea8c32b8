#include "app/comline.hpp"

#include <charconv>
#include <system_error>

#include "base/text.hpp"
#include "io/platform.hpp"

namespace kestrel {

namespace {

bool parse_jobs(std::string_view text, unsigned& jobs) {
  unsigned v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc{} || end != text.data() + text.size() || v == 0 || v > 1024) return false;
  jobs = v;
  return true;
}

Options usage_error(std::string text) {
  Options o;
  o.action = Options::Action::usage_error;
  o.error = std::move(text);
  return o;
}

}  // namespace

Options parse_options(std::span<const std::string> args) {
  Options o;
  bool options_end = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options_end || a.empty() || a.front() != '-' || a == "-") {
      if (!options_end && io::slash_options() && a == "/?") {
        o.action = Options::Action::help;
        return o;
      }
      if (!options_end && a == "-") return usage_error("kestrel: unknown option '-'");
      o.runs.push_back(a);
      continue;
    }
    if (a == "--") {
      options_end = true;
    } else if (a == "-h" || a == "--help") {
      o.action = Options::Action::help;
      return o;
    } else if (a == "--version") {
      o.action = Options::Action::version;
      return o;
    } else if (a == "--strict") {
      o.strict = true;
    } else if (a == "--resume") {
      o.resume = true;
    } else if (a == "--allow-failed-aermod") {
      o.allow_failed_aermod = true;
    } else if (a == "-q" || a == "--quiet") {
      o.quiet = true;
    } else if (a == "--summary") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return usage_error("kestrel: option '--summary' needs a file name");
      o.summary = args[++i];
    } else if (a.starts_with("--summary=")) {
      o.summary = a.substr(10);
      if (o.summary.empty()) return usage_error("kestrel: option '--summary' needs a file name");
    } else if (a == "-j" || a == "--jobs") {
      if (i + 1 >= args.size()) return usage_error("kestrel: option '" + a + "' needs a number of jobs");
      if (!parse_jobs(args[++i], o.jobs)) return usage_error("kestrel: invalid number of jobs '" + args[i] + "'");
    } else if (a.starts_with("--jobs=") || (a.starts_with("-j") && a.size() > 2 && a[2] != '-')) {
      const std::string_view n = std::string_view(a).substr(a[1] == 'j' ? 2 : 7);
      if (!parse_jobs(n, o.jobs)) return usage_error("kestrel: invalid number of jobs '" + std::string(n) + "'");
    } else {
      return usage_error("kestrel: unknown option '" + a + "'");
    }
  }
  return o;
}

RunTarget comline(const std::filesystem::path& dir, const std::string& arg) {
  RunTarget r;
  r.given = arg;
  // A name that begins with a blank is no name (the default stands).
  if (arg.empty() || arg.front() == ' ') {
    r.folder = dir;
    r.cfname = "AERMOD.INP";
    r.folder_form = true;
    return r;
  }
  const std::filesystem::path given = io::path_from_utf8(arg);
  std::error_code ec;
  std::filesystem::path folder;
  if (std::filesystem::is_directory(dir / given, ec)) {
    folder = given;
    r.cfname = "AERMOD.INP";
    r.folder_form = true;
  } else {
    folder = given.parent_path();
    r.cfname = io::utf8_of(given.filename());
  }
  r.folder = folder.empty() ? dir : dir / folder;
  // A control file here keeps today's names, byte for byte.
  if (!folder.empty() && !std::filesystem::equivalent(r.folder, dir, ec)) {
    r.prefix = io::utf8_of(folder);
    if (r.prefix.back() != '/' && r.prefix.back() != '\\') r.prefix.push_back('/');
  }
  return r;
}

}  // namespace kestrel
