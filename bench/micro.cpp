// Micro-benchmarks of the hot pieces: record framing of a 10,000-receptor
// record, the CRC-32 of written bytes, the value conversion, and the
// control-file line scan.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <fstream>
#include <vector>

#include "convert/plot_scan.hpp"
#include "convert/postfile.hpp"
#include "convert/scale.hpp"
#include "io/crc32.hpp"
#include "io/record_io.hpp"
#include "setup/ctrl.hpp"
#include "setup/setup.hpp"

namespace {

using kestrel::io::MemorySink;
using kestrel::io::MemorySource;
using kestrel::io::RecordReader;
using kestrel::io::RecordWriter;

constexpr int kReceptors = 10000;

// A POSTFILE of `records` records of 8-byte reals.
std::vector<std::byte> postfile(int records) {
  MemorySink sink;
  RecordWriter w(sink);
  for (int h = 0; h < records; ++h) {
    w.begin().i32(88010101 + h).i32(1).text("ALL", 8);
    for (int k = 0; k < kReceptors; ++k) w.f64(0.001 * (k + h));
    w.end();
  }
  w.flush();
  return sink.data;
}

void BM_ReadRecord(benchmark::State& state) {
  const auto file = postfile(16);
  std::vector<std::byte> dest(16 + 8 * kReceptors);
  for (auto _ : state) {
    MemorySource src(file);
    RecordReader r(src);
    while (r.read(dest) == kestrel::io::ReadOutcome::ok) benchmark::DoNotOptimize(dest.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(file.size()));
}
BENCHMARK(BM_ReadRecord);

void BM_WriteRecord(benchmark::State& state) {
  std::vector<float> values(kReceptors, 1.5F);
  for (auto _ : state) {
    MemorySink sink;
    sink.data.reserve(16 * (40015 + 8));
    RecordWriter w(sink);
    for (int i = 0; i < 16; ++i) w.begin().text("SO2           1", 15).f32s(values).end();
    w.flush();
    benchmark::DoNotOptimize(sink.data.data());
  }
  state.SetBytesProcessed(state.iterations() * 16 * (40015 + 8));
}
BENCHMARK(BM_WriteRecord);

// The CRC-32 every dataset's bytes pass through, over the writer's 1 MiB blocks.
void BM_Crc32(benchmark::State& state) {
  std::vector<std::byte> block(std::size_t{1} << 20);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::byte>(i * 2654435761U >> 13);
  kestrel::io::Crc32 crc;
  for (auto _ : state) {
    crc.update(block);
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(block.size()));
}
BENCHMARK(BM_Crc32);

void BM_ConvertValues(benchmark::State& state) {
  const auto file = postfile(16);
  std::vector<std::byte> out(4 * kReceptors);
  for (auto _ : state) {
    MemorySource src(file);
    kestrel::PostfileReader reader(src, kReceptors, "P");
    while (reader.next() == kestrel::PostfileReader::Result::record) {
      reader.convert_into(out.data(), kestrel::cfactor);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * 16 * kReceptors);
}
BENCHMARK(BM_ConvertValues);

// The scaling loop alone over one 8-byte record of 10,000 values (cache
// resident): the baseline build (SSE2) against the AVX one.
template <bool Wide>
void BM_ScaleValues(benchmark::State& state) {
  std::vector<std::byte> in(8 * kReceptors);
  for (int k = 0; k < kReceptors; ++k) kestrel::io::put_f64(in.data() + 8 * k, 1.0 + k * 0.37);
  std::vector<std::byte> out(4 * kReceptors);
  if (Wide && !kestrel::scale_values_wide(in.data(), kReceptors, true, kestrel::cfactor, out.data())) {
    state.SkipWithError("no AVX build or processor");
    return;
  }
  for (auto _ : state) {
    if constexpr (Wide) {
      kestrel::scale_values_wide(in.data(), kReceptors, true, kestrel::cfactor, out.data());
    } else {
      kestrel::scale_values_baseline(in.data(), kReceptors, true, kestrel::cfactor, out.data());
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * kReceptors);
}
BENCHMARK(BM_ScaleValues<false>)->Name("BM_ScaleValues/baseline");
BENCHMARK(BM_ScaleValues<true>)->Name("BM_ScaleValues/avx");

void BM_ControlFileScan(benchmark::State& state) {
  // 10,000 DISCCART lines and the usual keywords, read by the SETUP phase.
  const auto dir = std::filesystem::temp_directory_path() / "kestrel-micro-scan";
  std::filesystem::create_directories(dir);
  {
    std::ofstream f(dir / "AERMOD.INP");
    f << "CO STARTING\n   TITLEONE  Bench\n   MODELOPT  CONC\n   POLLUTID  SO2\nRE STARTING\n";
    for (int k = 0; k < kReceptors; ++k) f << "   DISCCART  " << k * 10.0 << "  " << -k * 5.0 << "  1.5\n";
    f << "ME STARTEND 88 1 1 88 12 31\nOU POSTFILE 1 ALL UNFORM P.BIN 31\n";
  }
  for (auto _ : state) {
    kestrel::SilentReport report;
    const auto ctrl = kestrel::setup(dir, "AERMOD.INP", report);
    benchmark::DoNotOptimize(ctrl.ok());
  }
  state.SetItemsProcessed(state.iterations() * kReceptors);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ControlFileScan);

// The scan of one 512 KiB segment of PLOT text (cache resident): AERMOD's
// layout with F13.5 and E13.6 values; the F13.5 lines shifted by one column,
// and with single blanks between the fields, which only the general masks
// read; each through the AVX-512, AVX2 and baseline (SSE2) builds and the
// field-by-field reference.
std::string plot_text(int form) {
  std::string text;
  char line[160];
  for (int k = 0; text.size() < (std::size_t{512} << 10) - 160; ++k) {
    const double v = 50.0 * std::exp(-(k % 997) / 120.0);
    const char* fmt = form == 0   ? " %13.5f %13.5f %13.5f %8.2f %8.2f %8.2f  %6s  %-8s  %08d  %-8s\n"
                      : form == 1 ? " %13.5f %13.5f %13.6E %8.2f %8.2f %8.2f  %6s  %-8s  %08d  %-8s\n"
                      : form == 2 ? "  %13.5f %13.5f %13.5f %8.2f %8.2f %8.2f  %6s  %-8s  %08d  %-8s\n"
                                  : " %.5f %.5f %.5f %.2f %.2f %.2f %s %s %08d %s\n";
    text += std::string(line, static_cast<std::size_t>(std::snprintf(line, sizeof line, fmt, k * 10.0 - 5000.0,
                                                                       -k * 5.0, v, 1.5, 0.0, 0.0, "1-HR", "ALL",
                                                                       88010101 + k / 1000, "")));
  }
  return text;
}

template <int Form, kestrel::plot::Build Build>
void BM_ScanPlot(benchmark::State& state) {
  const std::string body = plot_text(Form);
  std::string text = std::string(kestrel::plot::kLead, ' ') + body + std::string(kestrel::plot::kTail, ' ');
  const char* t = text.data() + kestrel::plot::kLead;
  kestrel::plot::Scan out(body.size() / 48, 1024);
  if (!kestrel::plot::scan_with(Build, t, 0, body.size(), out)) {
    state.SkipWithError("build not in this program or not for this processor");
    return;
  }
  for (auto _ : state) {
    kestrel::plot::scan_with(Build, t, 0, body.size(), out);
    benchmark::DoNotOptimize(out.values.get());
  }
  if (out.stop != kestrel::plot::Stop::end) state.SkipWithError("text not read whole");
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(body.size()));
}
using kestrel::plot::Build;
BENCHMARK(BM_ScanPlot<0, Build::avx512>)->Name("BM_ScanPlot/F13.5/avx512");
BENCHMARK(BM_ScanPlot<0, Build::avx2>)->Name("BM_ScanPlot/F13.5/avx2");
BENCHMARK(BM_ScanPlot<0, Build::baseline>)->Name("BM_ScanPlot/F13.5/baseline");
BENCHMARK(BM_ScanPlot<0, Build::fields>)->Name("BM_ScanPlot/F13.5/fields");
BENCHMARK(BM_ScanPlot<1, Build::avx512>)->Name("BM_ScanPlot/E13.6/avx512");
BENCHMARK(BM_ScanPlot<1, Build::avx2>)->Name("BM_ScanPlot/E13.6/avx2");
BENCHMARK(BM_ScanPlot<1, Build::baseline>)->Name("BM_ScanPlot/E13.6/baseline");
BENCHMARK(BM_ScanPlot<1, Build::fields>)->Name("BM_ScanPlot/E13.6/fields");
BENCHMARK(BM_ScanPlot<2, Build::avx512>)->Name("BM_ScanPlot/shifted/avx512");
BENCHMARK(BM_ScanPlot<2, Build::avx2>)->Name("BM_ScanPlot/shifted/avx2");
BENCHMARK(BM_ScanPlot<2, Build::baseline>)->Name("BM_ScanPlot/shifted/baseline");
BENCHMARK(BM_ScanPlot<3, Build::avx512>)->Name("BM_ScanPlot/single-blanks/avx512");
BENCHMARK(BM_ScanPlot<3, Build::baseline>)->Name("BM_ScanPlot/single-blanks/baseline");
BENCHMARK(BM_ScanPlot<3, Build::fields>)->Name("BM_ScanPlot/single-blanks/fields");

}  // namespace
