// The control record: what SETUP takes from the control file and COMP
// converts with. One instance per run, owned by the driver.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "setup/params.hpp"

namespace kestrel {

struct Ctrl {
  // Receptors in km (elevation as written); entries 0..nrecin-1 are valid.
  std::int32_t nrecin = 0;
  std::vector<float> xrecin = std::vector<float>(MXREC, 0.0F);
  std::vector<float> yrecin = std::vector<float>(MXREC, 0.0F);
  std::vector<float> zrecin = std::vector<float>(MXREC, 0.0F);
  // Run start and end as written on ME STARTEND (hours 1 to 24).
  std::int32_t isyr = 0;
  std::int32_t ismo = 0;
  std::int32_t isday = 0;
  std::int32_t isjul = 0;
  std::int32_t ishr = 0;
  std::int32_t ieyr = 0;
  std::int32_t iemo = 0;
  std::int32_t ieday = 0;
  std::int32_t iejul = 0;
  std::int32_t iehr = 0;
  std::int32_t nfil = 0;
  // Texts start as zero bytes, not blanks: a title the control file never
  // sets reaches the dataset as zero bytes.
  std::array<std::string, 2> atitle = {std::string(80, '\0'), std::string(80, '\0')};
  std::vector<std::string> aernam = std::vector<std::string>(MXFIL, std::string(132, '\0'));
  std::string aerspec = std::string(12, '\0');
  // Whether an ME STARTEND line was read; without one the run period comes
  // from the POSTFILEs.
  bool lstartend = false;
};

}  // namespace kestrel
