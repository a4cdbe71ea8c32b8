// The list file kestrel-join keeps beside a joined dataset (`<dataset>.kst`,
// as kestrel keeps one beside a control file): how and when it was joined,
// and from which inputs, each with its size and modification time, so that
// a joined dataset says what it stands for.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::dataset {

// The list file of the dataset at `path`.
std::filesystem::path join_list_for(const std::filesystem::path& path);

// An input as the list file names it: "n1/ALL_01H.BIN.gdx, 123456 bytes,
// modified 2026-12-08T19:20:11Z".
std::string join_input_line(std::string_view name, const std::filesystem::path& path);

// The list file's first line: "KESTREL-JOIN <version> (level <level>): --receptors, 2026-12-08T19:30:05Z".
std::string join_list_head(std::string_view mode);

// Its lines (the first without "KESTREL-JOIN "), when `path` has a join
// list file beside it that reads as one; nothing otherwise.
std::optional<std::vector<std::string>> read_join_list(const std::filesystem::path& path);

}  // namespace kestrel::dataset
