#include "dataset/join_list.hpp"

#include <chrono>
#include <fstream>
#include <system_error>

#include "base/text.hpp"
#include "base/version.hpp"

namespace kestrel::dataset {

namespace {

constexpr std::string_view kHead = "KESTREL-JOIN ";

std::string modified_utc(std::filesystem::file_time_type t) {
  return utc_text(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(std::chrono::file_clock::to_sys(t)));
}

}  // namespace

std::filesystem::path join_list_for(const std::filesystem::path& path) {
  std::filesystem::path p = path;
  p += ".kst";
  return p;
}

std::string join_input_line(std::string_view name, const std::filesystem::path& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  std::string line = std::string(name) + ", " + (ec ? std::string("size unknown") : std::to_string(size) + " bytes");
  const auto t = std::filesystem::last_write_time(path, ec);
  if (!ec) line += ", modified " + modified_utc(t);
  return line;
}

std::string join_list_head(std::string_view mode) {
  return std::string(kHead) + std::string(mver) + " (level " + std::string(mlevel) + "): " + std::string(mode) +
         ", " + utc_text(std::chrono::system_clock::now());
}

std::optional<std::vector<std::string>> read_join_list(const std::filesystem::path& path) {
  std::error_code ec;
  const auto list = join_list_for(path);
  if (!std::filesystem::is_regular_file(list, ec)) return std::nullopt;
  std::ifstream in(list, std::ios::binary);
  std::string line;
  if (!std::getline(in, line) || !line.starts_with(kHead)) return std::nullopt;
  std::vector<std::string> lines = {line.substr(kHead.size())};
  // A list file is short; one that is not is no list file of ours.
  while (std::getline(in, line) && lines.size() < 100000) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace kestrel::dataset
