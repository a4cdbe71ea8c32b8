#include "dataset/dataset_file.hpp"

#include <chrono>
#include <system_error>
#include <thread>

#include "base/interrupt.hpp"
#include "base/io_error.hpp"
#include "io/platform.hpp"

namespace kestrel::dataset {

namespace {

// How long a second writer waits for the first to finish before it gives up.
constexpr auto kWaitForWriter = std::chrono::seconds(5);
constexpr auto kRetryEvery = std::chrono::milliseconds(50);

// The temporary file, created and held: the hold is the dataset's lock, so
// that a second writer (another run, another kestrel) never removes, writes
// or renames it.
io::FilePtr create_held(const std::filesystem::path& temp, const std::string& shown) {
  const auto give_up = std::chrono::steady_clock::now() + kWaitForWriter;
  for (;;) {
    int err = EIO;
    bool busy = false;
    io::FilePtr f(io::create_locked_file(temp, err, busy, true));
    if (f) return f;
    if (!busy) throw io_error("cannot create", file_label("dataset", shown), err);
    if (std::chrono::steady_clock::now() >= give_up) throw IoError(shown + " is being written by another kestrel");
    stop_if_interrupted();
    std::this_thread::sleep_for(kRetryEvery);
  }
}

}  // namespace

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
  if (std::filesystem::symlink_status(temp_, ec).type() == std::filesystem::file_type::directory)
    throw io_error("cannot create", file_label("dataset", shown_), EISDIR);
  sink_.emplace(create_held(temp_, shown_), "dataset '" + shown_ + "'", true);
  checked_.emplace(*sink_);
  writer_.discard();
  writer_.attach(*checked_);
}

DatasetFile::~DatasetFile() {
  if (committed_ || !sink_) return;
  // After finish() the writer is no longer this file's (it may be gone).
  if (!finished_) writer_.discard();
  // Removed while still held: once let go, the name may be another writer's.
  std::error_code ec;
  std::filesystem::remove(temp_, ec);
  try {
    sink_->close();
  } catch (...) {
    // Already failing; the temporary file is gone either way.
  }
}

void DatasetFile::finish() {
  writer_.flush();
  finished_ = true;
  // The blocks are on the disk before the name can point at them.
  sink_->sync();
}

void DatasetFile::commit() {
  committed_ = true;
  if (const int e = io::rename_held_file(sink_->get(), temp_, path_); e != 0) {
    std::error_code ec;
    std::filesystem::remove(temp_, ec);
    sink_->close();
    throw io_error("cannot create", file_label("dataset", shown_), e);
  }
  const int synced = io::sync_folder(path_.parent_path());
  sink_->close();
  if (synced != 0) throw io_error("cannot create", file_label("dataset", shown_), synced);
}

}  // namespace kestrel::dataset
