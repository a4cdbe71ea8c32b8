// A dataset being written: the records go to a temporary file beside it,
// which replaces the dataset only when it is closed. A killed or failed run
// never leaves a half-written dataset under the final name.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "io/crc32.hpp"
#include "io/files.hpp"
#include "io/record_io.hpp"

namespace kestrel::dataset {

class DatasetFile {
 public:
  // `shown` names the dataset in messages; `writer` buffers its records.
  DatasetFile(std::filesystem::path path, std::string shown, io::RecordWriter& writer);
  DatasetFile(const DatasetFile&) = delete;
  DatasetFile& operator=(const DatasetFile&) = delete;
  // Without commit(), the temporary file is removed and the dataset untouched.
  ~DatasetFile();

  io::RecordWriter& records() noexcept { return writer_; }

  // Flushes the temporary file and syncs it to the disk; it stays open and
  // held until commit() or destruction. The writer is free after it.
  void finish();
  // Renames the finished temporary file onto the dataset's name.
  void commit();
  void close() {
    finish();
    commit();
  }

  // The CRC-32 and size of every byte written, computed on the way to the
  // disk: what the list file keeps, for --resume to compare with.
  [[nodiscard]] io::FileCrc written() const noexcept { return checked_->written(); }

  static std::filesystem::path temporary_for(const std::filesystem::path& path);

 private:
  std::filesystem::path path_;
  std::filesystem::path temp_;
  std::string shown_;
  std::optional<io::FileSink> sink_;
  std::optional<io::Crc32Sink> checked_;  // in front of sink_
  io::RecordWriter& writer_;
  bool committed_ = false;
  bool finished_ = false;  // the writer is free
};

}  // namespace kestrel::dataset
