// The map printed: its SVG drawn into a PNG or a PDF in-process, through
// librsvg and cairo where the build has them.
#pragma once

#include <string>
#include <string_view>

namespace kestrel::inspect {

// Whether this build has librsvg and cairo: without them --png and --pdf
// are refused.
bool print_available();

// The document as PNG bytes at `dpi` pixels per inch (the SVG's px are 1/96
// inch), on white; throws Failure.
std::string png_of(std::string_view svg, int dpi);
// The document as a one-page PDF of its own size; throws Failure.
std::string pdf_of(std::string_view svg);

}  // namespace kestrel::inspect
