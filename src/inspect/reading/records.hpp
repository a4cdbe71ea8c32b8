// A file's records for kestrel-inspect, failing clearly on anything that is
// not a whole record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "io/files.hpp"
#include "io/record_io.hpp"

namespace kestrel::inspect {

class Records {
 public:
  Records(const std::filesystem::path& path, const std::string& name);

  // The next record's first `need` bytes; an empty view at the end of the
  // file when `allow_eof` (and the file does not end inside a record).
  std::span<const std::byte> next(std::size_t need, const char* what, bool allow_eof = false);
  // The same, with an empty view at the end of the file even when it ends
  // inside a record (ended_inside_record() tells), as kestrel reads POSTFILEs.
  std::span<const std::byte> next_whole(std::size_t need, const char* what);
  [[nodiscard]] std::int64_t length() const { return reader_.length(); }
  [[nodiscard]] bool ended_inside_record() const { return reader_.ended_inside_record(); }
  void rewind() { reader_.rewind(); }
  io::RecordReader& reader() { return reader_; }

 private:
  io::FileSource source_;
  io::RecordReader reader_;
};

// Whether the file starts as a dataset does: a 96-byte "CONC.DAT" record.
bool is_dataset(const std::filesystem::path& path, const std::string& name);

}  // namespace kestrel::inspect
