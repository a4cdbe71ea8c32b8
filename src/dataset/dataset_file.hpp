// A dataset being written: the records go to a temporary file beside it,
// which replaces the dataset only when it is closed. A killed or failed run
// never leaves a half-written dataset under the final name.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "dataset/files.hpp"
#include "dataset/record_io.hpp"

namespace kestrel::dataset {

class DatasetFile {
 public:
  // `shown` names the dataset in messages; `writer` buffers its records.
  DatasetFile(std::filesystem::path path, std::string shown, RecordWriter& writer);
  DatasetFile(const DatasetFile&) = delete;
  DatasetFile& operator=(const DatasetFile&) = delete;
  // Without close(), the temporary file is removed and the dataset untouched.
  ~DatasetFile();

  RecordWriter& records() noexcept { return writer_; }

  // Flushes, cuts and renames the temporary file onto the dataset's name.
  void close();

  static std::filesystem::path temporary_for(const std::filesystem::path& path);

 private:
  std::filesystem::path path_;
  std::filesystem::path temp_;
  std::string shown_;
  std::optional<FileSink> sink_;
  RecordWriter& writer_;
};

}  // namespace kestrel::dataset
