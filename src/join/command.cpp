#include "join/command.hpp"

#include <cerrno>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <vector>

#include "base/interrupt.hpp"
#include "base/io_error.hpp"
#include "base/version.hpp"
#include "convert/postfile_job.hpp"
#include "dataset/dataset_file.hpp"
#include "io/files.hpp"
#include "io/platform.hpp"
#include "io/progress.hpp"
#include "io/record_io.hpp"
#include "join/join.hpp"
#include "join/options.hpp"

namespace kestrel::join {

namespace {

constexpr std::string_view kUsage =
    "usage: kestrel-join MODE -o OUTPUT INPUT...\n"
    "\n"
    "Joins CONC.DAT datasets (version 2.1) of an AERMOD run that was split into\n"
    "several runs into the dataset kestrel would have written for the whole run.\n"
    "MODE is one of\n"
    "  --receptors  the inputs hold the same hours for different receptors (a\n"
    "               receptor grid cut into chunks): OUTPUT holds every input's\n"
    "               receptors, in the order the inputs are given\n"
    "  --sum        the inputs hold the same receptors and hours for different\n"
    "               sources: each value of OUTPUT is the sum of the inputs'\n"
    "  --time       the inputs hold the same receptors for successive stretches\n"
    "               of time (a year each): OUTPUT holds their periods one after\n"
    "               the other; each input's first period must end one hour after\n"
    "               the previous input's last\n"
    "Every input is checked before OUTPUT is written. OUTPUT is written to\n"
    "OUTPUT.part, renamed into place when complete.\n"
    "\n"
    "Exit status: 0 OUTPUT written, 1 refused (the inputs do not fit together,\n"
    "or one is not such a dataset), 2 a file could not be opened, read or\n"
    "written, or a usage error; 130, 143 or 129 after Ctrl-C, SIGTERM or\n"
    "SIGHUP (a closed terminal).\n"
    "\n"
    "  -o, --output OUTPUT  the dataset to write\n"
    "  -h, --help           show this help and exit\n"
    "      --version        show the version and level and exit\n"
    "      --               end of options\n";

// The progress line over both passes.
class LineProgress final : public Progress {
 public:
  explicit LineProgress(std::ostream& err) : line_(err, io::progress_mode()) {}
  void phase(std::string_view lead, std::uint64_t total) override {
    lead_ = lead;
    total_ = total;
    done_ = 0;
    phase_start_ = line_.seconds();
  }
  void advance(std::uint64_t bytes) override {
    done_ += bytes;
    if (!line_.due()) return;
    line_.draw(io::progress_text(lead_, done_, total_, line_.seconds() - phase_start_));
  }
  void erase() { line_.erase(); }

 private:
  io::ProgressLine line_;
  std::string lead_;
  std::uint64_t total_ = 0;
  std::uint64_t done_ = 0;
  double phase_start_ = 0.0;
};

bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec) && !ec;
}

std::string in_quotes(const std::string& name) { return "'" + name + "'"; }

// The names on the command line as files; refuses an output that is one
// of the inputs and an input given twice.
void check_names(const Options& o, const std::filesystem::path& output, const std::vector<std::filesystem::path>& in) {
  const std::filesystem::path part = dataset::DatasetFile::temporary_for(output);
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (same_file(output, in[i])) {
      throw Refusal("the output " + in_quotes(o.output) + " is the input " + in_quotes(o.inputs[i]));
    }
    if (same_file(part, in[i])) {
      throw Refusal("the output's temporary file " + in_quotes(io::utf8_of(part.filename())) + " is the input " +
                    in_quotes(o.inputs[i]));
    }
    for (std::size_t k = 0; k < i; ++k) {
      if (same_file(in[i], in[k])) {
        throw Refusal(in_quotes(o.inputs[i]) + " and " + in_quotes(o.inputs[k]) + " are the same file");
      }
    }
  }
}

int join_files(const Options& o, const std::filesystem::path& dir, std::ostream& out, LineProgress& progress) {
  const std::filesystem::path output = dir / io::path_from_utf8(o.output);
  // A folder at the output's name fails before any input is read.
  std::error_code ec;
  if (std::filesystem::is_directory(output, ec)) throw io_error("cannot create", file_label("dataset", o.output), EISDIR);
  std::vector<std::filesystem::path> paths;
  std::vector<std::unique_ptr<io::FileSource>> sources;
  std::vector<Input> inputs;
  for (const std::string& name : o.inputs) {
    paths.push_back(dir / io::path_from_utf8(name));
    sources.push_back(std::make_unique<io::FileSource>(paths.back(), file_label("dataset", name)));
  }
  check_names(o, output, paths);
  for (std::size_t i = 0; i < o.inputs.size(); ++i) inputs.push_back({o.inputs[i], sources[i].get()});

  io::RecordWriter writer;
  std::optional<dataset::DatasetFile> file;
  const Joined j = join(o.mode, inputs, [&]() -> io::RecordWriter& {
    file.emplace(output, o.output, writer);
    return file->records();
  }, &progress);
  stop_if_interrupted();
  file->close();
  progress.erase();
  out << dataset_line(o.output, j.periods, j.receptors, j.first, j.last) << '\n';
  out.flush();
  return kExitWritten;
}

}  // namespace

int run_join(std::span<const std::string> args, const std::filesystem::path& dir, std::ostream& out,
             std::ostream& err) {
  const Options o = parse_options(args);
  switch (o.action) {
    case Options::Action::help:
      out << kUsage;
      return kExitWritten;
    case Options::Action::version:
      out << "kestrel-join " << mver << " (level " << mlevel << ")\n";
      return kExitWritten;
    case Options::Action::usage_error:
      err << o.error << "\nTry 'kestrel-join --help'.\n";
      return kExitUsage;
    case Options::Action::join:
      break;
  }
  LineProgress progress(err);
  const auto fail = [&](std::string_view message, int status) {
    progress.erase();
    out.flush();
    err << "kestrel-join: " << message << '\n';
    err.flush();
    return status;
  };
  try {
    return join_files(o, dir, out, progress);
  } catch (const Refusal& e) {
    return fail(e.what(), kExitRefused);
  } catch (const IoError& e) {
    return fail(e.what(), kExitIoFailure);
  } catch (const Interrupted& i) {
    fail("interrupted", 128 + i.signal);
    return 128 + i.signal;
  } catch (const std::bad_alloc&) {
    return fail("out of memory", kExitIoFailure);
  }
}

}  // namespace kestrel::join
