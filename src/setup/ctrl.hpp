// The control record: what SETUP takes from the control file and COMP
// converts with. One instance per run, owned by the driver.
#pragma once

#include <array>
#include <filesystem>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dataset/output_type.hpp"

namespace kestrel {

struct Receptor {
  float x = 0.0F;      // km
  float y = 0.0F;      // km
  float zelev = 0.0F;  // as written
  double xm = 0.0;     // metres, as AERMOD holds them
  double ym = 0.0;
};

// A 1-hour POSTFILE as the control file names it.
struct PostfileName {
  std::string name;
  bool plot = false;  // formatted (PLOT), else unformatted (UNFORM)
  std::string group;  // the line's source-group id, upper case
  friend bool operator==(const PostfileName&, const PostfileName&) = default;
};

// A source's SO LOCATION, metres, and what its shape on a map needs: the
// type, the LOCATION's numbers after it (a line's two ends), SRCPARAM's
// numbers (an area's sides and angle, a circle's radius) and AREAVERT's
// corners, x and y in turn.
struct SourceLocation {
  std::string id;
  double x = 0.0;
  double y = 0.0;
  std::string type;
  std::vector<double> location;
  std::vector<double> params;
  std::vector<double> vertices;
};

struct Ctrl {
  // Receptors in AERMOD's order: the order of the values in every POSTFILE record.
  std::vector<Receptor> receptors;
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
  // Titles as set, left-adjusted; a title the control file never sets
  // reaches the dataset as zero bytes.
  std::array<std::optional<std::string>, 2> atitle;
  // The 1-hour POSTFILE names, as the control file writes them.
  std::vector<PostfileName> aernam;
  // The pollutant id.
  std::string aerspec;
  // The output types of CO MODELOPT, in AERMOD's order: each record holds
  // the values of one type after the other.
  std::vector<dataset::OutputType> types = {dataset::OutputType::conc};
  // From the POSTFILEs' concentration unit to g/m3.
  float cfactor = 1.0e-6F;
  // From the POSTFILEs' hourly deposition (a mass per area) to g/m2/s.
  float ffactor = 1.0F / 3600.0F;
  // Whether an ME STARTEND line was read; without one the run period comes
  // from the POSTFILEs.
  bool lstartend = false;
  // Every SO LOCATION (SO INCLUDED files' too), by source id; not converted,
  // but kestrel-inspect draws them.
  std::vector<SourceLocation> sources;
  // The RE and SO INCLUDED files read, as found on disk.
  std::vector<std::filesystem::path> included;

  // The factor of the values of type `t`.
  [[nodiscard]] float factor(dataset::OutputType t) const noexcept {
    return t == dataset::OutputType::conc ? cfactor : ffactor;
  }
};

}  // namespace kestrel
