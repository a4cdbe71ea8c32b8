// Writes an AERMOD-like run folder for benchmarks: AERMOD.INP with R inline
// DISCCART receptors, ME STARTEND, POLLUTID and F POSTFILE lines, and F
// POSTFILEs of H hourly records framed as AERMOD writes them.
//
// usage: gen_run DIR RECEPTORS HOURS [FILES [REALSIZE]]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

void put32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Hours of 1988 onward as YYMMDDHH stamps (hours 1 to 24).
std::int32_t stamp(int hour_index) {
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int day = hour_index / 24;
  const int hr = hour_index % 24 + 1;
  int year = 88;
  for (;;) {
    const int ylen = (year % 4 == 0) ? 366 : 365;
    if (day < ylen) break;
    day -= ylen;
    year = (year + 1) % 100;
  }
  int month = 0;
  for (;;) {
    int mlen = kDays[month];
    if (month == 1 && year % 4 != 0) mlen = 28;
    if (day < mlen) break;
    day -= mlen;
    ++month;
  }
  return year * 1000000 + (month + 1) * 10000 + (day + 1) * 100 + hr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: gen_run DIR RECEPTORS HOURS [FILES [REALSIZE]]\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  const int nrec = std::atoi(argv[2]);
  const int hours = std::atoi(argv[3]);
  const int files = argc > 4 ? std::atoi(argv[4]) : 1;
  const int realsize = argc > 5 ? std::atoi(argv[5]) : 8;
  std::filesystem::create_directories(dir);

  std::string inp;
  inp += "CO STARTING\n   TITLEONE  Benchmark run\n   MODELOPT  DFAULT CONC\n   POLLUTID  SO2\nCO FINISHED\n";
  inp += "RE STARTING\n";
  const int side = static_cast<int>(std::ceil(std::sqrt(nrec)));
  char line[128];
  for (int i = 0; i < nrec; ++i) {
    std::snprintf(line, sizeof line, "   DISCCART  %10.2f  %10.2f  %7.2f\n", (i % side) * 100.0 - 5000.0,
                  (i / side) * 100.0 - 5000.0, (i % 17) * 1.5);
    inp += line;
  }
  inp += "RE FINISHED\nME STARTING\n";
  const std::int32_t last = stamp(hours - 1);
  std::snprintf(line, sizeof line, "   STARTEND  88 01 01 01  %02d %02d %02d %02d\n", last / 1000000, last / 10000 % 100,
                last / 100 % 100, last % 100);
  inp += line;
  inp += "ME FINISHED\nOU STARTING\n";
  for (int f = 0; f < files; ++f) {
    std::snprintf(line, sizeof line, "   POSTFILE  1  ALL  UNFORM  POST%03d.BIN  %d\n", f + 1, 31 + f % 60);
    inp += line;
  }
  inp += "OU FINISHED\n";
  std::FILE* c = std::fopen((dir / "AERMOD.INP").c_str(), "wb");
  std::fwrite(inp.data(), 1, inp.size(), c);
  std::fclose(c);

  const std::size_t payload = 16 + static_cast<std::size_t>(realsize) * nrec;
  std::vector<unsigned char> rec(payload + 8);
  put32(rec.data(), static_cast<std::uint32_t>(payload));
  put32(rec.data() + 4 + payload, static_cast<std::uint32_t>(payload));
  put32(rec.data() + 8, 1);
  std::memcpy(rec.data() + 12, "ALL     ", 8);
  std::vector<unsigned char> block;
  for (int f = 0; f < files; ++f) {
    char name[32];
    std::snprintf(name, sizeof name, "POST%03d.BIN", f + 1);
    std::FILE* out = std::fopen((dir / name).c_str(), "wb");
    for (int h = 0; h < hours; ++h) {
      put32(rec.data() + 4, static_cast<std::uint32_t>(stamp(h)));
      for (int r = 0; r < nrec; ++r) {
        // A plume-like value that changes with the hour and the receptor.
        const double v = 50.0 * std::exp(-((r + h * 7) % 997) / 120.0);
        unsigned char* p = rec.data() + 20 + static_cast<std::size_t>(realsize) * r;
        if (realsize == 8) {
          std::uint64_t u;
          std::memcpy(&u, &v, 8);
          put32(p, static_cast<std::uint32_t>(u));
          put32(p + 4, static_cast<std::uint32_t>(u >> 32));
        } else {
          const float fv = static_cast<float>(v);
          std::uint32_t u;
          std::memcpy(&u, &fv, 4);
          put32(p, u);
        }
      }
      block.insert(block.end(), rec.begin(), rec.end());
      if (block.size() >= (std::size_t{4} << 20)) {
        std::fwrite(block.data(), 1, block.size(), out);
        block.clear();
      }
    }
    std::fwrite(block.data(), 1, block.size(), out);
    block.clear();
    std::fclose(out);
  }
  return 0;
}
