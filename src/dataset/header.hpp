// The "CONC.DAT" version "2.1" dataset header.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "dataset/output_type.hpp"
#include "io/record_io.hpp"

namespace kestrel::dataset {

// What wrout1 is given; everything else in the header is constant.
struct HeaderArgs {
  std::int32_t nx = 2;
  std::int32_t ny = 2;
  float dxkm = 0.0F;
  float xorigkm = 0.0F;
  float yorigkm = 0.0F;
  std::int32_t iyrb = 0;
  std::int32_t ijulb = 0;
  std::int32_t ihrb = 0;
  std::int32_t irlg = 0;
  // The dataset's name and the unit of its title line come with the type.
  OutputType type = OutputType::conc;
  float cfactor = 1.0e-6F;
  std::span<const float> xrec;  // nrec = xrec.size()
  std::span<const float> yrec;
  std::span<const float> zrec;
  std::string ver;      // 12 characters
  std::string level;    // 12 characters
  std::string speclev;  // 15 characters
  std::string csrcnam;  // 16 characters
  std::array<std::string, 2> atitle;  // 80 characters each, written byte for byte
  // The third title as held (80 characters), written byte for byte; when
  // empty it is made from the type's text and `cfactor`.
  std::string title3;
};

// Writes the eight header records, nine when there are receptors.
void wrout1(io::RecordWriter& io8, const HeaderArgs& args);

// What read_header finds in a dataset's header records. Texts are as held
// (fixed width, blank-padded; a title never set is zero bytes).
struct HeaderInfo {
  std::string kind;     // record 1: "CONC.DAT" (or a flux's name), 16 characters
  std::string version;  // "2.1", 16 characters
  std::vector<std::string> comments;  // up to 132 characters each
  std::string model;    // 12 characters
  std::int32_t iyrb = 0;  // run begin as written (two-digit year)
  std::int32_t ijulb = 0;
  std::int32_t ihrb = 0;
  std::int32_t irlg = 0;    // run length, hours
  std::int32_t iavg = 0;    // averaging time, in time steps
  std::int32_t nsecdt = 0;  // time step, seconds
  std::int32_t nx = 0;
  std::int32_t ny = 0;
  float dxkm = 0.0F;
  float dykm = 0.0F;
  float xorigkm = 0.0F;
  float yorigkm = 0.0F;
  // The source counts by kind: points (npt1, npt2), areas, lines, volumes.
  std::array<std::int32_t, 8> sources{};
  std::int32_t msource = 0;
  std::int32_t nctrec = 0;  // complex-terrain receptors
  bool lsamp = false;       // values at the sampling grid
  std::int32_t nspout = 0;  // species levels written
  bool lcomprs = false;     // values compressed
  std::array<std::string, 3> titles;  // 80 characters each
  std::string speclev;  // 15 characters: species (12), level (3)
  std::vector<float> xrec, yrec, zrec;  // km
  std::string csrcnam;  // 16 characters
};

// A header that is not whole or holds counts out of range; `offset` is the
// byte at which the record in question begins.
struct HeaderError : std::runtime_error {
  HeaderError(const std::string& what, std::uint64_t at) : std::runtime_error(what), offset(at) {}
  std::uint64_t offset;
};

// Reads the records wrout1 writes, item by item in the same order. At most
// `max_receptors` receptors are accepted. Throws HeaderError.
HeaderInfo read_header(io::RecordReader& in, std::int32_t max_receptors);

// `value` as 0.ddddddd E±xx right-justified in 20 columns; a zero value is
// 0.0000000E+00, and exponents beyond two digits drop the E (0.1000000+100).
std::string format_cfactor(float value);

// Comment line 1: version and level squeezed of blanks, first 8 characters.
std::string comment_line1(std::string_view ver, std::string_view level);

}  // namespace kestrel::dataset
