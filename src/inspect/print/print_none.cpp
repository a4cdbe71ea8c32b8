// A build without librsvg and cairo: --png and --pdf are refused before
// anything is read, so these are never reached.
#include "inspect/failure.hpp"
#include "inspect/print/print.hpp"

namespace kestrel::inspect {

bool print_available() { return false; }

std::string png_of(std::string_view, int) { throw Failure("--png is not available in this build"); }

std::string pdf_of(std::string_view) { throw Failure("--pdf is not available in this build"); }

}  // namespace kestrel::inspect
