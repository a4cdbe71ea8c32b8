// One POSTFILE line of a run converted into its dataset, on its own buffers,
// so that several can run side by side. The dataset is left finished but not
// yet in place: the caller puts the datasets of a run in place in order.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/report.hpp"
#include "base/status.hpp"
#include "dataset/dataset_file.hpp"
#include "dataset/header.hpp"
#include "dataset/period.hpp"
#include "io/crc32.hpp"
#include "setup/ctrl.hpp"

namespace kestrel {

// The receptors' coordinates in metres, which formatted POSTFILEs repeat.
struct Places {
  explicit Places(const Ctrl& ctrl);
  std::vector<double> x, y;
};

// What every dataset of a run shares: the header and the receptors.
struct CompPlan {
  explicit CompPlan(const Ctrl& c, std::filesystem::path d);
  CompPlan(const CompPlan&) = delete;
  CompPlan& operator=(const CompPlan&) = delete;

  const Ctrl& ctrl;
  std::filesystem::path dir;
  Places places;
  std::vector<float> xrec, yrec, zrec;
  dataset::HeaderArgs header;
  dataset::PeriodSource source;
};

// One dataset a POSTFILE line gives: its output type, where its values stand
// in each record, how they are scaled, its species record and its file.
struct Output {
  dataset::OutputType type;
  std::size_t slice;  // the type's place among the run's types
  float factor;
  std::string speclev;
  std::filesystem::path path;
  std::string shown;  // as messages name it
};

// A POSTFILE line of the run and what it is converted into.
struct PostfileJob {
  PostfileName postfile;
  std::filesystem::path path;  // the file found on disk
  // The line's group id when another line names the same file: the dataset
  // then holds that group's records alone.
  std::string group;
  // How messages name what this line converts.
  std::string subject;
  std::uint64_t size = 0;  // bytes, for the progress line
  // Its datasets, one per output type of the run, in the records' order.
  std::vector<Output> outputs;
};

// The run's jobs, one per 1-hour POSTFILE line, in control-file order.
// Throws IoError when a POSTFILE cannot be found.
[[nodiscard]] std::vector<PostfileJob> postfile_jobs(const Ctrl& ctrl, const std::filesystem::path& dir);

// What a dataset holds, for the accounts of a run.
struct DatasetAccount {
  std::string shown;  // as messages name it
  dataset::OutputType type = dataset::OutputType::conc;
  std::int64_t periods = 0;
  std::size_t receptors = 0;
  DateHour first, last;  // the first and last period ends, when it has periods
};

// A dataset written to its temporary file, to be put in place.
struct FinishedDataset {
  std::unique_ptr<dataset::DatasetFile> file;
  // The list file's "Dataset ...:" line and what it says, and the line of
  // its CRC-32 and size that follows it; both empty after a halt.
  std::string line;
  std::string check;
  std::optional<DatasetAccount> account;
};

struct Converted {
  Status status;  // a halt inside the POSTFILE keeps the periods before it
  std::vector<FinishedDataset> datasets;
};

// Converts one job. The PLOT reader uses a second thread only when
// `second_thread`. Files that cannot be opened or written throw IoError.
Converted convert_postfile(const CompPlan& plan, const PostfileJob& job, Report& report, bool second_thread);

// "Dataset <name>: <p> periods of <n> receptors, ending <first> to <last>".
[[nodiscard]] std::string dataset_line(const std::string& name, std::int64_t periods, std::size_t receptors,
                                       const DateHour& first, const DateHour& last);

// "CRC-32 of <name>: <8 lower-case hex digits>, <size> bytes".
[[nodiscard]] std::string crc_line(const std::string& name, const io::FileCrc& crc);

}  // namespace kestrel
