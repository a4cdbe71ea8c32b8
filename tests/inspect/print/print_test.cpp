// The map printed from a real run: the PNG's size and its pixels at known
// places (its bytes differ by platform), the PDF's page.
#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "inspect/print/print.hpp"
#include "inspect/inspect_support.hpp"
#include "support.hpp"

#if defined(KESTREL_TEST_CAIRO)
#include <cairo.h>
#endif

namespace kestrel::inspect {
namespace {

#if defined(KESTREL_TEST_CAIRO)
struct Png {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;  // 0xRRGGBB
  [[nodiscard]] std::uint32_t at(double x, double y) const {
    return pixels[static_cast<std::size_t>(std::lround(y)) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(std::lround(x))];
  }
};

Png read_png(const fs::path& p) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(p.string().c_str());
  Png png;
  if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
    png.width = cairo_image_surface_get_width(s), png.height = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    for (int y = 0; y < png.height; ++y) {
      for (int x = 0; x < png.width; ++x) {
        std::uint32_t v = 0;
        for (int b = 0; b < 4; ++b) v |= static_cast<std::uint32_t>(data[y * stride + x * 4 + b]) << (8 * b);
        png.pixels.push_back(v & 0xFFFFFFU);
      }
    }
  }
  cairo_surface_destroy(s);
  return png;
}

bool near_colour(std::uint32_t got, std::uint32_t want, int by) {
  for (int shift : {0, 8, 16}) {
    if (std::abs(static_cast<int>((got >> shift) & 0xFF) - static_cast<int>((want >> shift) & 0xFF)) > by) return false;
  }
  return true;
}
#endif

TEST(InspectPrint, PngAndPdfOfARealRun) {
  test::TempDir dir;
  run_copy(kData / "networks" / "aertest-polar" / "input", dir);
  const std::string d = (dir / "AERTEST_01H.BIN.gdx").string();
  const Result r = inspect({"--svg", (dir / "m.svg").string(), "--png", (dir / "m.png").string(), "--dpi", "192",
                            "--pdf", (dir / "m.pdf").string(), d});
  if (!print_available()) {
    EXPECT_EQ(r.err, "kestrel-inspect: --png is not available in this build (see kestrel-inspect --help)\n");
    GTEST_SKIP() << "this build has no librsvg and cairo";
  }
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(dir / "m.png.part"));
  const std::string pdf = test::read_text(dir / "m.pdf");
  EXPECT_EQ(pdf.substr(0, 7), "%PDF-1.");
  EXPECT_NE(pdf.find("/MediaBox [ 0 0 675 570 ]"), std::string::npos) << "900 x 760 px at 3/4 of a point each";
#if defined(KESTREL_TEST_CAIRO)
  const Png png = read_png(dir / "m.png");
  ASSERT_EQ(png.width, 1800);  // 192 dpi: two pixels per px
  ASSERT_EQ(png.height, 1520);
  std::map<std::uint32_t, int> colours;
  for (const auto v : png.pixels) ++colours[v];
  EXPECT_GT(colours.size(), 50U) << "not blank";
  // The highest value's diamond, red, at its left corner; the colour bar's
  // top and bottom, the ramp's ends.
  const std::string svg = test::read_text(dir / "m.svg");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(svg, m, std::regex("<path d=\"M (-?[0-9.]+) (-?[0-9.]+) l [0-9.]+ -[0-9.]+")));
  EXPECT_TRUE(near_colour(png.at(2 * number(m[1]) + 1, 2 * number(m[2])), 0xd00000, 40));
  ASSERT_TRUE(std::regex_search(svg, m, std::regex("<rect id=\"colour-bar\" x=\"([0-9]+)\" y=\"([0-9]+)\" width=\"18\" height=\"300\"")));
  const double bx = 2 * (number(m[1]) + 9), top = 2 * number(m[2]);
  EXPECT_TRUE(near_colour(png.at(bx, top + 4), 0xfde725, 12)) << std::hex << png.at(bx, top + 4);
  EXPECT_TRUE(near_colour(png.at(bx, top + 596), 0x440154, 12)) << std::hex << png.at(bx, top + 596);
  EXPECT_EQ(png.at(4, 4), 0xffffffU);
#endif
}

}  // namespace
}  // namespace kestrel::inspect
