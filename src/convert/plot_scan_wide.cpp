// The scan loop built for AVX2. Only called once the processor is known to
// have it; see plot_scan_loop.hpp for why nothing here is shared.
#include <cstddef>

#include "convert/plot_scan_loop.hpp"

namespace kestrel::plot {

void scan_avx2(const char* text, std::size_t begin, std::size_t end, Scan& out) noexcept {
  scan_loop<true>(text, begin, end, out);
}

}  // namespace kestrel::plot
