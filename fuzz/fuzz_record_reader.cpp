// The record reader on arbitrary bytes: any list size, rewinds, views.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "io/record_io.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first two bytes choose the list sizes and the buffer size.
  const std::size_t need = data[0];
  const std::size_t buffer = 8 + data[1] * 4U;
  const std::span<const std::byte> file(reinterpret_cast<const std::byte*>(data + 2), size - 2);
  kestrel::io::MemorySource src(file);
  kestrel::io::RecordReader reader(src, buffer);
  std::vector<std::byte> dest(need);
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < 10000; ++i) {
      kestrel::io::ReadOutcome outcome;
      if (i % 2 == 0 || need + 4 > buffer) {
        outcome = reader.read(dest);
      } else {
        std::span<const std::byte> view;
        outcome = reader.read_view(need, view);
        if (view.size() > need) std::abort();
      }
      if (outcome == kestrel::io::ReadOutcome::end_of_file) break;
    }
    reader.rewind();
  }
  return 0;
}
