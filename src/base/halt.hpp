// The 132-character status text that every phase hands back to the driver.
#pragma once

#include <string>
#include <string_view>

namespace kestrel {

inline constexpr std::size_t kHaltWidth = 132;
inline constexpr std::string_view kSeeListFile = "   --   See the list file";

class Halt132 {
 public:
  Halt132();

  // Success is told by the first six characters alone.
  [[nodiscard]] bool normal() const noexcept { return text_.compare(0, 6, "NORMAL") == 0; }

  // Overwrites the whole text: the message, the list-file pointer if asked
  // for, then blanks to column 132.
  void set(std::string_view message, bool pointer);

  [[nodiscard]] const std::string& text() const noexcept { return text_; }

 private:
  std::string text_;
};

}  // namespace kestrel
