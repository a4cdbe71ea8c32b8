#include "support.hpp"

#include <chrono>
#include <cstdlib>

#include "base/free_line.hpp"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <charconv>
#include <bit>
#include <clocale>
#include <cstring>
#include <fstream>
#include <locale>
#include <random>
#include <sstream>
#include <thread>
#include <system_error>
#include <stdexcept>

#include "dataset/header.hpp"
#include "io/byte_order.hpp"
#include "setup/setup.hpp"
#include "study/study.hpp"

namespace kestrel::test {

void RecordingReport::warn(std::string_view text) {
  note(free_line(text));
  err.append(text).append("\n");
}


namespace {
// The tests take the number and character conventions of the locale that
// the environment names, as a program embedding this code might: CI runs them
// once under a decimal comma to show that no number is read or written
// through the global locale. (Messages stay untranslated: their texts are
// compared.)
const bool kEnvironmentLocale = [] {
  if (std::setlocale(LC_NUMERIC, "") == nullptr || std::setlocale(LC_CTYPE, "") == nullptr) return false;
  try {
    const std::locale env("");
    std::locale::global(std::locale(std::locale::classic(), env, std::locale::numeric | std::locale::ctype));
  } catch (const std::runtime_error&) {
    return false;
  }
  return true;
}();
}  // namespace

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device rd;
  path_ = std::filesystem::temp_directory_path() /
          ("kestrel-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

Bytes read_bytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Bytes b(s.size());
  if (!s.empty()) std::memcpy(b.data(), s.data(), s.size());
  return b;
}

std::string read_text(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return normalised_text({(std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()});
}

void write_bytes(const std::filesystem::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

void write_text(const std::filesystem::path& p, std::string_view s) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(s.data(), static_cast<std::streamsize>(s.size()));
}

SetupRun run_setup(const std::string& control, const std::vector<std::pair<std::string, std::string>>& files) {
  TempDir dir;
  write_text(dir / "AERMOD.INP", control);
  for (const auto& [name, text] : files) write_text(dir / name, text);
  SetupRun r;
  RecordingReport report;
  auto ctrl = setup(dir.path(), "AERMOD.INP", report);
  if (ctrl.ok()) {
    r.ctrl = std::move(*ctrl);
  } else {
    r.halt = std::move(ctrl).status();
    report.lines_of(r.halt);
  }
  r.list = report.list;
  return r;
}

RunResult run_in(const std::filesystem::path& dir, std::vector<std::string> args) {
  std::ostringstream console;
  std::ostringstream err;
  RunResult r;
  r.status = kestrel::run(args, dir, console, err);
  r.console = console.str();
  r.err = err.str();
  return r;
}

void set_env(const char* name, const char* value) {
#if defined(_WIN32)
  _putenv_s(name, value);
#else
  if (*value == '\0') {
    unsetenv(name);
  } else {
    setenv(name, value, 1);
  }
#endif
}

#ifdef _WIN32

namespace {

// One argument as the C runtime splits a command line: quoted, with the
// backslashes before a quote doubled.
std::wstring quoted(const std::wstring& arg) {
  std::wstring q = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    q.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    q.push_back(c);
  }
  q.append(2 * backslashes, L'\\');
  q.push_back(L'"');
  return q;
}

HANDLE inheritable(const std::filesystem::path& p, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return CreateFileW(p.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, disposition, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

HANDLE handle_of(std::intptr_t id) { return reinterpret_cast<HANDLE>(id); }

}  // namespace

Process::Process(const std::filesystem::path& program, const std::vector<std::string>& args,
                 const std::filesystem::path& dir, std::uint64_t) {
  const std::filesystem::path exe = std::filesystem::absolute(program);
  std::wstring command = quoted(exe.wstring());
  for (const auto& a : args) command += L" " + quoted(std::filesystem::path(std::u8string(a.begin(), a.end())).wstring());
  HANDLE in = inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
  HANDLE out = inheritable(capture_ / "out", GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE err = inheritable(capture_ / "err", GENERIC_WRITE, CREATE_ALWAYS);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = out;
  si.hStdError = err;
  PROCESS_INFORMATION pi{};
  const BOOL ok = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(), &si, &pi);
  const DWORD error = GetLastError();
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  if (!ok) throw std::system_error(static_cast<int>(error), std::system_category(), "CreateProcess " + exe.string());
  CloseHandle(pi.hThread);
  id_ = reinterpret_cast<std::intptr_t>(pi.hProcess);
}

Process::~Process() {
  if (!done_) {
    kill();
    wait();
  }
  CloseHandle(handle_of(id_));
}

void Process::kill() noexcept {
  if (WaitForSingleObject(handle_of(id_), 0) == WAIT_TIMEOUT && TerminateProcess(handle_of(id_), 255)) killed_ = true;
}

RunResult Process::wait() {
  WaitForSingleObject(handle_of(id_), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(handle_of(id_), &code);
  done_ = true;
  RunResult r;
  r.status = killed_ ? -1 : static_cast<int>(code);
  r.console = read_text(capture_ / "out");
  r.err = read_text(capture_ / "err");
  return r;
}

bool Process::interrupt(int) noexcept { return false; }

bool can_limit_address_space() noexcept { return false; }

std::string normalised_text(std::string text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out.push_back(text[i]);
  }
  return out;
}

#else

Process::Process(const std::filesystem::path& program, const std::vector<std::string>& args,
                 const std::filesystem::path& dir, std::uint64_t address_space_limit) {
  std::vector<std::string> words{program.string()};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const std::string out = (capture_ / "out").string();
  const std::string err = (capture_ / "err").string();
  if (address_space_limit > 0) {
    // The limit is set in the child alone: a test process that has grown
    // past it (all tests in one process) could not even spawn under it.
    const std::string where = dir.string();
    const rlim_t limit = static_cast<rlim_t>(address_space_limit);
    const pid_t child = fork();
    if (child < 0) throw std::system_error(errno, std::generic_category(), "fork " + words[0]);
    if (child == 0) {
      // Only calls that are safe after fork in a threaded process.
      rlimit now{};
      getrlimit(RLIMIT_AS, &now);
      const rlimit limited{limit, now.rlim_max};
      const int in = open("/dev/null", O_RDONLY);
      const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || o < 0 || e < 0 || dup2(in, 0) < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0 || chdir(where.c_str()) != 0 ||
          setrlimit(RLIMIT_AS, &limited) != 0) {
        _exit(127);
      }
      execve(argv[0], argv.data(), environ);
      _exit(127);
    }
    id_ = child;
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::system_error(rc, std::generic_category(), "posix_spawn " + words[0]);
  id_ = pid;
}

Process::~Process() {
  if (!done_) {
    kill();
    wait();
  }
}

void Process::kill() noexcept {
  if (!done_ && !killed_) killed_ = ::kill(static_cast<pid_t>(id_), SIGKILL) == 0;
}

RunResult Process::wait() {
  int status = 0;
  while (waitpid(static_cast<pid_t>(id_), &status, 0) < 0 && errno == EINTR) {
  }
  done_ = true;
  RunResult r;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.console = read_text(capture_ / "out");
  r.err = read_text(capture_ / "err");
  return r;
}

bool Process::interrupt(int sig) noexcept { return !done_ && ::kill(static_cast<pid_t>(id_), sig) == 0; }

bool can_limit_address_space() noexcept { return true; }

std::string normalised_text(std::string text) { return text; }

#endif

bool names_can_differ_by_case() {
  const TempDir dir;
  write_text(dir / "case", "a");
  write_text(dir / "CASE", "b");
  return read_text(dir / "case") == "a";
}

RunResult run_program(const std::filesystem::path& program, const std::vector<std::string>& args,
                      const std::filesystem::path& dir, std::uint64_t address_space_limit) {
  Process p(program, args, dir, address_space_limit);
  RunResult r = p.wait();
  r.console = normalised_text(std::move(r.console));
  r.err = normalised_text(std::move(r.err));
  return r;
}

std::string fixed_field(double v, int width, int decimals) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  std::string s(buf, res.ptr);
  if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), ' ');
  return s;
}

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) nl = text.size();
    out.emplace_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return out;
}

