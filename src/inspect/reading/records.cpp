#include "inspect/reading/records.hpp"

#include <string_view>

#include "base/io_error.hpp"
#include "setup/recognize.hpp"
#include "inspect/failure.hpp"
#include "inspect/reading/readers.hpp"
#include "io/byte_order.hpp"

namespace kestrel::inspect {

double Period::value(std::size_t k) const {
  return width == 8 ? io::get_f64(values.data() + 8 * k) : io::get_f32(values.data() + 4 * k);
}

Records::Records(const std::filesystem::path& path, const std::string& name)
    : source_(path, "'" + name + "'"), reader_(source_) {}

std::span<const std::byte> Records::next(std::size_t need, const char* what, bool allow_eof) {
  std::span<const std::byte> view;
  const auto outcome = reader_.read_view(need, view);
  if (outcome == io::ReadOutcome::ok) return view;
  if (outcome == io::ReadOutcome::end_of_file && allow_eof && !reader_.ended_inside_record()) return {};
  if (outcome == io::ReadOutcome::end_of_file) throw Failure(std::string("ends inside or before ") + what);
  throw Failure(std::string(what) + " is shorter than it must be");
}

std::span<const std::byte> Records::next_whole(std::size_t need, const char* what) {
  std::span<const std::byte> view;
  const auto outcome = reader_.read_view(need, view);
  if (outcome == io::ReadOutcome::ok) return view;
  if (outcome == io::ReadOutcome::end_of_file) return {};
  throw Failure(std::string(what) + " is shorter than it must be");
}

Summary open_file(const std::string& name, int real, std::int32_t receptors, const Receptors& control,
                  const TypeChoice& type) {
  const std::filesystem::path path(name);
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw Failure("is a folder");
  if (is_dataset(path, name)) return open_dataset(path, name);
  // A control file given in a file's place: say what to give instead.
  if (has_co_starting(path, name, 64 * 1024)) {
    throw IoError(name + " is an AERMOD control file; give a dataset or a POSTFILE, and this file with --control");
  }
  if (!is_plot(path, name)) return open_postfile(path, name, real, receptors, control, type);
  if (real != 0 || receptors != 0) {
    throw Failure("a formatted POSTFILE: --real4, --real8 and --receptors are for unformatted ones");
  }
  return open_plot(path, name, control, type);
}

bool is_dataset(const std::filesystem::path& path, const std::string& name) {
  Records r(path, name);
  std::span<const std::byte> view;
  try {
    view = r.next(16, "the first record", true);
  } catch (const Failure&) {
    return false;
  }
  const std::string_view kind(reinterpret_cast<const char*>(view.data()), view.size() < 8 ? view.size() : 8);
  return r.length() == 96 && view.size() == 16 && (kind == "CONC.DAT" || kind == "DFLX.DAT" || kind == "WFLX.DAT");
}

}  // namespace kestrel::inspect
