// The few things that differ between POSIX systems and Windows, in one place:
// opening files by name, 64-bit file positions and UTF-8 names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestrel::io {

// std::fopen for a path: on Windows through the wide API, so that names
// outside the system code page open too. Sets errno when it fails.
std::FILE* open_file(const std::filesystem::path& path, const char* mode) noexcept;

// Opens an existing file for reading only if it is a regular file: a FIFO
// or a device would block or never end. Returns nullptr and sets `err` (an
// errno value) or `not_regular` when it fails.
std::FILE* open_regular_file(const std::filesystem::path& path, int& err, bool& not_regular) noexcept;

// Creates `path` as a new file for writing (text mode: CR LF line ends on
// Windows): never through an existing entry or link of that name, which
// must be removed first. Returns nullptr and sets errno when it fails.
std::FILE* create_new_file(const std::filesystem::path& path, bool text) noexcept;

// Replaces whatever entry `path` names (a file, a link: never its target)
// by a new empty file for writing, in text mode, held exclusively: while it
// is open a second process calling this on the same path gets `busy` and
// changes nothing. Returns nullptr and sets `err` or `busy` when it fails.
// `binary`: a file written in binary mode that is renamed while still open
// and held (rename_held_file), as datasets are.
std::FILE* create_locked_file(const std::filesystem::path& path, int& err, bool& busy, bool binary = false) noexcept;

// Renames a file made by create_locked_file(binary) onto `to` in the same
// folder, keeping it open and held, so that no other writer can take its
// name between the two. Returns 0 or an errno value.
int rename_held_file(std::FILE* file, const std::filesystem::path& from, const std::filesystem::path& to) noexcept;

// Starts writing the file's bytes [offset, offset + length) to the disk
// without waiting for them (where the system can; elsewhere nothing).
void start_writeback(std::FILE* file, std::uint64_t offset, std::uint64_t length) noexcept;

// Writes the file's buffered data and then its blocks through to the disk.
// Returns 0 or an errno value.
int sync_file(std::FILE* file) noexcept;
// Makes the folder's entries (a rename into it) durable; nothing to do on
// Windows, whose renames are. Returns 0 or an errno value.
int sync_folder(const std::filesystem::path& folder) noexcept;

// A write past the file-size limit fails with EFBIG instead of killing the
// process, and a write to a closed pipe with EPIPE.
void ignore_write_signals() noexcept;

// How many files this process may hold open at once (a generous guess
// where the system does not say).
[[nodiscard]] std::uint64_t open_file_limit() noexcept;

// Moves to a byte offset that may lie past 4 GB (fseek takes a long, which
// is 32 bits on Windows). Returns false and sets errno when it fails.
bool seek_to(std::FILE* file, std::uint64_t offset) noexcept;

// Reads up to dest.size() bytes from `offset` of an unbuffered file, fewer
// only at its end: one system call a read where the system has positioned
// reads (a scan of many small reads at scattered places then costs no seek
// each). Returns the bytes read; sets `err` to an errno value on failure.
std::size_t read_at(std::FILE* file, std::uint64_t offset, std::span<std::byte> dest, int& err) noexcept;

// Reads dest.size() bytes from `offset` only if the system's cache holds
// them all (Linux: preadv2 with RWF_NOWAIT): true when it did. False, with
// nothing read, when they would have to come from the disk or where there
// is no such read (Windows); sets `err` on a failure.
bool read_cached(std::FILE* file, std::uint64_t offset, std::span<std::byte> dest, int& err) noexcept;

// Names read from files are UTF-8 text on every system; a path made from
// std::string would take the system code page on Windows.
std::filesystem::path path_from_utf8(std::string_view name);
std::string utf8_of(const std::filesystem::path& path);

// Which file an entry is (through links): two names of one file have the
// same id. Nothing when it cannot be found.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  friend auto operator<=>(const FileId&, const FileId&) = default;
};
[[nodiscard]] std::optional<FileId> file_id(const std::filesystem::path& path) noexcept;

// This process's id, for scratch names.
long process_id() noexcept;

// Whether standard error is a terminal (and not a file or a pipe).
[[nodiscard]] bool stderr_is_terminal() noexcept;
[[nodiscard]] bool stdout_is_terminal() noexcept;

// The number of processors this process may run on (at least 1).
[[nodiscard]] unsigned usable_cores() noexcept;

// Whether options may also be written the Windows way (`/?`).
[[nodiscard]] bool slash_options() noexcept;

}  // namespace kestrel::io