std::string first_difference(const Bytes& got, const Bytes& want) {
  const std::size_t n = std::min(got.size(), want.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (got[i] != want[i]) {
      std::ostringstream s;
      s << "first difference at byte " << i << ": got " << std::to_integer<int>(got[i]) << ", want "
        << std::to_integer<int>(want[i]);
      return s.str();
    }
  }
  if (got.size() != want.size()) {
    return "sizes differ: got " + std::to_string(got.size()) + ", want " + std::to_string(want.size());
  }
  return "";
}

// The header item by item, each field where a reader expects it.
Bytes expected_header(const dataset::HeaderArgs& a) {
  ByteBuilder b;
  b.text("CONC.DAT", 16).text("2.1", 16).text("No-Obs file structure with embedded control file", 64).record();
  b.i32(2).record();
  b.text("Produced by KESTREL Version: 1.21  Level: 100301", 132).record();
  b.text("NO Internal Coordinate Transformations", 132).record();
  b.text("AERMOD", 12).text("00000", 12).text("00000", 12);
  b.i32(a.iyrb).i32(a.ijulb).i32(a.ihrb).i32(0).f32(5.0F).i32(a.irlg).i32(1).i32(3600).i32(2).i32(2);
  b.f32(a.dxkm).f32(a.dxkm).i32(1).f32(a.xorigkm).f32(a.yorigkm).i32(1);
  b.i32(1).i32(2).i32(1).i32(2);  // computational grid: columns, then rows
  b.i32(1).i32(1).i32(2).i32(2);  // sampling grid: first column, first row, last column, last row
  b.i32(1).i32(1).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0);
  b.i32(static_cast<std::int32_t>(a.xrec.size())).i32(0).i32(0).i32(1).i32(0).i32(1).i32(19);
  b.f32(0.0F).f32(0.0F).f32(40.0F).f32(-97.0F).f32(33.0F).f32(45.0F);
  b.text("UTM", 8).text("N", 4).text("WGS-84", 8).text("02-21-2003", 12);
  b.text("40.0 N", 16).text("97.0 W", 16).text("33.0 N", 16).text("45.0 N", 16).record();
  b.text(a.atitle[0]).text(a.atitle[1]);
  b.text("Conversion Factor to g/m3:" + std::string(11, ' ') + "0.1000000E-05" + std::string(30, ' ')).record();
  b.text(a.speclev).record();
  if (!a.xrec.empty()) {
    for (float v : a.xrec) b.f32(v);
    for (float v : a.yrec) b.f32(v);
    for (float v : a.zrec) b.f32(v);
    b.record();
  }
  b.i32(1).text(a.csrcnam).record();
  return b.bytes();
}

bool wait_for_growth(const std::filesystem::path& grown, std::uintmax_t bytes) {
  for (int i = 0; i < 20000; ++i) {
    std::error_code ec;
    if (std::filesystem::exists(grown, ec) && std::filesystem::file_size(grown, ec) > bytes) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return false;
}

}  // namespace kestrel::test
