// Byte sources and sinks for the record framing: whole files through large
// blocks, or memory (tests and fuzzers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::io {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  [[nodiscard]] virtual std::uint64_t size() const = 0;
  // Copies up to dest.size() bytes from `offset`; fewer only at the end.
  virtual std::size_t read_at(std::uint64_t offset, std::span<std::byte> dest) = 0;
  // Copies dest.size() bytes from `offset` only if that takes no wait for
  // the disk (the system's cache holds them): true when it did. A source
  // that cannot tell returns false; the caller then reads in large blocks.
  virtual bool read_cached(std::uint64_t offset, std::span<std::byte> dest) {
    return read_at(offset, dest) == dest.size();
  }
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::byte> data) : data_(data) {}
  [[nodiscard]] std::uint64_t size() const override { return data_.size(); }
  std::size_t read_at(std::uint64_t offset, std::span<std::byte> dest) override;

 private:
  std::span<const std::byte> data_;
};

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// An existing file opened for reading. `label` names it in messages, e.g.
// "POSTFILE 'POST01.BIN'". Throws IoError when it cannot be opened or read.
class FileSource final : public ByteSource {
 public:
  FileSource(const std::filesystem::path& path, std::string label);
  [[nodiscard]] std::uint64_t size() const override { return size_; }
  std::size_t read_at(std::uint64_t offset, std::span<std::byte> dest) override;
  bool read_cached(std::uint64_t offset, std::span<std::byte> dest) override;

 private:
  FilePtr file_;
  std::string label_;
  std::uint64_t size_ = 0;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void write(std::span<const std::byte> bytes) = 0;
};

class MemorySink final : public ByteSink {
 public:
  void write(std::span<const std::byte> bytes) override { data.insert(data.end(), bytes.begin(), bytes.end()); }
  std::vector<std::byte> data;
};

// A file created new for writing: an entry of that name (a stale file, a
// link) is removed first, never written through.
class FileSink final : public ByteSink {
 public:
  FileSink(const std::filesystem::path& path, std::string label);
  // A file already open for writing; `durable`: one that will be synced,
  // whose blocks go to the disk while it is written.
  FileSink(FilePtr file, std::string label, bool durable = false);
  void write(std::span<const std::byte> bytes) override;
  // What was written, through to the disk.
  void sync();
  void close();
  [[nodiscard]] bool is_open() const noexcept { return file_ != nullptr; }
  [[nodiscard]] std::FILE* get() const noexcept { return file_.get(); }

 private:
  FilePtr file_;
  std::string label_;
  bool durable_ = false;
  std::uint64_t written_ = 0;
  std::uint64_t flushed_ = 0;  // bytes whose writeback has begun
};

// Opens `path` for reading, refusing folders and anything but a regular
// file. Throws IoError("cannot open <label>: reason").
FilePtr open_for_reading(const std::filesystem::path& path, const std::string& label);

// Removes the entry `path` names, whatever it is but a folder, so that a new
// file can be created there; throws IoError("cannot create <label>: reason").
void clear_entry(const std::filesystem::path& path, const std::string& label);

// Every program's outputs: a name that exists as a device, a FIFO, a socket
// (anything but a file, a link or a folder) is refused before any work,
// never replaced nor written through: IoError "cannot write '<shown>': not a
// regular file". A folder: IoError "cannot create <label>: Is a directory".
// The same for the output's temporary name, <path>.part. A link passes: it
// is replaced, never its target.
void check_output_name(const std::filesystem::path& path, const std::string& shown, const std::string& label);

// A file a command reads (or will write), as its messages name it: "the
// control file 'AERMOD.INP'".
struct NamedFile {
  std::filesystem::path path;
  std::string what;
};
// Refuses an output that is one of `inputs`, it or its temporary file
// <output>.part, by file identity (through links and `..`), or by name where
// either file is not there yet (an input a command has yet to write):
// throws IoError("<output> is <what>"), or "<temporary> is <what>".
void refuse_output_over_input(const std::filesystem::path& path, const std::string& output,
                              const std::string& temporary, std::span<const NamedFile> inputs);

// A text file of lines, replacing whatever stood at its name and held
// exclusively while open (see create_locked_file). Throws IoError naming
// `label` when it cannot be created or written.
class LockedTextFile {
 public:
  struct Busy {};  // thrown when another process holds the file

  LockedTextFile(const std::filesystem::path& path, std::string label);
  void write_line(std::string_view line);
  void flush();
  void close();
  // Last words: no exception, whatever happens.
  void close_quietly(std::string_view last_line) noexcept;

 private:
  [[noreturn]] void failed() const;
  FilePtr file_;
  std::string label_;
};

}  // namespace kestrel::io
