#include "app/preflight.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <span>
#include <system_error>
#include <vector>

#include "base/io_error.hpp"
#include "base/report.hpp"
#include "base/text.hpp"
#include "convert/postfile_job.hpp"
#include "io/crc32.hpp"
#include "io/files.hpp"
#include "io/line_reader.hpp"
#include "io/names.hpp"
#include "io/platform.hpp"
#include "setup/setup.hpp"

namespace kestrel {

namespace {

// The CRC-32 and size the list file gives for each dataset: its " CRC-32 of
// <name>: <hex>, <n> bytes" line, taken only right after the dataset's own
// " Dataset <name>: ..." line.
std::map<std::string, io::FileCrc> recorded_crcs(std::span<const std::string> lines) {
  constexpr std::string_view crc_lead = " CRC-32 of ";
  std::map<std::string, io::FileCrc> crcs;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (!line.starts_with(crc_lead)) continue;
    line.remove_prefix(crc_lead.size());
    // The name may hold ": " (a drive); what follows the last one does not.
    const std::size_t colon = line.rfind(": ");
    if (colon == std::string_view::npos) continue;
    const std::string name(line.substr(0, colon));
    if (!lines[i - 1].starts_with(" Dataset " + name + ": ")) continue;
    std::string_view rest = line.substr(colon + 2);
    io::FileCrc crc;
    const char* end = rest.data() + rest.size();
    const auto hex = std::from_chars(rest.data(), end, crc.crc, 16);
    if (hex.ec != std::errc{} || hex.ptr != rest.data() + 8) continue;
    rest.remove_prefix(8);
    if (!rest.starts_with(", ")) continue;
    rest.remove_prefix(2);
    const auto size = std::from_chars(rest.data(), end, crc.size);
    if (size.ec != std::errc{} || std::string_view(size.ptr, end) != " bytes") continue;
    crcs[name] = crc;
  }
  return crcs;
}

using Time = std::filesystem::file_time_type;

bool newer_or_equal(const std::filesystem::path& p, Time than) {
  std::error_code ec;
  const Time t = std::filesystem::last_write_time(p, ec);
  return !ec && t >= than;
}

}  // namespace

std::vector<std::string> inp_files(const std::filesystem::path& folder) {
  std::vector<std::string> inp;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = io::utf8_of(it->path().filename());
    std::string ext = name.size() > 4 ? name.substr(name.size() - 4) : std::string();
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (ext == ".INP" && it->is_regular_file(ec)) inp.push_back(name);
  }
  std::sort(inp.begin(), inp.end());
  return inp;
}

std::string no_aermod_inp(const std::filesystem::path& folder, const std::string& shown, const std::string& prefix) {
  const std::vector<std::string> inp = inp_files(folder);
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
    std::vector<std::string> lines;
    std::string raw, last;
    while (in.next(raw)) {
      if (!trim(raw).empty()) last = std::string(trim(raw));
      lines.push_back(std::move(raw));
    }
    if (last != "NORMAL TERMINATION") return std::nullopt;
    const auto recorded = recorded_crcs(lines);

    // The inputs as the run would read them now.
    SilentReport quiet;
    const auto ctrl = setup(folder, cfname, quiet);
    if (!ctrl.ok()) return std::nullopt;
    const std::vector<PostfileJob> jobs = postfile_jobs(*ctrl, folder);
    std::vector<std::filesystem::path> inputs = {control};
    inputs.insert(inputs.end(), ctrl->included.begin(), ctrl->included.end());
    for (const PostfileJob& job : jobs) inputs.push_back(job.path);
    Time newest = Time::min();
    for (const auto& p : inputs) {
      std::error_code ec;
      const Time t = std::filesystem::last_write_time(p, ec);
      if (ec) return std::nullopt;
      newest = std::max(newest, t);
    }
    // Every dataset the control file asks for now, as its last conversion
    // wrote it: the CRC-32 of its bytes read now proves it, whatever its time.
    std::int64_t kept = 0;
    for (const PostfileJob& job : jobs) {
      for (const Output& o : job.outputs) {
        const auto at = recorded.find(o.shown);
        if (at == recorded.end() || !newer_or_equal(o.path, newest)) return std::nullopt;
        std::error_code ec;
        if (std::filesystem::file_size(o.path, ec) != at->second.size || ec) return std::nullopt;
        if (io::crc32_of_file(o.path, file_label("dataset", o.shown)) != at->second) return std::nullopt;
        ++kept;
      }
    }
    return kept;
  } catch (const IoError&) {
    return std::nullopt;
  }
}

std::optional<std::string> unfinished_aermod(const std::filesystem::path& folder, const std::string& cfname,
                                             std::span<const std::filesystem::path> postfiles) {
  if (postfiles.empty()) return std::nullopt;
  const std::size_t dot = cfname.rfind('.');
  std::vector<std::string> names = {(dot == std::string::npos ? cfname : cfname.substr(0, dot)) + ".OUT"};
  if (names.front() != "AERMOD.OUT") names.push_back("AERMOD.OUT");
  try {
    for (const std::string& name : names) {
      const std::filesystem::path listing = io::resolve_name(folder, name, "AERMOD listing");
      std::error_code ec;
      if (!std::filesystem::is_regular_file(listing, ec)) continue;
      const Time written = std::filesystem::last_write_time(listing, ec);
      if (ec) return std::nullopt;
      // An older listing is of an earlier run of AERMOD: it says nothing of these POSTFILEs.
      for (const auto& p : postfiles) {
        const Time t = std::filesystem::last_write_time(p, ec);
        if (ec || t > written) return std::nullopt;
      }
      // AERMOD's last lines: the message summary, then its closing banner.
      io::FileSource src(listing, file_label("AERMOD listing", name));
      constexpr std::uint64_t kTail = 64 * 1024;
      const std::uint64_t from = src.size() > kTail ? src.size() - kTail : 0;
      std::string tail(static_cast<std::size_t>(src.size() - from), '\0');
      tail.resize(src.read_at(from, std::as_writable_bytes(std::span(tail.data(), tail.size()))));
      if (tail.find("AERMOD Finishes Successfully") != std::string::npos) return std::nullopt;
      return io::utf8_of(listing.filename());
    }
  } catch (const IoError&) {
    // A listing that cannot be read says nothing either way.
  }
  return std::nullopt;
}

}  // namespace kestrel
