// The I/O floor of a join: reads every byte of each input and writes OUTPUT
// of BYTES bytes (to OUTPUT.part, then renamed, as kestrel-join does),
// joining nothing. Reading and writing interleave as in a join; blocks of
// 1 MiB less 4 bytes, as kestrel_floor's (see floor.cpp).
//
// usage: join_floor OUTPUT BYTES INPUT...
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: join_floor OUTPUT BYTES INPUT...\n");
    return 2;
  }
  const std::string output = argv[1];
  const long out_size = std::atol(argv[2]);
  const std::size_t block = (std::size_t{1} << 20) - 4;
  std::vector<std::FILE*> in;
  long in_size = 0;
  for (int i = 3; i < argc; ++i) {
    in.push_back(std::fopen(argv[i], "rb"));
    if (in.back() == nullptr) return 1;
    std::setvbuf(in.back(), nullptr, _IONBF, 0);
    in_size += static_cast<long>(std::filesystem::file_size(argv[i]));
  }
  std::FILE* out = std::fopen((output + ".part").c_str(), "wb");
  std::setvbuf(out, nullptr, _IONBF, 0);
  std::vector<char> in_buf(block);
  std::vector<char> out_buf(block, ' ');
  long total = 0, written = 0;
  // The inputs a block each in turn, as a join reads them side by side.
  for (bool any = true; any;) {
    any = false;
    for (std::FILE* f : in) {
      const std::size_t n = std::fread(in_buf.data(), 1, in_buf.size(), f);
      if (n == 0) continue;
      any = true;
      total += static_cast<long>(n);
      const long due = static_cast<long>(static_cast<double>(total) / static_cast<double>(in_size) * out_size);
      while (due - written >= static_cast<long>(out_buf.size())) {
        std::fwrite(out_buf.data(), 1, out_buf.size(), out);
        written += static_cast<long>(out_buf.size());
      }
    }
  }
  while (written < out_size) {
    const auto m = static_cast<std::size_t>(std::min<long>(out_size - written, static_cast<long>(out_buf.size())));
    std::fwrite(out_buf.data(), 1, m, out);
    written += static_cast<long>(m);
  }
  for (std::FILE* f : in) std::fclose(f);
  std::fclose(out);
  std::filesystem::rename(output + ".part", output);
  return total == in_size ? 0 : 1;
}
