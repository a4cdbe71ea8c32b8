// What the control file beside a file gives its map: the POSTFILE line that
// names each dataset kestrel writes, and the sources' shapes as AERMOD
// places them, worked out by hand from the control files.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "inspect/origin.hpp"
#include "support.hpp"

namespace kestrel::inspect {
namespace {

namespace fs = std::filesystem;

const fs::path kData = KESTREL_TEST_DATA;

TEST(InspectOrigin, EveryDatasetFindsItsPostfileLine) {
  test::TempDir gas, hrdow;
  for (const auto& [from, to] : {std::pair{kData / "testgas-deposition", &gas}, {kData / "hrdow-shared", &hrdow}}) {
    for (const auto& e : fs::directory_iterator(from / "input")) fs::copy_file(e.path(), *to / e.path().filename().string());
    for (const auto& e : fs::directory_iterator(from / "expected")) {
      if (e.path().extension() == ".gdx") fs::copy_file(e.path(), *to / e.path().filename().string());
    }
  }
  // A second control file beside it, tried after AERMOD.INP.
  fs::copy_file(gas / "AERMOD.INP", gas / "SECOND.INP");
  struct Case {
    fs::path file;
    const char* group;  // nullptr: no line names it
    const char* type;
  };
  const Case cases[] = {
      {gas / "ALL_01H.BIN", "ALL", ""},
      {gas / "ALL_01H.BIN.gdx", "ALL", "CONC"},
      {gas / "ALL_01H.BIN.dflx.gdx", "ALL", "DDEP"},
      {gas / "ALL_01H.BIN.wflx.gdx", "ALL", "WDEP"},
      {gas / "all_01h.bin.TFLX.gdx", "ALL", "DEPOS"},  // names match as AERMOD's do, whatever the case
      {gas / "ALL_01H.PLT", nullptr, ""},              // only AERMOD_PLOT.INP names it, and kestrel reads that too
      {hrdow / "HRDOW_STACK12_01H.BIN.STACK1.gdx", "STACK1", "CONC"},
      {hrdow / "HRDOW_STACK12_01H.BIN.STACK2.gdx", "STACK2", "CONC"},
      {hrdow / "HRDOW_STACK5_01H.BIN.gdx", "STACK5", "CONC"},
      {hrdow / "HRDOW_STACK12_01H.BIN.STACK9.gdx", nullptr, ""},
      {hrdow / "OTHER_01H.BIN.gdx", nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.filename().string());
    const auto o = origin_beside(c.file.string());
    if (c.group == nullptr && c.file.extension() != ".PLT") {
      EXPECT_FALSE(o.has_value());
      continue;
    }
    if (c.group == nullptr) {
      ASSERT_TRUE(o.has_value());
      EXPECT_EQ(fs::path(o->control_name).filename(), "AERMOD_PLOT.INP");
      EXPECT_TRUE(o->plot);
      continue;
    }
    ASSERT_TRUE(o.has_value());
    EXPECT_EQ(fs::path(o->control_name).filename(), "AERMOD.INP");
    EXPECT_EQ(o->group, c.group);
    EXPECT_EQ(o->type, c.type);
  }
}

TEST(InspectOrigin, SourcesInTheirOwnShapes) {
  // EPA's all-source-types run. Areas: the corner at LOCATION, the sides of
  // SRCPARAM turned clockwise by its angle about that corner; a circle round
  // its centre, 20 corners unless SRCPARAM says; AREAVERT's corners; lines
  // from end to end; points without an outline.
  const ControlFile c = read_control_file((kData / "networks" / "allsrcs-networks" / "input" / "AERMOD.INP").string());
  struct Case {
    const char* id;
    const char* type;
    bool closed;
    std::size_t corners;
    double x0, y0, x1, y1;  // the first two corners, m
  };
  const double r = 1829 / std::sqrt(2.0);  // OPENPIT's long side turned 45 degrees anticlockwise
  const Case cases[] = {
      {"STACK", "POINT", false, 0, 0, 0, 0, 0},
      {"VOL", "VOLUME", false, 0, 0, 0, 0, 0},
      {"AREA", "AREA", true, 4, -10, -10, 10, -10},
      {"CIRC", "AREACIRC", true, 20, 0, 20, 20 * std::sin(std::acos(-1.0) / 10), 20 * std::cos(std::acos(-1.0) / 10)},
      {"AREAP", "AREAPOLY", true, 8, 0, 0, 10, 0},
      {"OPENPIT", "OPENPIT", true, 4, -100, -100, -100 + r, -100 + r},
      {"LINE1", "LINE", false, 2, 300, 800, 900, 200},
      {"BASE", "RLINE", false, 2, 0, -100, 0, 100},
      {"BASE2", "RLINEXT", false, 2, 0, -100, 0, 100},
      {"BLINE3", "BUOYLINE", false, 2, 300, 1200, 900, 600},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.id);
    const auto s = std::find_if(c.sources.begin(), c.sources.end(), [&](const SourcePlace& p) { return p.id == k.id; });
    ASSERT_NE(s, c.sources.end());
    EXPECT_EQ(s->type, k.type);
    EXPECT_EQ(s->closed, k.closed);
    ASSERT_EQ(s->outline_km.size(), k.corners);
    if (k.corners == 0) continue;
    EXPECT_NEAR(s->outline_km[0].first * 1000, k.x0, 1e-9);
    EXPECT_NEAR(s->outline_km[0].second * 1000, k.y0, 1e-9);
    EXPECT_NEAR(s->outline_km[1].first * 1000, k.x1, 1e-9);
    EXPECT_NEAR(s->outline_km[1].second * 1000, k.y1, 1e-9);
  }
}

}  // namespace
}  // namespace kestrel::inspect
