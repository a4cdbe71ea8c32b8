#include "study/summary_names.hpp"

#include <cerrno>
#include <system_error>
#include <vector>

#include "base/io_error.hpp"
#include "base/report.hpp"
#include "convert/postfile_job.hpp"
#include "io/files.hpp"
#include "io/platform.hpp"
#include "setup/setup.hpp"

namespace kestrel::study {

namespace {

namespace fs = std::filesystem;

std::string quoted(const std::string& s) { return "'" + s + "'"; }

// A file of the study and how the message names it: "the POSTFILE 'A.BIN' of
// run 'r1'".
using StudyFile = io::NamedFile;

// The files of one run. Its control file read quietly: one that cannot be
// read fails later, in its run, as it always has.
void add_run(const RunTarget& run, std::vector<StudyFile>& files) {
  const std::string of = " of run " + quoted(run.given.empty() ? run.cfname : run.given);
  files.push_back({run.folder / io::path_from_utf8(run.cfname), "the control file" + of});
  files.push_back({run.folder / io::path_from_utf8(run.cfname + ".kst"), "the list file" + of});
  try {
    SilentReport quiet;
    const auto ctrl = setup(run.folder, run.cfname, quiet);
    if (!ctrl.ok()) return;
    for (const fs::path& p : ctrl->included) {
      const fs::path shown = p.lexically_relative(run.folder);
      files.push_back({p, "the included file " + quoted(io::utf8_of(shown.empty() ? p : shown)) + of});
    }
    for (const PostfileJob& job : postfile_jobs(*ctrl, run.folder)) {
      files.push_back({job.path, "the POSTFILE " + quoted(job.postfile.name) + of});
      for (const Output& out : job.outputs) files.push_back({out.path, "the dataset " + quoted(out.shown) + of});
    }
  } catch (const IoError&) {
    // A POSTFILE not there: the run fails later and says so.
  }
}

}  // namespace

void check_summary_name(const fs::path& path, const std::string& shown, std::span<const RunTarget> runs) {
  const std::string label = file_label("summary file", shown);
  // Its folder first: a study of hours must not end without its account.
  const fs::path folder = path.parent_path();
  std::error_code ec;
  const fs::file_status st = fs::status(folder, ec);
  if (st.type() == fs::file_type::not_found) throw io_error("cannot create", label, ENOENT);
  if (!ec && st.type() != fs::file_type::directory) throw io_error("cannot create", label, ENOTDIR);
  io::check_output_name(path, shown, label);

  std::vector<StudyFile> files;
  for (const RunTarget& run : runs) add_run(run, files);
  io::refuse_output_over_input(path, "--summary " + quoted(shown), "--summary's temporary file " + quoted(shown + ".part"),
                               files);
}

}  // namespace kestrel::study
