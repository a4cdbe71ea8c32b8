// The whole SETUP phase on a fuzzed control file and receptor file. The
// input is the control file, then optionally "\n#RECEPTORS#\n" and the text
// of the receptor file RECS.DAT.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <string_view>

#include "base/io_error.hpp"
#include "setup/setup.hpp"
#include "work_dir.hpp"

namespace {

void write(const std::filesystem::path& p, std::string_view s) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(s.data(), static_cast<std::streamsize>(s.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  constexpr std::string_view kSplit = "\n#RECEPTORS#\n";
  const std::size_t at = input.find(kSplit);
  const auto& dir = kestrel::fuzz::work_dir("setup");
  write(dir / "AERMOD.INP", input.substr(0, at));
  write(dir / "RECS.DAT", at == std::string_view::npos ? std::string_view() : input.substr(at + kSplit.size()));
  kestrel::SilentReport report;
  try {
    const auto ctrl = kestrel::setup(dir, "AERMOD.INP", report);
    // A SETUP that did not halt leaves a record COMP can rely on.
    if (ctrl.ok() && (ctrl->receptors.empty() || ctrl->receptors.size() > 10000 || ctrl->aernam.size() > 100)) {
      std::abort();
    }
  } catch (const kestrel::IoError&) {
  }
  return 0;
}
