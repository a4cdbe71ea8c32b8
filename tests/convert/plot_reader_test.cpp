#include "convert/plot_reader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>

#include <cmath>
#include <cstdio>
#include <optional>
#include <sstream>

#include "convert/plot_scan.hpp"
#include "io/byte_order.hpp"
#include "io/record_io.hpp"
#include "support.hpp"

namespace kestrel {
namespace {

const std::string kHeader =
    "* AERMOD ( 24142 ): test\n*         FORMAT: (3(1X,F13.5),3(1X,F8.2),2X,A6,2X,A8,2X,I8.8,2X,A8)\n";

// A data line as AERMOD writes it (F13.5 values).
std::string line(double x, double y, double v, int date, const char* grp = "ALL", const char* ave = "1-HR") {
  char tail[80];
  std::snprintf(tail, sizeof tail, "  %6s  %-8s  %08d  %-8s\n", ave, grp, date, "");
  const auto f = test::fixed_field;
  return " " + f(x, 13, 5) + " " + f(y, 13, 5) + " " + f(v, 13, 5) + " " + f(0, 8, 2) + " " + f(0, 8, 2) + " " +
         f(0, 8, 2) + tail;
}

// Two receptors at (0, 0) and (100, 0); `n` lines of hour `h`.
std::string hour(int h, int n = 2, const char* grp = "ALL") {
  std::string s;
  for (int i = 0; i < n; ++i) s += line(100.0 * i, 0.0, h + 0.5 * i, 88010100 + h, grp);
  return s;
}

const std::vector<double> kX = {0.0, 100.0};
const std::vector<double> kY = {0.0, 0.0};

// What a reader made of a file: one word per record, then the ending.
std::string outcome(const std::string& text, std::span<const double> x = kX, std::span<const double> y = kY,
                    PlotBuffers* buffers = nullptr) {
  io::MemorySource src(std::as_bytes(std::span(text)));
  std::optional<PlotReader> owned;
  PlotReader& r = buffers != nullptr ? owned.emplace(src, x, y, *buffers) : owned.emplace(src, x, y);
  std::ostringstream out;
  for (;;) {
    const auto res = r.next();
    if (res == PlotReader::Result::record) {
      out << r.kurdat() % 100 << std::string(r.grpid()).substr(0, r.grpid().find(' ')) << r.kave()
          << (r.longer() ? "+" : "") << ' ';
      continue;
    }
    if (res == PlotReader::Result::end_of_file) {
      out << (r.ended_inside_record() ? "cut" : "end");
    } else {
      out << "fail@" << r.error_line() << " [" << r.error_text() << "]";
    }
    if (r.first_misplaced() != 0) out << " misplaced " << r.first_misplaced();
    return out.str();
  }
}

TEST(PlotReader, EndingsErrorsAndRecordBoundaries) {
  const std::string h1 = hour(1), h2 = hour(2), h3 = hour(3);
  std::string crlf;
  for (const char c : kHeader + h1 + h2) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  std::string terse;  // more lines and records than a small segment's scan holds
  for (int h = 1; h <= 9; ++h) {
    for (const char* x : {"0.", "100."})
      terse += std::string(" ") + x + " 0 1.5 0 0 0 1-HR A 8801010" + char('0' + h) + "\n";
  }
  // The first line of hour 2, filled up with an extra field to n characters.
  const auto padded = [](std::size_t n) {
    std::string l = line(0, 0, 2, 88010102);
    l.pop_back();
    return l + " " + std::string(n - l.size() - 1, 'x') + "\n";
  };
  const std::string bad = " 1.00000 2.00000 xyz 0.00 0.00 0.00 1-HR ALL 88010102\n";
  std::string cr_only = kHeader + h1 + h2;
  std::replace(cr_only.begin(), cr_only.end(), '\n', '\r');
  // Hour 2's first value 2.00000 with a NUL byte after "2.0", and with a
  // byte above 126 in its group.
  std::string nul = h2;
  nul[nul.find("2.00000") + 3] = '\0';
  std::string high = h2;
  high[high.find("ALL")] = '\xC4';
  struct Case {
    const char* name;
    std::string text;
    std::string want;
  };
  const Case cases[] = {
      {"whole", kHeader + h1 + h2, "1ALL1 2ALL1 end"},
      {"no line feed at the end", kHeader + h1 + h2.substr(0, h2.size() - 1), "1ALL1 2ALL1 end"},
      {"CRLF", crlf, "1ALL1 2ALL1 end"},
      {"CR alone", cr_only, "1ALL1 2ALL1 end"},
      {"CR alone, LF and CR LF mixed", kHeader + h1.substr(0, h1.size() - 1) + "\r" + crlf.substr(crlf.find("\r\n ") + 2),
       "1ALL1+ 2ALL1 end"},
      {"a NUL byte inside a value", kHeader + h1 + nul + h3,
       "1ALL1 fail@5 [0.00000       0.00000       2.0?000     0.00     0.00     0.00    1-HR  ALL       88010102]"},
      {"a byte above 126 inside a line", kHeader + h1 + high + h3,
       "1ALL1 fail@5 [0.00000       0.00000       2.00000     0.00     0.00     0.00    1-HR  ?LL       88010102]"},
      {"bytes above 126 in a header line", kHeader + "* \xC4rger \x01\n" + h1, "1ALL1 end"},
      {"header only", kHeader, "end"},
      {"cut: last record not whole", kHeader + h1 + hour(2, 1), "1ALL1 cut"},
      {"cut: last line unreadable", kHeader + h1 + h2 + h3.substr(0, 30), "1ALL1 2ALL1 cut"},
      {"cut: last line starts a record after a short one", kHeader + h1 + hour(2, 1) + hour(3, 1), "1ALL1 cut"},
      {"cut: trailing blank line", kHeader + h1 + "\n", "1ALL1 cut"},
      {"short record", kHeader + hour(1, 1) + h2 + h3,
       "fail@4 [0.00000       0.00000       2.00000     0.00     0.00     0.00    1-HR  ALL       88010102]"},
      {"unreadable line", kHeader + h1 + bad + h3,
       "1ALL1 fail@5 [1.00000 2.00000 xyz 0.00 0.00 0.00 1-HR ALL 88010102]"},
      {"blank line", kHeader + h1 + "  \n" + h2, "1ALL1 fail@5 []"},
      {"too few fields", kHeader + h1 + " 1. 2. 3. 4. 5. 6. 1-HR ALL\n" + h2,
       "1ALL1 fail@5 [1. 2. 3. 4. 5. 6. 1-HR ALL]"},
      {"extra lines", kHeader + hour(1, 3) + h2, "1ALL1+ 2ALL1 end"},
      {"two groups in one file", kHeader + h1 + hour(1, 2, "STACK") + h2 + hour(2, 2, "STACK"),
       "1ALL1 1STACK1 2ALL1 2STACK1 end"},
      {"periods",
       kHeader + line(0, 0, 1, 88010124, "ALL", "24-HR") + line(100, 0, 1, 88010124, "ALL", "24-HR") +
           line(0, 0, 1, 88010124, "ALL", "MONTH") + line(100, 0, 1, 88010124, "ALL", "MONTH"),
       "24ALL24 24ALL0 end"},
      {"misplaced receptor", kHeader + line(0, 0, 1, 88010101) + line(100, 0.02, 1, 88010101) + h2,
       "1ALL1 2ALL1 end misplaced 2"},
      {"within the tolerance", kHeader + line(0.005, 0, 1, 88010101) + line(100, -0.009, 1, 88010101), "1ALL1 end"},
      {"short lines", kHeader + terse, "1A1 2A1 3A1 4A1 5A1 6A1 7A1 8A1 9A1 end"},
      {"a line of 512 characters", kHeader + h1 + padded(512) + h2.substr(h2.find('\n') + 1), "1ALL1 2ALL1 end"},
      {"a line of 513 characters", kHeader + h1 + padded(513) + h2.substr(h2.find('\n') + 1),
       "1ALL1 fail@5 [" + padded(513).substr(7, 249) + "]"},
      {"a header line longer than a segment", kHeader + "*" + std::string(3000, '-') + "\n" + h1 + h2,
       "1ALL1 2ALL1 end"},
      {"a line longer than a segment", kHeader + h1 + std::string(3000, '7') + "\n" + h2,
       "1ALL1 fail@5 [" + std::string(256, '7') + "]"},
  };
  // Small segments and two slots put record and line ends at other places
  // in a segment and bring in the second thread.
  PlotBuffers small(1024, 2);
  PlotBuffers one_thread(1024, 2, false);
  for (const auto& c : cases) {
    EXPECT_EQ(outcome(c.text), c.want) << c.name;
    EXPECT_EQ(outcome(c.text, kX, kY, &small), c.want) << c.name << ", small segments";
    EXPECT_EQ(outcome(c.text, kX, kY, &one_thread), c.want) << c.name << ", one thread";
  }
}

// A CR LF split between two reads of the file, at every place in the first
// segments: the pair still ends one line.
TEST(PlotReader, CarriageReturnAtEverySegmentEnd) {
  std::string body;
  for (const char c : hour(1) + hour(2)) {
    if (c == '\n') body += '\r';
    body += c;
  }
  PlotBuffers small(1024, 2);
  for (std::size_t pad = 0; pad < 240; ++pad) {
    const std::string text = "*" + std::string(pad, '-') + "\r\n" + std::string(pad % 7, ' ') + body.substr(1);
    EXPECT_EQ(outcome(text, kX, kY, &small), "1ALL1 2ALL1 end") << pad;
  }
}

TEST(PlotScan, LinesReadAlikeInEveryBuild) {
  struct Case {
    const char* value;
    bool reads;
    double want;
    bool fixed;
  };
  const Case cases[] = {
      {"0.00034", true, 0.00034, true},
      {"-12.50000", true, -12.5, true},
      {"0.336363E-03", true, 0.336363e-3, false},
      {"-0.336363E+03", true, -336.363, false},
      {"0.123456-100", true, 0.123456e-100, false},
      {"0.123456E+30", true, 0.123456e30, false},
      {"-0.100000E-99", true, -0.1e-99, false},
      {"5.", true, 5.0, true},
      {"-.5", true, -0.5, true},
      {"+1.5", true, 1.5, true},
      {"15", true, 15.0, true},
      {"1.5e", false, 0, false},
      {"nan", false, 0, false},
      {"-inf", false, 0, false},
      {"1.2.3", false, 0, false},
      {"*************", false, 0, false},
      {"1,5", false, 0, false},
      {"0.350000E+39", false, 0, false},  // no float holds it
      {"0.340000E+38", true, 0.34e38, false},
      {"1.5\x7f", false, 0, false},
      {"1.5\x01", false, 0, false},
  };
  for (const auto& c : cases) {
    char text[400] = {};
    const std::string f0 = test::fixed_field(0, 8, 2);
    const int n = std::snprintf(text + plot::kLead, 200, " %s %s %13s %s %s %s  %6s  %-8s  %08d\n",
                                test::fixed_field(1.0, 13, 5).c_str(), test::fixed_field(-2.0, 13, 5).c_str(), c.value,
                                f0.c_str(), f0.c_str(), f0.c_str(), "1-HR", "ALL", 88010101);
    for (const auto build : {plot::Build::fields, plot::Build::baseline, plot::Build::avx2, plot::Build::avx512}) {
      plot::Scan out(4, 4);
      if (!plot::scan_with(build, text + plot::kLead, 0, static_cast<std::size_t>(n), out)) continue;
      EXPECT_EQ(out.stop == plot::Stop::end, c.reads) << c.value;
      if (!c.reads) continue;
      EXPECT_EQ(out.values[0], static_cast<float>(c.want)) << c.value;
      EXPECT_EQ(out.first_fixed == 0, c.fixed) << c.value;
      EXPECT_EQ(out.runs[0].key.kurdat, 88010101);
    }
  }
}

struct Twin {
  const char* folder;
  const char* plot;
  const char* unform;
  bool fixed;
};

std::vector<double> column(const std::string& csv, int index) {
  std::vector<double> out;
  std::istringstream in(csv);
  std::string row;
  std::getline(in, row);
  while (std::getline(in, row)) {
    std::istringstream cells(row);
    std::string cell;
    for (int i = 0; i <= index; ++i) std::getline(cells, cell, ',');
    double v = 0.0;  // from_chars: std::stod would take the locale's decimal point
    std::from_chars(cell.data(), cell.data() + cell.size(), v);
    out.push_back(v);
  }
  return out;
}

// Half a unit of the last printed digit, and the float rounding on top.
double printed_precision(double v, bool fixed) {
  const double unit = fixed ? 1e-5 : (v == 0 ? 1e-6 : std::pow(10.0, std::floor(std::log10(std::fabs(v))) + 1 - 6));
  return 0.5 * unit + std::fabs(v) * 0x1p-23;
}

TEST(PlotReader, RealRunsEqualTheirUnformattedTwinsToThePrintedPrecision) {
  const Twin twins[] = {{"terrain-included", "TERRAIN_01H.PLT", "TERRAIN_01H.BIN", true},
                        {"fileform-exp", "AERTEST_EXP_01H.PLT", "AERTEST_EXP_01H.BIN", false}};
  for (const auto& t : twins) {
    const auto dir = std::filesystem::path(KESTREL_TEST_DATA) / "networks" / t.folder / "input";
    const std::string csv = test::read_text(dir / "receptors.csv");
    const std::vector<double> x = column(csv, 1), y = column(csv, 2);
    const std::string lf = test::read_text(dir / t.plot);
    std::string crlf;  // the same file with Windows line ends
    for (const char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const auto bin = test::read_bytes(dir / t.unform);
    // Segments of 4 KiB and three slots: segment ends at every place in a
    // line and in a record, scanned by both threads.
    PlotBuffers small(4096, 3);
    for (const std::string* text : {&lf, static_cast<const std::string*>(&crlf)}) {
      io::MemorySource plot_src(std::as_bytes(std::span(*text)));
      io::MemorySource bin_src(bin);
      PlotReader reader(plot_src, x, y, small);
      io::RecordReader records(bin_src);
      std::vector<std::byte> rec(16 + 8 * x.size());
      std::vector<std::byte> got(4 * x.size());
      int n = 0;
      while (records.read(rec) == io::ReadOutcome::ok) {
        ASSERT_EQ(reader.next(), PlotReader::Result::record) << t.folder << " record " << n;
        EXPECT_EQ(reader.kurdat(), io::get_i32(rec.data()));
        EXPECT_EQ(reader.kave(), io::get_i32(rec.data() + 4));
        EXPECT_EQ(reader.grpid(), std::string_view(reinterpret_cast<const char*>(rec.data() + 8), 8));
        EXPECT_FALSE(reader.longer());
        reader.convert_into(got.data(), 1.0F);
        for (std::size_t i = 0; i < x.size(); ++i) {
          const double want = io::get_f64(rec.data() + 16 + 8 * i);
          ASSERT_NEAR(io::get_f32(got.data() + 4 * i), want, printed_precision(want, t.fixed))
              << t.folder << " record " << n << " receptor " << i + 1;
        }
        ++n;
      }
      EXPECT_EQ(n, 24);
      EXPECT_EQ(reader.next(), PlotReader::Result::end_of_file);
      EXPECT_FALSE(reader.ended_inside_record());
      EXPECT_EQ(reader.first_misplaced(), 0);
      EXPECT_EQ(reader.fixed_point_values(), t.fixed);
    }
  }
}

TEST(PlotReader, ValuesScaleInSinglePrecisionAsUnformattedOnes) {
  const std::string text = kHeader + line(0, 0, 1234.56789, 88010101) + line(100, 0, 0.1, 88010101);
  io::MemorySource src(std::as_bytes(std::span(text)));
  PlotReader r(src, kX, kY);
  ASSERT_EQ(r.next(), PlotReader::Result::record);
  std::byte out[8];
  r.convert_into(out, 1.0e-6F);
  EXPECT_EQ(io::get_f32(out), static_cast<float>(1234.56789) * 1.0e-6F);
  EXPECT_EQ(io::get_f32(out + 4), 0.1F * 1.0e-6F);
}

}  // namespace
}  // namespace kestrel
