#include "study/summary_file.hpp"

#include <cstdio>

#include "base/io_error.hpp"
#include "base/text.hpp"
#include "base/version.hpp"
#include "dataset/output_type.hpp"
#include "datetime/datetime.hpp"
#include "io/files.hpp"
#include "io/platform.hpp"

#ifdef KESTREL_HAVE_JSON
#include <nlohmann/json.hpp>
#endif

namespace kestrel::study {

#ifdef KESTREL_HAVE_JSON

namespace {

using nlohmann::ordered_json;

// A period end as ISO 8601: hour 00 is the next day's midnight, as the
// dataset has it.
ordered_json iso(const DateHour& t) {
  std::int32_t mo = 0, dy = 0;
  if (!calendar_date(t.yr, t.jul, mo, dy)) return nullptr;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:00:00", static_cast<int>(t.yr), static_cast<int>(mo),
                static_cast<int>(dy), static_cast<int>(t.hr));
  return buf;
}

ordered_json run_json(const std::string& given, const RunEnd& e) {
  ordered_json r;
  r["run"] = given;
  r["control_file"] = e.control.empty() ? ordered_json(nullptr) : ordered_json(e.control);
  r["status"] = std::string(kind_name(e.kind));
  r["exit_status"] = e.status;
  const bool plain = e.kind == RunKind::normal || e.kind == RunKind::up_to_date || e.kind == RunKind::not_begun;
  r["message"] = plain ? ordered_json(nullptr) : ordered_json(e.text);
  r["seconds"] = e.seconds;
  r["bytes_read"] = e.bytes_read;
  ordered_json datasets = ordered_json::array();
  for (const DatasetAccount& d : e.accounts) {
    ordered_json j;
    j["path"] = d.shown;
    j["output_type"] = std::string(dataset::traits(d.type).keyword);
    j["periods"] = d.periods;
    j["receptors"] = d.receptors;
    j["first_period_end"] = d.periods > 0 ? iso(d.first) : ordered_json(nullptr);
    j["last_period_end"] = d.periods > 0 ? iso(d.last) : ordered_json(nullptr);
    datasets.push_back(std::move(j));
  }
  r["datasets"] = std::move(datasets);
  if (e.kind == RunKind::up_to_date) r["datasets_kept"] = e.datasets;
  r["warnings"] = e.warning_texts;
  return r;
}

}  // namespace

bool summary_file_available() noexcept { return true; }

void write_summary_file(const std::filesystem::path& path, const std::string& shown, const StudyAccount& a) {
  ordered_json doc;
  doc["kestrel"] = {{"version", std::string(mver)}, {"level", std::string(mlevel)}};
  doc["command_line"] = std::vector<std::string>(a.args.begin(), a.args.end());
  doc["start"] = utc_text(a.start);
  doc["end"] = utc_text(a.end);
  doc["exit_status"] = a.status;
  ordered_json runs = ordered_json::array();
  for (std::size_t i = 0; i < a.ends.size(); ++i) runs.push_back(run_json(a.given[i], a.ends[i]));
  doc["runs"] = std::move(runs);
  // Invalid UTF-8 in a name is replaced, never a reason to lose the account.
  const std::string text = doc.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";

  const std::string label = file_label("summary file", shown);
  std::filesystem::path part = path;
  part += ".part";
  std::error_code ec;
  try {
    io::FileSink sink(part, label);
    sink.write(std::as_bytes(std::span(text.data(), text.size())));
    sink.sync();
    sink.close();
  } catch (const IoError&) {
    std::filesystem::remove(part, ec);
    throw;
  }
  std::filesystem::rename(part, path, ec);
  if (ec) {
    const int errnum = ec.value() != 0 ? ec.value() : EIO;
    std::filesystem::remove(part, ec);
    throw io_error("cannot create", label, errnum);
  }
  if (const int e = io::sync_folder(path.parent_path()); e != 0) throw io_error("cannot create", label, e);
}

#else

bool summary_file_available() noexcept { return false; }

void write_summary_file(const std::filesystem::path&, const std::string&, const StudyAccount&) {}

#endif

}  // namespace kestrel::study
