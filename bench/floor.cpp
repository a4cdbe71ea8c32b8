// The I/O floor of a conversion: reads every byte of each POSTFILE named
// POST*.BIN in DIR and writes a file of the dataset's size beside it,
// converting nothing. Same block size as the program. Given HOURS, it does
// the same for the formatted POSTFILEs POST*.PLT, of HOURS records each.
//
// usage: floor DIR RECEPTORS [HOURS]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: floor DIR RECEPTORS [HOURS]\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  const long nrec = std::atol(argv[2]);
  const long hours = argc > 3 ? std::atol(argv[3]) : -1;
  const char* kind = hours >= 0 ? ".PLT" : ".BIN";
  // Blocks of 1 MiB less 4 bytes, for reading and writing. On the benchmark
  // machine (a virtual machine whose host takes back memory the guest frees)
  // page-aligned 1 MiB writes are put into large page-cache folios that the
  // host must supply afresh, and two runs in five took three to five times
  // as long; blocks that are not page multiples get small folios and run as
  // fast as the aligned ones' good runs, every time. The reads behave alike.
  const std::size_t block = (std::size_t{1} << 20) - 4;
  std::vector<char> in_buf(block);
  std::vector<char> out_buf(block, ' ');
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("POST", 0) != 0 || e.path().extension() != kind) continue;
    const long size = static_cast<long>(std::filesystem::file_size(e.path()));
    // Dataset size: header + per record 40 + 40 + 8 + 15 + 4 * nrec; the
    // record count follows from the POSTFILE's size (8-byte or 4-byte).
    const long rec8 = 24 + 8 * nrec;
    const long rec4 = 24 + 4 * nrec;
    const long records = hours >= 0 ? hours : (size % rec8 == 0) ? size / rec8 : size / rec4;
    const long out_size = 1023 + 8 + 12 * nrec + records * (103 + 4 * nrec);
    std::FILE* in = std::fopen(e.path().c_str(), "rb");
    std::FILE* out = std::fopen((e.path().string() + ".gdx.part").c_str(), "wb");
    std::setvbuf(in, nullptr, _IONBF, 0);
    std::setvbuf(out, nullptr, _IONBF, 0);
    // Reading and writing interleave as in a conversion: after each block
    // read, the output written so far keeps pace with the input.
    std::size_t total = 0;
    long written = 0;
    for (;;) {
      const std::size_t n = std::fread(in_buf.data(), 1, in_buf.size(), in);
      total += n;
      const long due = size > 0 ? static_cast<long>(static_cast<double>(total) / size * out_size) : out_size;
      while (due - written >= static_cast<long>(out_buf.size()) || (n < in_buf.size() && written < out_size)) {
        const auto m = static_cast<std::size_t>(std::min<long>(out_size - written, static_cast<long>(out_buf.size())));
        std::fwrite(out_buf.data(), 1, m, out);
        written += static_cast<long>(m);
      }
      if (n < in_buf.size()) break;
    }
    std::fclose(in);
    std::fclose(out);
    std::filesystem::rename(e.path().string() + ".gdx.part", e.path().string() + ".gdx");
    if (total != static_cast<std::size_t>(size)) return 1;
  }
  return 0;
}
