// Receptor forms, their numbering and the halts of receptor networks,
// through the SETUP phase.
#include "setup/networks.hpp"

#include <gtest/gtest.h>

#include "setup/setup.hpp"
#include "support.hpp"

namespace kestrel {
namespace {

using test::SetupRun;

SetupRun run(const std::string& re, const std::vector<std::pair<std::string, std::string>>& files = {}) {
  return test::run_setup("CO STARTING\n   MODELOPT  CONC\n"
                         "CO FINISHED\nSO STARTING\n   LOCATION  STK1  POINT  100.0  -50.0  0.0\n"
                         "SO FINISHED\nRE STARTING\n" +
                             re + "RE FINISHED\nOU POSTFILE 1 ALL UNFORM P.BIN\n",
                         files);
}

struct Xy {
  double x, y;
  float z;
};

TEST(ReceptorForms, NumberedInAermodsOrder) {
  struct Case {
    const char* what;
    std::string re;
    std::vector<Xy> want;
    std::vector<std::pair<std::string, std::string>> files = {};
  };
  const Case cases[] = {
      {"XYINC: rows of y, x fastest, in a 3 x 2 grid",
       "   GRIDCART G1 STA\n   GRIDCART G1 XYINC 0. 3 10.  100. 2 5.\n   GRIDCART G1 END\n",
       {{0, 100, 0}, {10, 100, 0}, {20, 100, 0}, {0, 105, 0}, {10, 105, 0}, {20, 105, 0}}},
      {"XPNTS and YPNTS continued over lines and kept unsorted; ELEV rows out of order, continued",
       "   GRIDCART G1 STA\n   GRIDCART G1 XPNTS 5. -5.\n                XPNTS 1.\n             G1 YPNTS 7. 3.\n"
       "   GRIDCART G1 ELEV 2 4. 5.\n   GRIDCART G1 ELEV 2 6.\n   GRIDCART G1 END\n",
       {{5, 7, 0}, {-5, 7, 0}, {1, 7, 0}, {5, 3, 4}, {-5, 3, 5}, {1, 3, 6}}},
      {"GRIDPOLR: direction by direction, distance fastest; GDIR folds past 360",
       "   GRIDPOLR P1 STA\n   GRIDPOLR P1 ORIG 10. 20.\n   GRIDPOLR P1 DIST 100. 200.\n"
       "   GRIDPOLR P1 GDIR 2 270. 90.\n   GRIDPOLR P1 ELEV 2 3. 4.\n   GRIDPOLR P1 END\n",
       {{-90, 20, 0}, {-190, 20, 0}, {10, 120, 3}, {10, 220, 4}}},
      {"ORIG from a source; DDIR continued and folded; DISCPOLR around the same source",
       "   GRIDPOLR P1 STA\n                 ORIG STK1\n                 DIST 10.\n                 DDIR 450.\n"
       "                 DDIR 0.\n   GRIDPOLR P1 END\n   DISCPOLR STK1 100. -90. 7.\n",
       {{110, -50, 0}, {100, -40, 0}, {0, -50, 7}}},
      {"entries between STA and END come before the network's receptors",
       "   GRIDCART G1 STA\n   GRIDCART G1 XPNTS 1.\n   DISCCART 9. 9. 1.\n   GRIDCART G1 YPNTS 2.\n"
       "   GRIDCART G1 END\n   EVALCART 3. 4. 5. 0. 0. ARC1\n",
       {{9, 9, 1}, {1, 2, 0}, {3, 4, 5}}},
      {"included files where they stand, any form, with or without the pathway",
       "   DISCCART 1. 1.\n   INCLUDED grid.rec\n   DISCCART 2. 2.\n   INCLUDED more.rec\n",
       {{1, 1, 0}, {0, 0, 0}, {0, 1, 0}, {2, 2, 0}, {100, -40, 0}, {5, 5, 0}},
       {{"grid.rec", "RE GRIDCART G STA\r\n   GRIDCART G XPNTS 0.\r\n   GRIDCART G YPNTS 0. 1.\r\n   GRIDCART G END\r\n"},
        {"more.rec", "   discpolr stk1 10. 360.\n   INCLUDED grid.rec\n**\n RE DISCCART 5. 5.\n"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const SetupRun s = run(c.re, c.files);
    ASSERT_TRUE(s.halt.ok()) << s.list;
    const std::vector<Xy>& want = c.want;
    ASSERT_EQ(s.ctrl.receptors.size(), want.size());
    for (std::size_t k = 0; k < want.size(); ++k) {
      const Receptor& r = s.ctrl.receptors[k];
      EXPECT_NEAR(r.xm, want[k].x, 1e-9) << k;
      EXPECT_NEAR(r.ym, want[k].y, 1e-9) << k;
      EXPECT_EQ(r.zelev, want[k].z) << k;
      EXPECT_EQ(r.x, static_cast<float>(static_cast<double>(static_cast<float>(r.xm)) * double{0.001F})) << k;
    }
  }
}

TEST(ReceptorForms, Halts) {
  const std::string network = "Halted in SETUP:  invalid receptor network";
  struct Case {
    std::string re;
    std::string halt;
    std::string list;  // the further lines
  };
  const std::string sta = "   GRIDCART G1 STA\n";
  const std::string pol = "   GRIDPOLR P1 STA\n";
  const Case cases[] = {
      {sta + "   GRIDCART G1 XPNTS 1. A\n", network, " Receptor network G1: RE GRIDCART G1 XPNTS 1. A\n In AERMOD.INP, line 9\n"},
      {sta + "   GRIDCART G1 XYINC 0. 3 10.  100. 2\n", network, " Receptor network G1: RE GRIDCART G1 XYINC 0. 3 10.  100. 2\n In AERMOD.INP, line 9\n"},
      {pol + "   GRIDPOLR P1 GDIR 3 10.\n", network, " Receptor network P1: RE GRIDPOLR P1 GDIR 3 10.\n In AERMOD.INP, line 9\n"},
      {sta + "   GRIDCART G1 DIST 100.\n", network, " Receptor network G1: RE GRIDCART G1 DIST 100.\n In AERMOD.INP, line 9\n"},
      {sta + "   GRIDCART G1 GRID 100.\n", network, " Receptor network G1: RE GRIDCART G1 GRID 100.\n In AERMOD.INP, line 9\n"},
      {sta + "   GRIDCART G2 XPNTS 1.\n", network, " Receptor network G2: RE GRIDCART G2 XPNTS 1.\n In AERMOD.INP, line 9\n"},
      {sta + "   GRIDCART G1 XPNTS 1.\n   GRIDCART G1 END\n", network, " Receptor network G1: RE GRIDCART G1 END\n In AERMOD.INP, line 10\n"},
      {pol + "   GRIDPOLR P1 DIST 1.\n   GRIDPOLR P1 END\n", network, " Receptor network P1: RE GRIDPOLR P1 END\n In AERMOD.INP, line 10\n"},
      {sta + "   GRIDCART G1 XPNTS 1. 2.\n   GRIDCART G1 YPNTS 1.\n   GRIDCART G1 ELEV 2 1. 1.\n"
             "   GRIDCART G1 ELEV 1 1.\n   GRIDCART G1 END\n",
       network, " Receptor network G1: RE GRIDCART G1 ELEV 2 1. 1.\n In AERMOD.INP, line 11\n"},
      {sta + "   GRIDCART G1 XPNTS 1. 2.\n   GRIDCART G1 YPNTS 1.\n   GRIDCART G1 ELEV 1 1.\n"
             "   GRIDCART G1 ELEV 1 1. 1.\n   GRIDCART G1 END\n",
       network, " Receptor network G1: RE GRIDCART G1 ELEV 1 1. 1.\n In AERMOD.INP, line 12\n"},
      {sta + "   GRIDCART G1 XPNTS 1.\n", network, " Receptor network G1: RE GRIDCART G1 STA\n In AERMOD.INP, line 8\n"},
      {sta + pol, network, " Receptor network G1: RE GRIDCART G1 STA\n In AERMOD.INP, line 8\n"},
      {pol + "   GRIDPOLR P1 ORIG STK2\n", "Halted in SETUP:  unknown source for a polar receptor",
       " Source STK2 has no SO LOCATION\n In AERMOD.INP, line 9\n"},
      {"   DISCPOLR STK3 10. 20.\n", "Halted in SETUP:  unknown source for a polar receptor",
       " Source STK3 has no SO LOCATION\n In AERMOD.INP, line 8\n"},
      {"   DISCCART 1. 2.\n   DISCPOLR STK1 10.\n", "Halted in SETUP:  invalid receptor entry",
       " Receptor entry           2 STK1 10.\n In AERMOD.INP, line 9\n"},
      {"   DISCPOLR STK1 100.,,45.\n", "Halted in SETUP:  invalid receptor entry",
       " Receptor entry           1 STK1 100.,,45.\n In AERMOD.INP, line 8\n"},
      // Points count against the receptor limit as they are read.
      {"   GRIDCART G1 STA\n   GRIDCART G1 XYINC 0. 101 1. 0. 100 1.\n   GRIDCART G1 END\n",
       "Halted in SETUP:  too many receptors",
       " The limit is set by parameter MXREC =        10000\n In AERMOD.INP, line 9\n"},
      {pol + "   GRIDPOLR P1 DIST 1.\n   GRIDPOLR P1 GDIR 5000 1. 1.\n   GRIDPOLR P1 GDIR 5000 1. 1.\n"
             "   GRIDPOLR P1 GDIR 5000 1. 1.\n",
       "Halted in SETUP:  too many receptors",
       " The limit is set by parameter MXREC =        10000\n In AERMOD.INP, line 12\n"},
      {pol + "   GRIDPOLR P1 GDIR 10001 1. 1.\n", "Halted in SETUP:  too many receptors",
       " The limit is set by parameter MXREC =        10000\n In AERMOD.INP, line 9\n"},
      // Coordinates that no float holds.
      {sta + "   GRIDCART G1 XPNTS 1.0E39\n   GRIDCART G1 YPNTS 1.\n   GRIDCART G1 END\n", network,
       " Receptor network G1: RE GRIDCART G1 END\n In AERMOD.INP, line 11\n"},
      {pol + "   GRIDPOLR P1 DIST 1.0E300\n   GRIDPOLR P1 GDIR 1 10. 10.\n   GRIDPOLR P1 END\n", network,
       " Receptor network P1: RE GRIDPOLR P1 END\n In AERMOD.INP, line 11\n"},
      {"SO LOCATION BIG POINT 1.0E300 0. 0.\nRE GRIDPOLR P1 STA\n"
           "   GRIDPOLR P1 ORIG BIG\n   GRIDPOLR P1 DIST 1.\n   GRIDPOLR P1 GDIR 1 10. 10.\n   GRIDPOLR P1 END\n",
       network, " Receptor network P1: RE GRIDPOLR P1 END\n In AERMOD.INP, line 13\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.re);
    const SetupRun s = run(c.re);
    ASSERT_FALSE(s.halt.ok());
    EXPECT_EQ(s.halt.text(), c.halt + "   --   See the list file");
    EXPECT_EQ(s.list, " " + c.halt + "\n" + c.list);
  }
}

}  // namespace
}  // namespace kestrel
