#include "inspect/origin.hpp"

#include <algorithm>
#include <cctype>

#include "inspect/failure.hpp"

namespace kestrel::inspect {

namespace {

namespace fs = std::filesystem;

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The dataset names a POSTFILE line gives (upper case): the POSTFILE itself
// (type empty), <POSTFILE>[.<group>].gdx and the flux datasets beside it.
std::optional<std::string> type_named(const std::string& file, const std::string& postfile, const std::string& group) {
  if (file == postfile) return std::string();
  static const std::pair<const char*, const char*> kEnds[] = {
      {".GDX", "CONC"}, {".TFLX.GDX", "DEPOS"}, {".DFLX.GDX", "DDEP"}, {".WFLX.GDX", "WDEP"}};
  for (const auto& [end, type] : kEnds) {
    if (file == postfile + end || file == postfile + "." + group + end) return std::string(type);
  }
  return std::nullopt;
}

}  // namespace

std::vector<fs::path> control_candidates(const fs::path& dir) {
  std::vector<fs::path> listed, inp;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir.empty() ? fs::path(".") : dir, ec)) {
    const std::string ext = upper(e.path().extension().string());
    if (ext == ".KST") listed.push_back(dir / e.path().stem());
    if (ext == ".INP" && upper(e.path().filename().string()) != "AERMOD.INP") inp.push_back(dir / e.path().filename());
  }
  std::sort(listed.begin(), listed.end());
  std::sort(inp.begin(), inp.end());
  std::vector<fs::path> all{dir / "AERMOD.INP"};
  all.insert(all.end(), listed.begin(), listed.end());
  all.insert(all.end(), inp.begin(), inp.end());
  return all;
}

std::optional<Origin> origin_in(const std::string& control, const std::string& file) {
  ControlFile c;
  try {
    c = read_control_file(control);
  } catch (const Failure&) {
    return std::nullopt;  // not a control file kestrel reads
  }
  const std::string name = upper(fs::path(file).filename().string());
  for (std::size_t i = 0; i < c.postfiles.size(); ++i) {
    const std::string& named = c.postfiles[i];
    const std::string postfile = upper(named.substr(named.find_last_of("/\\") + 1));
    if (const auto type = type_named(name, postfile, upper(c.groups[i]))) {
      std::string group = upper(c.groups[i]);
      const bool plot = c.plot[i];
      return Origin{std::move(c), control, std::move(group), *type, plot};
    }
  }
  return std::nullopt;
}

std::optional<Origin> origin_beside(const std::string& file) {
  std::error_code ec;
  for (const fs::path& c : control_candidates(fs::path(file).parent_path())) {
    if (!fs::is_regular_file(c, ec)) continue;
    if (auto o = origin_in(c.string(), file)) return o;
  }
  return std::nullopt;
}

}  // namespace kestrel::inspect
