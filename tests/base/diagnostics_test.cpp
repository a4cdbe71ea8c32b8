#include "base/free_line.hpp"

#include <gtest/gtest.h>

#include "base/case320.hpp"
#include "base/text.hpp"

namespace kestrel {
namespace {

TEST(FreeLine, LayoutRules) {
  struct Case {
    FreeLine line;
    std::string want;
  };
  const Case cases[] = {
      {FreeLine(), " "},
      {FreeLine().text("Requested length: ").i32(400), " Requested length: " + std::string(9, ' ') + "400"},
      {FreeLine().text("abc   "), " abc   "},
      {FreeLine().i32(-5), "          -5"},
      {FreeLine().text("a").i32(1).text("b"), " a           1 b"},
      {FreeLine().i32(1).i32(2), "           1           2"},
      {FreeLine().text("x").i32(-2147483648), " x -2147483648"},
      {FreeLine().text("a").text("b"), " ab"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.line.str(), c.want);
  EXPECT_EQ(FreeLine().text("Requested length: ").i32(400).str().size(), 31U);
}

TEST(FixedText, PadCutTrim) {
  EXPECT_EQ(fixed("AB", 4), "AB  ");
  EXPECT_EQ(fixed("ABCDE", 3), "ABC");
  EXPECT_EQ(len_trim("A B  "), 3U);
  EXPECT_EQ(len_trim("A\t"), 2U);  // a tab is not a blank
}

TEST(Case320, ConvertsOnlyTheLeadingAsciiLetters) {
  struct Case {
    std::string mode;
    std::string in;
    int nlim;
    std::string want;
  };
  const Case cases[] = {
      {"UPPER", "abc def", 7, "ABC DEF"},
      {"upper", "abc def", 3, "ABC def"},
      {"UPPER", "a1-\xe9z", 5, "A1-\xe9Z"},
      {"LOWER", "ABC", 2, "abC"},
      {"lower", "ABC", 0, "ABC"},
      {"UPPER", "abc", -3, "abc"},
  };
  for (const auto& c : cases) {
    std::string line = c.in;
    line.resize(320, ' ');
    const Status s = case320(c.mode, line, c.nlim);
    EXPECT_EQ(line.substr(0, c.in.size()), c.want) << c.mode << " " << c.in;
    EXPECT_TRUE(s.ok());
    EXPECT_TRUE(s.lines().empty());
  }
  std::string full(320, 'q');
  ASSERT_TRUE(case320("UPPER", full, 320).ok());
  EXPECT_EQ(full, std::string(320, 'Q'));
}

// Every byte value, at every position of an 8-character group and in the
// tail, against the plain rule.
TEST(Case320, EveryByteAtEveryPosition) {
  for (const char* mode : {"UPPER", "LOWER"}) {
    const bool upper = mode[0] == 'U';
    for (int shift = 0; shift < 8; ++shift) {
      std::string line(320, ' ');
      for (std::size_t i = 0; i < line.size(); ++i) line[i] = static_cast<char>((i * 7 + shift) % 256);
      for (const int nlim : {0, 5, 8, 13, 256, 319, 320}) {
        std::string got = line;
        ASSERT_TRUE(case320(mode, got, nlim).ok());
        for (std::size_t i = 0; i < line.size(); ++i) {
          char want = line[i];
          if (static_cast<int>(i) < nlim && upper && want >= 'a' && want <= 'z') want = static_cast<char>(want - 32);
          if (static_cast<int>(i) < nlim && !upper && want >= 'A' && want <= 'Z') want = static_cast<char>(want + 32);
          ASSERT_EQ(got[i], want) << mode << " shift " << shift << " nlim " << nlim << " at " << i;
        }
      }
    }
  }
}

TEST(Case320, Halts) {
  struct Case {
    std::string mode;
    int nlim;
    std::string status;
    std::string list;
  };
  const Case cases[] = {
      {"UPPER", 321, "Halted in CASE320 - string is too long   --   See the list file",
       " Halted in CASE320 - string is too long\n Maximum length  : 320\n Requested length:          321\n"},
      {"Upper", 5, "Halted in CASE320 - invalid output mode   --   See the list file",
       " Halted in CASE320 - invalid output mode\n Expected UPPER or LOWER\n Found: Upper\n"},
  };
  for (const auto& c : cases) {
    std::string line = fixed("abc", 320);
    const Status s = case320(c.mode, line, c.nlim);
    EXPECT_EQ(s.text(), c.status);
    std::string list;
    for (const auto& l : s.lines()) list += l + "\n";
    EXPECT_EQ(list, c.list);
    EXPECT_EQ(line, fixed("abc", 320));
  }
}

}  // namespace
}  // namespace kestrel
