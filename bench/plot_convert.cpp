// Converts every formatted POSTFILE POST*.PLT of a generated run folder into
// a dataset beside it, the way kestrel converts an unformatted one: the
// header, then per record the period's times and source records and the
// values record, written through the same record writer and dataset file.
// The receptors come from the folder's AERMOD.INP (inline DISCCART lines).
// This stands in for kestrel on PLOT POSTFILEs until the conversion reads
// them itself.
//
// usage: plot_convert DIR [SEGMENT_KIB [SLOTS [THREADS]]]
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "convert/plot_reader.hpp"
#include "dataset/dataset_file.hpp"
#include "dataset/header.hpp"
#include "dataset/period.hpp"
#include "io/files.hpp"
#include "io/record_io.hpp"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: plot_convert DIR [SEGMENT_KIB [SLOTS [THREADS]]]\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::vector<double> x, y;
  std::vector<float> xk, yk, zk;
  std::ifstream inp(dir / "AERMOD.INP");
  for (std::string line; std::getline(inp, line);) {
    std::istringstream words(line);
    std::string key;
    double a = 0, b = 0, c = 0;
    if (words >> key >> a >> b >> c && key == "DISCCART") {
      x.push_back(a);
      y.push_back(b);
      xk.push_back(static_cast<float>(a / 1000));
      yk.push_back(static_cast<float>(b / 1000));
      zk.push_back(static_cast<float>(c));
    }
  }
  kestrel::dataset::HeaderArgs header;
  header.xrec = xk;
  header.yrec = yk;
  header.zrec = zk;
  header.ver = "1.21        ";
  header.level = "100301      ";
  header.speclev = "SO2             1";
  header.csrcnam = "TOTAL           ";
  header.atitle = {std::string(80, ' '), std::string(80, ' ')};
  const std::string speclev = header.speclev;

  kestrel::PlotBuffers buffers(argc > 2 ? std::stoul(argv[2]) << 10 : kestrel::PlotBuffers::kSegment,
                               argc > 3 ? std::stoul(argv[3]) : kestrel::PlotBuffers::kSlots,
                               argc > 4 ? std::stoul(argv[4]) > 1 : true);
  kestrel::io::RecordWriter writer;
  writer.reserve_for(8 + 12 * x.size() + 4096);
  int status = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("POST", 0) != 0 || e.path().extension() != ".PLT") continue;
    kestrel::io::FileSource src(e.path(), name);
    kestrel::dataset::DatasetFile ds(e.path().string() + ".gdx", name + ".gdx", writer);
    auto& io8 = ds.records();
    kestrel::dataset::wrout1(io8, header);
    kestrel::PlotReader reader(src, x, y, buffers);
    kestrel::PlotReader::Result r;
    while ((r = reader.next()) == kestrel::PlotReader::Result::record) {
      const kestrel::DateHour end{1988, reader.kurdat() / 100 % 100, reader.kurdat() % 100};
      kestrel::dataset::write_period_head(io8, end, end, {0.0F, 0.0F});
      io8.begin().text(speclev, 15);
      reader.convert_into(io8.grow(4 * x.size()), 1.0e-6F);
      io8.end();
    }
    if (r == kestrel::PlotReader::Result::failure) {
      std::fprintf(stderr, "%s: line %lld cannot be read: %.*s\n", name.c_str(),
                   static_cast<long long>(reader.error_line()), static_cast<int>(reader.error_text().size()),
                   reader.error_text().data());
      status = 1;
    }
    if (reader.first_misplaced() != 0)
      std::fprintf(stderr, "%s: receptor %d misplaced\n", name.c_str(), reader.first_misplaced());
    ds.close();
  }
  return status;
}
