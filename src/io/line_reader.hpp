// Text lines of a control or receptor file, through a large buffer. Only the
// first 320 characters of a line are kept; a carriage return before the line
// end (files written on Windows) is removed.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "base/text.hpp"
#include "io/files.hpp"

namespace kestrel::io {

class LineReader {
 public:
  

  LineReader(FilePtr file, std::string label);

  // The next line, at most 320 characters; false at end of file.
  bool next(std::string& line);

 private:
  bool refill();

  FilePtr file_;
  std::string label_;
  std::vector<char> buffer_;
  std::size_t at_ = 0;
  std::size_t len_ = 0;
  bool eof_ = false;
  bool started_ = false;
};

}  // namespace kestrel::io
