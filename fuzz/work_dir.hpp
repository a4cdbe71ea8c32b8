// A scratch folder per fuzzing process for the targets that work on files.
#pragma once

#include <filesystem>
#include <string>

#include "io/platform.hpp"

namespace kestrel::fuzz {

inline const std::filesystem::path& work_dir(const char* name) {
  static const std::filesystem::path dir = [name] {
    auto d = std::filesystem::temp_directory_path() /
             ("kestrel-fuzz-" + std::string(name) + "-" + std::to_string(io::process_id()));
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

}  // namespace kestrel::fuzz
