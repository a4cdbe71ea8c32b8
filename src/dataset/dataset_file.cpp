#include "dataset/dataset_file.hpp"

#include <system_error>

#include "base/io_error.hpp"

namespace kestrel::dataset {

std::filesystem::path DatasetFile::temporary_for(const std::filesystem::path& path) {
  // A fixed name per dataset: a run that was killed leaves it behind, and the
  // next run over the same dataset reuses and removes it.
  std::filesystem::path t = path;
  t += ".part";
  return t;
}

DatasetFile::DatasetFile(std::filesystem::path path, std::string shown, io::RecordWriter& writer)
    : path_(std::move(path)), temp_(temporary_for(path_)), shown_(std::move(shown)), writer_(writer) {
  std::error_code ec;
  if (std::filesystem::is_directory(path_, ec)) throw io_error("cannot create", file_label("dataset", shown_), EISDIR);
  sink_.emplace(temp_, "dataset '" + shown_ + "'");
  writer_.discard();
  writer_.attach(*sink_);
}

DatasetFile::~DatasetFile() {
  if (committed_) return;
  if (sink_) {
    writer_.discard();
    try {
      sink_->close();
    } catch (...) {
      // Already failing; the temporary file goes either way.
    }
  }
  std::error_code ec;
  std::filesystem::remove(temp_, ec);
}

void DatasetFile::finish() {
  writer_.flush();
  sink_->close();
  sink_.reset();
}

void DatasetFile::commit() {
  committed_ = true;
  std::error_code ec;
  std::filesystem::rename(temp_, path_, ec);
  if (ec) {
    const int errnum = ec.value() != 0 ? ec.value() : EIO;
    std::filesystem::remove(temp_, ec);
    throw io_error("cannot create", file_label("dataset", shown_), errnum);
  }
}

}  // namespace kestrel::dataset
