// A fuzzed dataset through the dataset reader (header, periods in order, by
// number and head by head) and through kestrel-join's three modes with two
// copies of it as inputs. The first byte chooses the periods read by number
// and the readers' block size; the rest is the dataset.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "dataset/dataset_reader.hpp"
#include "join/join.hpp"
#include "setup/params.hpp"

namespace {

using kestrel::dataset::DatasetError;
using kestrel::dataset::DatasetReader;
using kestrel::dataset::PeriodHead;

void read(std::span<const std::byte> file, std::uint8_t choice) {
  kestrel::io::MemorySource src(file);
  const std::size_t block = choice % 2 == 0 ? DatasetReader::kDefaultBlock : 200;
  try {
    DatasetReader r(src, static_cast<std::int32_t>(kestrel::MXREC), block);
    std::vector<float> values(r.receptors());
    if (r.periods() > 0) {
      const std::int64_t k = choice % r.periods();
      r.head(k);
      r.read(r.periods() - 1 - k, values);
      if (r.view(k).values.size() != 4 * r.receptors()) std::abort();
    }
    std::int64_t n = 0;
    r.scan([&](std::int64_t k, const PeriodHead&) {
      if (k != n++) std::abort();
    });
    PeriodHead h;
    std::int64_t m = 0;
    while (r.next(h, values)) ++m;
    if (m != r.periods() || n != m) std::abort();
  } catch (const DatasetError&) {
  }
}

void join(std::span<const std::byte> file, kestrel::join::Mode mode) {
  kestrel::io::MemorySource a(file), b(file);
  const std::vector<kestrel::join::Input> inputs = {{"a.gdx", &a}, {"b.gdx", &b}};
  kestrel::io::MemorySink sink;
  kestrel::io::RecordWriter writer(sink);
  try {
    const kestrel::join::Joined j = kestrel::join::join(mode, inputs, [&]() -> kestrel::io::RecordWriter& {
      return writer;
    });
    // What was written reads back: a dataset of the periods joined.
    kestrel::io::MemorySource out(sink.data);
    DatasetReader r(out, static_cast<std::int32_t>(kestrel::MXREC));
    if (r.periods() != j.periods || r.trailing_bytes() != 0) std::abort();
    r.scan([](std::int64_t, const PeriodHead&) {});
  } catch (const kestrel::join::Refusal&) {
  } catch (const DatasetError&) {
    std::abort();  // the output is always a dataset of this layout
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::span<const std::byte> file(reinterpret_cast<const std::byte*>(data + 1), size - 1);
  read(file, data[0]);
  for (const auto mode : {kestrel::join::Mode::receptors, kestrel::join::Mode::sum, kestrel::join::Mode::time}) {
    join(file, mode);
  }
  return 0;
}
