// Running kestrel-inspect in the tests: its exit status and both outputs.
#pragma once

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "inspect/inspect.hpp"
#include "support.hpp"

namespace kestrel::inspect {

struct Result {
  int status;
  std::string out, err;
};

inline Result inspect(std::vector<std::string> args) {
  std::ostringstream out, err;
  const int status = run_inspect(args, out, err);
  return {status, out.str(), err.str()};
}


// The runs of tests/data and helpers for the map's tests.
namespace fs = std::filesystem;

inline const fs::path kData = KESTREL_TEST_DATA;

// A number in a file or a tool's output, whatever the locale the tests run under.
inline double number(const std::string& text) {
  double v = NAN;
  std::from_chars(text.data(), text.data() + text.size(), v);
  return v;
}

// The numbers of a line, split at blanks and tabs.
inline std::vector<double> numbers(const std::string& line) {
  std::vector<double> out;
  std::stringstream words(line);
  for (std::string w; words >> w;) out.push_back(number(w));
  return out;
}

// A copy of a run's inputs, converted by kestrel when `convert`.
inline void run_copy(const fs::path& from, const test::TempDir& dir, bool convert = true) {
  for (const auto& e : fs::directory_iterator(from)) fs::copy_file(e.path(), dir / e.path().filename().string());
  if (convert) {
    ASSERT_EQ(test::run_in(dir.path()).status, 0);
  }
}

// Runs a program found on PATH; nothing when it is not there.
inline std::optional<test::RunResult> tool(const std::string& name, const std::vector<std::string>& args,
                                    const fs::path& dir) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "");
  for (std::string d; std::getline(dirs, d, ':');) {
    std::error_code ec;
    if (!d.empty() && fs::is_regular_file(fs::path(d) / name, ec)) return test::run_program(fs::path(d) / name, args, dir);
  }
  return std::nullopt;
}

}  // namespace kestrel::inspect
