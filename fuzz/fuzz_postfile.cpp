// The whole conversion of a fuzzed POSTFILE against a fixed, valid control
// record (with and without an ME STARTEND line, as a formatted POSTFILE, and
// as a deposition run's POSTFILE of either form).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "convert/comp.hpp"
#include "base/io_error.hpp"
#include "work_dir.hpp"

namespace {

kestrel::Ctrl control(bool startend, bool plot, std::vector<kestrel::dataset::OutputType> types = {}) {
  kestrel::Ctrl c;
  c.receptors = {{0.0F, 0.0F, 0.0F, 0.0, 0.0}, {4.0F, 1.0F, 0.0F, 4000.0, 1000.0}, {-1.0F, 2.5F, 0.0F, -1000.0, 2500.0}};
  c.isyr = 88, c.ismo = 1, c.isday = 1, c.isjul = 1, c.ishr = 1;
  c.ieyr = 88, c.iemo = 1, c.ieday = 2, c.iejul = 2, c.iehr = 24;
  c.lstartend = startend;
  c.aernam = {{"POST.BIN", plot, "ALL"}};
  c.aerspec = "SO2";
  if (!types.empty()) c.types = std::move(types);
  return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto& dir = kestrel::fuzz::work_dir("post");
  {
    std::ofstream out(dir / "POST.BIN", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  // The file read as unformatted with and without STARTEND, and as formatted.
  static const kestrel::Ctrl with_startend = control(true, false);
  static const kestrel::Ctrl without_startend = control(false, false);
  static const kestrel::Ctrl formatted = control(false, true);
  using T = kestrel::dataset::OutputType;
  static const kestrel::Ctrl deposition = control(true, false, {T::conc, T::ddep, T::wdep});
  static const kestrel::Ctrl deposition_plot = control(false, true, {T::ddep, T::wdep});
  for (const kestrel::Ctrl* c : {&with_startend, &without_startend, &formatted, &deposition, &deposition_plot}) {
    const kestrel::Ctrl& ctrl = *c;
    kestrel::SilentReport report;
    try {
      (void)kestrel::comp(ctrl, dir, report);
    } catch (const kestrel::IoError&) {
    }
  }
  return 0;
}
