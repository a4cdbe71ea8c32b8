// Datasets made for kestrel-join's tests, and kestrel-join run in-process.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "dataset/output_type.hpp"
#include "datetime/datetime.hpp"
#include "support.hpp"

namespace kestrel::join::test {

using kestrel::test::Bytes;

struct Receptor {
  float x = 0.0F, y = 0.0F, z = 0.0F;
};

// A dataset as kestrel writes it: header (wrout1, with the nominal grid of
// `grid`, or of its receptors), then `periods` periods of one hour each, the
// first ending at `first_end`, the values value(p, r).
struct MadeDataset {
  std::vector<Receptor> receptors = {{0.0F, 0.0F, 0.0F}, {1.0F, 0.5F, 10.0F}};
  DateHour begin = {88, 61, 0};  // the run's begin as the header holds it
  std::int32_t irlg = -1;        // -1: the periods' count
  DateHour first_end = {1988, 61, 1};
  int periods = 3;
  std::function<float(int, int)> value = [](int p, int r) { return static_cast<float>(100 * p + r + 1); };
  std::string speclev = "SO2           1";
  dataset::OutputType type = dataset::OutputType::conc;
  float cfactor = 1.0e-6F;
  std::string title1 = "A JOIN TEST";
};
Bytes make_dataset(const MadeDataset& s);

// Offsets in a dataset of two receptors (MadeDataset's): the run record's payload,
// the first period, the bytes of each period.
inline constexpr std::size_t kRunPayload = 400;
inline constexpr std::size_t kFirst = 1055;
inline constexpr std::size_t kPeriod = 111;

// make_dataset(s) written to `p`, with a change made to its bytes.
void write(const std::filesystem::path& p, const MadeDataset& s, const std::function<void(Bytes&)>& change = {});
// The default dataset `hours` later, and at other receptors.
MadeDataset later(int hours);
MadeDataset at(std::vector<Receptor> receptors);
// The files of a folder and their bytes (folders with none).
std::map<std::string, Bytes> files_of(const std::filesystem::path& dir);

struct Ran {
  int status = -1;
  std::string out, err;
};
// kestrel-join with `args`, names taken from `dir`.
Ran run(const std::filesystem::path& dir, std::vector<std::string> args);

}  // namespace kestrel::join::test
