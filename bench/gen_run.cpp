// Writes an AERMOD-like run folder for benchmarks: AERMOD.INP with R inline
// DISCCART receptors, ME STARTEND, POLLUTID and F POSTFILE lines, and F
// POSTFILEs of H hourly records framed as AERMOD writes them: unformatted
// with 8-byte or 4-byte reals (POSTnnn.BIN), or formatted as PLOT files
// (POSTnnn.PLT) with the values in F13.5 ("plot") or E13.6 ("exp").
//
// usage: gen_run DIR RECEPTORS HOURS [FILES [8|4|plot|exp]]
#include <algorithm>
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

// A receptor's place and a plume-like value that changes with the hour and
// the receptor, the same in every form.
double receptor_x(int i, int side) { return (i % side) * 100.0 - 5000.0; }
double receptor_y(int i, int side) { return (i / side) * 100.0 - 5000.0; }
double value_at(int r, int h) { return 50.0 * std::exp(-((r + h * 7) % 997) / 120.0); }

// Fortran's E13.6: 0.ddddddE+xx, right-justified.
void put_e13_6(char (&out)[32], double v) {
  if (v == 0.0) {
    std::snprintf(out, sizeof out, "%13s", "0.000000E+00");
    return;
  }
  char d[32];
  std::snprintf(d, sizeof d, "%.5E", std::fabs(v));  // d.dddddE+xx
  const int exp10 = std::max(-99, std::min(99, std::atoi(d + 8) + 1));
  std::snprintf(out, sizeof out, "%s0.%c%.5sE%c%02d", v < 0 ? "-" : " ", d[0], d + 2, exp10 < 0 ? '-' : '+',
                std::abs(exp10));
}

void write_plot(const std::filesystem::path& path, int nrec, int hours, bool exp_form) {
  const int side = static_cast<int>(std::ceil(std::sqrt(nrec)));
  std::FILE* out = std::fopen(path.c_str(), "wb");
  std::fprintf(out,
               "* AERMOD ( 24142 ): Benchmark run\n* AERMET ( 24142):\n* MODELING OPTIONS USED:   CONC\n"
               "*         POST/PLOT FILE OF CONCURRENT  1-HR VALUES FOR SOURCE GROUP: ALL     \n"
               "*         FOR A TOTAL OF %5d RECEPTORS.\n"
               "*         FORMAT: (%s3(1X,F8.2),2X,A6,2X,A8,2X,I8.8,2X,A8)\n"
               "*        X             Y      AVERAGE CONC    ZELEV    ZHILL    ZFLAG    AVE     GRP"
               "       DATE     NET ID\n"
               "* ____________  ____________  ____________   ______   ______   ______  ______  ________"
               "  ________  ________\n",
               nrec, exp_form ? "2(1X,F13.5),1X,E13.6," : "3(1X,F13.5),");
  std::string block;
  char line[160];
  char value[32];
  for (int h = 0; h < hours; ++h) {
    const std::int32_t date = stamp(h);
    for (int r = 0; r < nrec; ++r) {
      const double v = value_at(r, h);
      if (exp_form) {
        put_e13_6(value, v);
      } else {
        std::snprintf(value, sizeof value, "%13.5f", v);
      }
      const int n = std::snprintf(line, sizeof line, " %13.5f %13.5f %s %8.2f %8.2f %8.2f  %6s  %-8s  %08d  %-8s\n",
                                  receptor_x(r, side), receptor_y(r, side), value, (r % 17) * 1.5, 0.0, 0.0, "1-HR",
                                  "ALL", static_cast<int>(date), "");
      block.append(line, static_cast<std::size_t>(n));
    }
    if (block.size() >= (std::size_t{4} << 20)) {
      std::fwrite(block.data(), 1, block.size(), out);
      block.clear();
    }
  }
  std::fwrite(block.data(), 1, block.size(), out);
  std::fclose(out);
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
  const std::string form = argc > 5 ? argv[5] : "8";
  const bool plot = form == "plot" || form == "exp";
  const int realsize = plot ? 8 : std::atoi(form.c_str());
  std::filesystem::create_directories(dir);

  std::string inp;
  inp += "CO STARTING\n   TITLEONE  Benchmark run\n   MODELOPT  DFAULT CONC\n   POLLUTID  SO2\nCO FINISHED\n";
  inp += "RE STARTING\n";
  const int side = static_cast<int>(std::ceil(std::sqrt(nrec)));
  char line[128];
  for (int i = 0; i < nrec; ++i) {
    std::snprintf(line, sizeof line, "   DISCCART  %10.2f  %10.2f  %7.2f\n", receptor_x(i, side), receptor_y(i, side),
                  (i % 17) * 1.5);
    inp += line;
  }
  inp += "RE FINISHED\nME STARTING\n";
  const std::int32_t last = stamp(hours - 1);
  std::snprintf(line, sizeof line, "   STARTEND  88 01 01 01  %02d %02d %02d %02d\n", last / 1000000, last / 10000 % 100,
                last / 100 % 100, last % 100);
  inp += line;
  inp += "ME FINISHED\nOU STARTING\n";
  for (int f = 0; f < files; ++f) {
    std::snprintf(line, sizeof line, "   POSTFILE  1  ALL  %s  POST%03d.%s  %d\n", plot ? "PLOT  " : "UNFORM", f + 1,
                  plot ? "PLT" : "BIN", 31 + f % 60);
    inp += line;
  }
  inp += "OU FINISHED\n";
  std::FILE* c = std::fopen((dir / "AERMOD.INP").c_str(), "wb");
  std::fwrite(inp.data(), 1, inp.size(), c);
  std::fclose(c);

  if (plot) {
    for (int f = 0; f < files; ++f) {
      char name[32];
      std::snprintf(name, sizeof name, "POST%03d.PLT", f + 1);
      write_plot(dir / name, nrec, hours, form == "exp");
    }
    return 0;
  }

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
        const double v = value_at(r, h);
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
