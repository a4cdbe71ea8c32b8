#include "join/command.hpp"

#include <cerrno>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <vector>

#include "base/interrupt.hpp"
#include "base/io_error.hpp"
#include "base/text.hpp"
#include "base/version.hpp"
#include "convert/postfile_job.hpp"
#include "dataset/dataset_file.hpp"
#include "dataset/join_list.hpp"
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
    "written, OUTPUT is an input or not a regular file (a device, a FIFO), or\n"
    "a usage error; 130, 143 or 129 after Ctrl-C, SIGTERM or SIGHUP (a closed\n"
    "terminal).\n"
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

std::string in_quotes(const std::string& name) { return "'" + name + "'"; }

// The names on the command line as files: an output that is one of the
// inputs is a usage error (exit 2); an input given twice is refused.
void check_names(const Options& o, const std::filesystem::path& output, const std::vector<std::filesystem::path>& in) {
  std::vector<io::NamedFile> named;
  named.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) named.push_back({in[i], "the input " + in_quotes(o.inputs[i])});
  io::refuse_output_over_input(
      output, "the output " + in_quotes(o.output),
      "the output's temporary file " + in_quotes(io::utf8_of(dataset::DatasetFile::temporary_for(output).filename())),
      named);
  // By each file's identity, found once: a thousand inputs are checked at once.
  std::map<io::FileId, std::size_t> first;
  for (std::size_t i = 0; i < in.size(); ++i) {
    const auto id = io::file_id(in[i]);
    if (!id) continue;
    const auto [at, added] = first.emplace(*id, i);
    if (!added) throw Refusal(in_quotes(o.inputs[i]) + " and " + in_quotes(o.inputs[at->second]) + " are the same file");
  }
}

std::string count_of(std::int64_t n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// Values that are not numbers go through as they are, said once per input.
void warn(const Options& o, const Joined& j, std::ostream& err) {
  for (std::size_t i = 0; i < j.nans.size(); ++i) {
    if (j.nans[i] == 0 && j.infinities[i] == 0) continue;
    std::string what;
    if (j.nans[i] > 0) what = count_of(j.nans[i], "NaN value");
    if (j.infinities[i] > 0) what += (what.empty() ? "" : " and ") + count_of(j.infinities[i], "infinite value");
    err << "kestrel-join: WARNING: " << in_quotes(o.inputs[i]) << " holds " << what << "; joined as they are\n";
  }
  if (j.overflows > 0) {
    err << "kestrel-join: WARNING: " << count_of(j.overflows, "sum") << " of finite values "
        << (j.overflows == 1 ? "is" : "are") << " past the largest single-precision number; written as infinite\n";
  }
  err.flush();
}

std::string_view mode_option(Mode m) {
  switch (m) {
    case Mode::receptors:
      return "--receptors";
    case Mode::sum:
      return "--sum";
    case Mode::time:
      break;
  }
  return "--time";
}

// What the dataset was joined from, beside it; written whole and renamed
// into place, as the dataset is.
void write_join_list(const Options& o, const std::filesystem::path& output,
                     const std::vector<std::filesystem::path>& paths, const Joined& j, const io::FileCrc& crc) {
  std::string text = dataset::join_list_head(mode_option(o.mode)) + "\n";
  for (std::size_t i = 0; i < paths.size(); ++i) {
    text += " input " + std::to_string(i + 1) + ": " + dataset::join_input_line(o.inputs[i], paths[i]) + "\n";
  }
  text += " " + dataset_line(o.output, j.periods, j.receptors, j.first, j.last) + "\n";
  text += " " + crc_line(o.output, crc) + "\n";
  const std::filesystem::path list = dataset::join_list_for(output);
  std::filesystem::path part = list;
  part += ".part";
  const std::string label = file_label("list file", o.output + ".kst");
  {
    io::FileSink sink(part, label);
    sink.write(std::as_bytes(std::span(text.data(), text.size())));
    sink.close();
  }
  std::error_code ec;
  std::filesystem::rename(part, list, ec);
  if (ec) {
    // Where a rename does not replace a file (some Windows file systems).
    std::error_code gone;
    std::filesystem::remove(list, gone);
    std::filesystem::rename(part, list, ec);
  }
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(part, ignored);
    throw io_error("cannot create", label, ec.message());
  }
}

int join_files(const Options& o, const std::filesystem::path& dir, std::ostream& out, std::ostream& err,
               LineProgress& progress) {
  const std::filesystem::path output = dir / io::path_from_utf8(o.output);
  // A folder, a device or a FIFO at the output's name fails before any
  // input is read; a link to a folder too.
  const std::string label = file_label("dataset", o.output);
  io::check_output_name(output, o.output, label);
  io::check_output_name(dataset::join_list_for(output), o.output + ".kst", file_label("list file", o.output + ".kst"));
  std::error_code ec;
  if (std::filesystem::is_directory(output, ec)) throw io_error("cannot create", label, EISDIR);
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
  write_join_list(o, output, paths, j, file->written());
  progress.erase();
  if (j.shared_places > 0) {
    out << "kept " << count_of(j.shared_places, "receptor") << " at places an earlier input's receptors hold, as an "
        << "uncut run keeps them: " << j.first_shared << (j.shared_places > 1 ? ", ..." : "") << '\n';
  }
  out << dataset_line(o.output, j.periods, j.receptors, j.first, j.last) << '\n';
  out.flush();
  warn(o, j, err);
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
    return join_files(o, dir, out, err, progress);
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
