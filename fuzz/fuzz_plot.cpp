// A fuzzed PLOT POSTFILE: every build of the scan (AVX-512, AVX2, baseline,
// field by field) must read it alike, and the reader must give the same
// records and ending whatever its segment size, with or without its second
// thread.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "convert/plot_reader.hpp"
#include "convert/plot_scan.hpp"

namespace {

using kestrel::plot::Scan;

void same_scan(const Scan& a, const Scan& b) {
  bool same = a.entries == b.entries && a.run_count == b.run_count && a.lines == b.lines && a.stop == b.stop &&
              a.stop_offset == b.stop_offset && a.first_fixed == b.first_fixed;
  for (std::uint32_t i = 0; same && i < a.entries; ++i)
    same = std::memcmp(&a.values[i * a.columns], &b.values[i * b.columns], 4 * a.columns) == 0 &&
           a.offsets[i] == b.offsets[i];
  for (std::uint32_t i = 0; same && i < a.run_count; ++i)
    same = a.runs[i].key == b.runs[i].key && a.runs[i].first_entry == b.runs[i].first_entry &&
           a.runs[i].line == b.runs[i].line;
  if (!same) __builtin_trap();
}

std::string records(const std::uint8_t* data, std::size_t size, kestrel::PlotBuffers* buffers) {
  static const std::vector<double> x = {0.0, 100.0, -50.0};
  static const std::vector<double> y = {0.0, 0.0, 25.0};
  kestrel::io::MemorySource src({reinterpret_cast<const std::byte*>(data), size});
  std::optional<kestrel::PlotReader> holder;
  kestrel::PlotReader& r = buffers != nullptr ? holder.emplace(src, x, y, *buffers) : holder.emplace(src, x, y);
  std::string out;
  std::byte values[12];
  for (;;) {
    const auto res = r.next();
    if (res != kestrel::PlotReader::Result::record) {
      out += res == kestrel::PlotReader::Result::failure
                 ? "F" + std::to_string(r.error_line()) + std::string(r.error_text())
                 : (r.ended_inside_record() ? "C" : "E");
      return out + std::to_string(r.first_misplaced()) + (r.fixed_point_values() ? "f" : "");
    }
    r.convert_into(values, 1.0F);
    out += std::to_string(r.kurdat()) + std::string(r.grpid()) + std::to_string(r.kave()) + (r.longer() ? "+" : "-");
    out.append(reinterpret_cast<const char*>(values), sizeof values);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1U << 20)) return 0;
  std::vector<char> text(kestrel::plot::kLead + size + kestrel::plot::kTail);
  if (size != 0) std::memcpy(text.data() + kestrel::plot::kLead, data, size);
  const char* t = text.data() + kestrel::plot::kLead;
  using kestrel::plot::Build;
  // Lines of one value column, and of three as a deposition run writes them.
  for (const std::uint32_t columns : {1U, 3U}) {
    Scan fields(size / 8 + 4, size / 8 + 4);
    fields.columns = columns;
    kestrel::plot::scan_with(Build::fields, t, 0, size, fields);
    for (const Build b : {Build::baseline, Build::avx2, Build::avx512}) {
      Scan other(size / 8 + 4, size / 8 + 4);
      other.columns = columns;
      if (kestrel::plot::scan_with(b, t, 0, size, other)) same_scan(other, fields);
    }
  }

  kestrel::PlotBuffers small(1024, 2);
  kestrel::PlotBuffers one_thread(1024, 3, false);
  const std::string whole = records(data, size, nullptr);
  if (whole != records(data, size, &small) || whole != records(data, size, &one_thread)) __builtin_trap();
  return 0;
}
