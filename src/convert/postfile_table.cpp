#include "convert/postfile_table.hpp"

#include <algorithm>
#include <cstring>

#include "base/interrupt.hpp"
#include "base/io_error.hpp"
#include "base/text.hpp"
#include "convert/comp.hpp"
#include "convert/plot_reader.hpp"
#include "convert/postfile.hpp"
#include "convert/postfile_job.hpp"
#include "convert/warnings.hpp"
#include "io/files.hpp"

namespace kestrel {

namespace {

// Records a formatted POSTFILE may hold, from the length of its first data
// line: AERMOD writes every line of a file in one width, so this is close
// and the values are reserved once instead of doubling.
std::size_t plot_records_guess(io::ByteSource& src, std::size_t nrec) {
  std::vector<std::byte> head(std::min<std::uint64_t>(src.size(), 64 << 10));
  head.resize(src.read_at(0, head));
  const std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t eol = text.find('\n', at);
    if (eol == std::string_view::npos) break;
    if (text[at] != '*') return static_cast<std::size_t>(src.size() / (eol + 1 - at) / std::max<std::size_t>(nrec, 1)) + 1;
    at = eol + 1;
  }
  return 1;
}

template <class Reader>
void take_record(const Reader& reader, std::size_t nrec, std::size_t slice, PostfileTable& out) {
  if (out.values.capacity() < out.values.size() + nrec) {
    // The guess fell short: grow by a quarter rather than double.
    out.values.reserve(std::max(out.values.size() + nrec, out.values.size() / 4 * 5));
  }
  const std::size_t at = out.values.size();
  out.values.resize(at + nrec);
  reader.convert_into(reinterpret_cast<std::byte*>(out.values.data() + at), 1.0F, slice);
  const std::string_view g = trim(reader.grpid());
  auto it = std::find(out.groups.begin(), out.groups.end(), g);
  if (it == out.groups.end()) it = out.groups.insert(it, std::string(g));
  out.group.push_back(static_cast<std::int32_t>(it - out.groups.begin()));
  out.kave.push_back(reader.kave());
}

}  // namespace

Status read_postfile_table(const Ctrl& ctrl, const std::filesystem::path& path, const std::string& name, bool plot,
                           dataset::OutputType type, PostfileTable& out) {
  const auto found = std::find(ctrl.types.begin(), ctrl.types.end(), type);
  if (found == ctrl.types.end()) {
    return Status::halt("the control file's CO MODELOPT does not select " +
                            std::string(dataset::traits(type).keyword),
                        false);
  }
  const auto slice = static_cast<std::size_t>(found - ctrl.types.begin());
  const std::size_t nrec = ctrl.receptors.size();
  const std::size_t numtyp = ctrl.types.size();
  io::FileSource src(path, file_label("POSTFILE", name));
  // Records end before a bad stamp, as the conversion's do.
  auto stamp = [&](std::int32_t kurdat) -> Status {
    auto end = period_end(decode_kurdat(kurdat));
    if (!end.ok()) return std::move(end).status();
    out.ends.push_back(*end);
    return {};
  };
  if (plot) {
    const Places places(ctrl);
    PlotReader reader(src, places.x, places.y, numtyp);
    out.values.reserve(plot_records_guess(src, nrec) * nrec);
    for (;;) {
      stop_if_interrupted();
      const auto r = reader.next();
      if (r == PlotReader::Result::failure) return plot_failure(reader, name, numtyp);
      if (r == PlotReader::Result::end_of_file) break;
      if (Status s = stamp(reader.kurdat()); !s.ok()) return s;
      take_record(reader, nrec, slice, out);
    }
    if (reader.first_misplaced() != 0) out.warnings.push_back(misplaced_warning(name, reader.first_misplaced()));
    if (reader.ended_inside_record()) out.warnings.push_back(ended_inside_warning(name));
    return {};
  }
  PostfileReader reader(src, nrec, name, numtyp);
  for (;;) {
    stop_if_interrupted();
    const auto r = reader.next();
    if (r == PostfileReader::Result::failure) return reader.failure();
    if (r == PostfileReader::Result::end_of_file) break;
    if (out.ends.empty()) {
      // Every record has the first one's length.
      out.values.reserve((reader.size() / std::max<std::uint64_t>(reader.position(), 1) + 1) * nrec);
    }
    if (Status s = stamp(reader.kurdat()); !s.ok()) return s;
    take_record(reader, nrec, slice, out);
  }
  if (reader.ended_inside_record()) out.warnings.push_back(ended_inside_warning(name));
  return {};
}

}  // namespace kestrel
