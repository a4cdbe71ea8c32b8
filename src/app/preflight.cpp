#include "app/preflight.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <system_error>
#include <vector>

#include "base/io_error.hpp"
#include "base/report.hpp"
#include "base/text.hpp"
#include "convert/postfile_job.hpp"
#include "dataset/period.hpp"
#include "io/files.hpp"
#include "io/line_reader.hpp"
#include "io/platform.hpp"
#include "setup/setup.hpp"

namespace kestrel {

namespace {

// " Dataset <name>: <p> periods of <n> receptors, ending ..." or
// " Dataset <name>: no periods of <n> receptors".
struct DatasetLine {
  std::string name;
  std::uint64_t periods = 0;
  std::uint64_t receptors = 0;
};

bool parse_number(std::string_view& s, std::uint64_t& v) {
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc{}) return false;
  s.remove_prefix(static_cast<std::size_t>(end - s.data()));
  return true;
}

std::optional<DatasetLine> dataset_line(std::string_view line) {
  constexpr std::string_view lead = " Dataset ";
  if (!line.starts_with(lead)) return std::nullopt;
  line.remove_prefix(lead.size());
  // The name may hold ": " (a drive); what follows the last one does not.
  const std::size_t colon = line.rfind(": ");
  if (colon == std::string_view::npos) return std::nullopt;
  DatasetLine d;
  d.name = std::string(line.substr(0, colon));
  std::string_view rest = line.substr(colon + 2);
  if (rest.starts_with("no periods of ")) {
    rest.remove_prefix(14);
  } else {
    if (!parse_number(rest, d.periods)) return std::nullopt;
    if (!rest.starts_with(" period")) return std::nullopt;
    rest.remove_prefix(rest.find(" of ") == std::string_view::npos ? rest.size() : rest.find(" of ") + 4);
  }
  if (!parse_number(rest, d.receptors) || !rest.starts_with(" receptor")) return std::nullopt;
  return d;
}

using Time = std::filesystem::file_time_type;

bool newer_or_equal(const std::filesystem::path& p, Time than) {
  std::error_code ec;
  const Time t = std::filesystem::last_write_time(p, ec);
  return !ec && t >= than;
}

}  // namespace

std::string no_aermod_inp(const std::filesystem::path& folder, const std::string& shown, const std::string& prefix) {
  std::vector<std::string> inp;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = io::utf8_of(it->path().filename());
    std::string ext = name.size() > 4 ? name.substr(name.size() - 4) : std::string();
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (ext == ".INP" &&
        it->is_regular_file(ec)) {
      inp.push_back(name);
    }
  }
  std::sort(inp.begin(), inp.end());
  std::string text = shown + " has no AERMOD.INP; ";
  if (inp.empty()) return text + "no .inp file";
  text += inp.size() == 1 ? "its control file: " : "its control files: ";
  for (std::size_t i = 0; i < inp.size(); ++i) text += (i > 0 ? ", " : "") + inp[i];
  return text + " (give it as " + prefix + inp.front() + ")";
}

std::optional<std::int64_t> up_to_date(const std::filesystem::path& folder, const std::string& cfname) {
  try {
    const std::filesystem::path control = folder / io::path_from_utf8(cfname);
    const std::filesystem::path list = folder / io::path_from_utf8(cfname + ".kst");
    io::LineReader in(io::open_for_reading(list, "list file"), "list file");
    std::vector<DatasetLine> datasets;
    std::string raw, last;
    while (in.next(raw)) {
      if (auto d = dataset_line(raw)) datasets.push_back(std::move(*d));
      if (!trim(raw).empty()) last = std::string(trim(raw));
    }
    if (last != "NORMAL TERMINATION") return std::nullopt;

    // The inputs as the run would read them now.
    SilentReport quiet;
    const auto ctrl = setup(folder, cfname, quiet);
    if (!ctrl.ok()) return std::nullopt;
    std::vector<std::filesystem::path> inputs = {control};
    inputs.insert(inputs.end(), ctrl->included.begin(), ctrl->included.end());
    for (const PostfileJob& job : postfile_jobs(*ctrl, folder)) inputs.push_back(job.path);
    Time newest = Time::min();
    for (const auto& p : inputs) {
      std::error_code ec;
      const Time t = std::filesystem::last_write_time(p, ec);
      if (ec) return std::nullopt;
      newest = std::max(newest, t);
    }
    for (const DatasetLine& d : datasets) {
      const std::filesystem::path p = folder / io::path_from_utf8(d.name);
      std::error_code ec;
      if (std::filesystem::file_size(p, ec) != dataset::dataset_bytes(d.receptors, d.periods) || ec) return std::nullopt;
      if (!newer_or_equal(p, newest)) return std::nullopt;
    }
    return static_cast<std::int64_t>(datasets.size());
  } catch (const IoError&) {
    return std::nullopt;
  }
}

}  // namespace kestrel
