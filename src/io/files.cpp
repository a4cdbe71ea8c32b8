#include "io/files.hpp"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "base/io_error.hpp"
#include "io/platform.hpp"

namespace kestrel::io {

std::size_t MemorySource::read_at(std::uint64_t offset, std::span<std::byte> dest) {
  if (offset >= data_.size()) return 0;
  const auto n = std::min<std::uint64_t>(dest.size(), data_.size() - offset);
  std::memcpy(dest.data(), data_.data() + offset, static_cast<std::size_t>(n));
  return static_cast<std::size_t>(n);
}

FilePtr open_for_reading(const std::filesystem::path& path, const std::string& label) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw io_error("cannot open", label, EISDIR);
  int err = ENOENT;
  bool not_regular = false;
  FilePtr f(open_regular_file(path, err, not_regular));
  if (not_regular) throw io_error("cannot open", label, "Not a regular file");
  if (!f) throw io_error("cannot open", label, err);
  return f;
}

void clear_entry(const std::filesystem::path& path, const std::string& label) {
  std::error_code ec;
  const auto st = std::filesystem::symlink_status(path, ec);
  if (ec || st.type() == std::filesystem::file_type::not_found) return;
  if (st.type() == std::filesystem::file_type::directory) throw io_error("cannot create", label, EISDIR);
  std::filesystem::remove(path, ec);
  if (ec) throw io_error("cannot create", label, ec.value());
}

namespace {

namespace fs = std::filesystem;

void check_one_name(const fs::path& path, const std::string& shown, const std::string& label) {
  std::error_code ec;
  const fs::file_type type = fs::symlink_status(path, ec).type();
  // A name that cannot be looked at fails later, where it is created.
  if (ec) return;
  switch (type) {
    case fs::file_type::not_found:
    case fs::file_type::regular:
    case fs::file_type::symlink:
      return;
    case fs::file_type::directory:
      throw io_error("cannot create", label, EISDIR);
    default:
      throw io_error("cannot write", file_label("", shown), "not a regular file");
  }
}

// The name as the file system will resolve it: links and `..` of the part
// that exists followed, the rest made plain.
fs::path resolved(const fs::path& p) {
  std::error_code ec;
  fs::path r = fs::weakly_canonical(p, ec);
  if (ec) r = fs::absolute(p, ec).lexically_normal();
  return r;
}

bool same_file(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec) && !ec) return true;
  // Where either is not there yet, their names tell.
  std::error_code ea, eb;
  if (fs::exists(a, ea) && fs::exists(b, eb)) return false;
  return resolved(a) == resolved(b);
}

}  // namespace

void check_output_name(const fs::path& path, const std::string& shown, const std::string& label) {
  check_one_name(path, shown, label);
  fs::path part = path;
  part += ".part";
  check_one_name(part, shown + ".part", label);
}

void refuse_output_over_input(const fs::path& path, const std::string& output, const std::string& temporary,
                              std::span<const NamedFile> inputs) {
  fs::path part = path;
  part += ".part";
  for (const NamedFile& in : inputs) {
    if (same_file(path, in.path)) throw IoError(output + " is " + in.what);
    if (same_file(part, in.path)) throw IoError(temporary + " is " + in.what);
  }
}

LockedTextFile::LockedTextFile(const std::filesystem::path& path, std::string label) : label_(std::move(label)) {
  std::error_code ec;
  if (std::filesystem::symlink_status(path, ec).type() == std::filesystem::file_type::directory)
    throw io_error("cannot create", label_, EISDIR);
  int err = EIO;
  bool busy = false;
  file_.reset(create_locked_file(path, err, busy));
  if (busy) throw Busy{};
  if (!file_) throw io_error("cannot create", label_, err);
}

void LockedTextFile::failed() const { throw io_error("cannot write", label_, errno != 0 ? errno : EIO); }

void LockedTextFile::write_line(std::string_view line) {
  errno = 0;
  if (std::fwrite(line.data(), 1, line.size(), file_.get()) != line.size() || std::fputc('\n', file_.get()) == EOF)
    failed();
}

void LockedTextFile::flush() {
  errno = 0;
  if (file_ && std::fflush(file_.get()) != 0) failed();
}

void LockedTextFile::close() {
  if (!file_) return;
  errno = 0;
  if (std::fclose(file_.release()) != 0) failed();
}

void LockedTextFile::close_quietly(std::string_view last_line) noexcept {
  if (!file_) return;
  std::fwrite(last_line.data(), 1, last_line.size(), file_.get());
  std::fputc('\n', file_.get());
  std::fclose(file_.release());
}

FileSource::FileSource(const std::filesystem::path& path, std::string label)
    : file_(open_for_reading(path, label)), label_(std::move(label)) {
  // The records are read through our own large buffer; stdio's would only
  // copy every byte once more.
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
  std::error_code ec;
  size_ = std::filesystem::file_size(path, ec);
  if (ec) throw io_error("cannot read", label_, ec.value());
}

std::size_t FileSource::read_at(std::uint64_t offset, std::span<std::byte> dest) {
  if (offset >= size_ || dest.empty()) return 0;
  int err = 0;
  const std::size_t n = io::read_at(file_.get(), offset, dest, err);
  if (err != 0) throw io_error("cannot read", label_, err);
  return n;
}

bool FileSource::read_cached(std::uint64_t offset, std::span<std::byte> dest) {
  if (offset >= size_ || dest.size() > size_ - offset) return false;
  int err = 0;
  const bool cached = io::read_cached(file_.get(), offset, dest, err);
  if (err != 0) throw io_error("cannot read", label_, err);
  return cached;
}

FileSink::FileSink(const std::filesystem::path& path, std::string label) : label_(std::move(label)) {
  clear_entry(path, label_);
  errno = 0;
  file_.reset(create_new_file(path, false));
  if (!file_) throw io_error("cannot create", label_, errno != 0 ? errno : EIO);
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
}

FileSink::FileSink(FilePtr file, std::string label, bool durable)
    : file_(std::move(file)), label_(std::move(label)), durable_(durable) {
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
}

void FileSink::sync() {
  errno = 0;
  if (const int e = sync_file(file_.get()); e != 0) throw io_error("cannot write", label_, e);
}

void FileSink::write(std::span<const std::byte> bytes) {
  if (bytes.empty()) return;
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size())
    throw io_error("cannot write", label_, errno != 0 ? errno : EIO);
  written_ += bytes.size();
  // The disk writes while the conversion goes on, so that the sync before
  // the rename waits only for the last blocks.
  constexpr std::uint64_t kWritebackStep = std::uint64_t{16} << 20;
  if (durable_ && written_ - flushed_ >= kWritebackStep) {
    start_writeback(file_.get(), flushed_, written_ - flushed_);
    flushed_ = written_;
  }
}

void FileSink::close() {
  if (!file_) return;
  errno = 0;
  const int rc = std::fclose(file_.release());
  if (rc != 0) throw io_error("cannot write", label_, errno != 0 ? errno : EIO);
}

}  // namespace kestrel::io
