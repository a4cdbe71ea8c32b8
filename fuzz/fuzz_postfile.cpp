// The whole conversion of a fuzzed POSTFILE against a fixed, valid control
// record (with and without an ME STARTEND line).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "convert/comp.hpp"
#include "base/io_error.hpp"
#include "base/text.hpp"
#include "work_dir.hpp"

namespace {

kestrel::Ctrl control(bool startend) {
  kestrel::Ctrl c;
  c.nrecin = 3;
  c.xrecin[0] = 0.0F, c.yrecin[0] = 0.0F;
  c.xrecin[1] = 4.0F, c.yrecin[1] = 1.0F;
  c.xrecin[2] = -1.0F, c.yrecin[2] = 2.5F;
  c.isyr = 88, c.ismo = 1, c.isday = 1, c.isjul = 1, c.ishr = 1;
  c.ieyr = 88, c.iemo = 1, c.ieday = 2, c.iejul = 2, c.iehr = 24;
  c.lstartend = startend;
  c.nfil = 1;
  c.aernam[0] = kestrel::fixed("POST.BIN", 132);
  c.aerspec = kestrel::fixed("SO2", 12);
  return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto& dir = kestrel::fuzz::work_dir("post");
  {
    std::ofstream out(dir / "POST.BIN", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  kestrel::Qa qa;
  static const kestrel::Ctrl with_startend = control(true);
  static const kestrel::Ctrl without_startend = control(false);
  for (const kestrel::Ctrl* c : {&with_startend, &without_startend}) {
    const kestrel::Ctrl& ctrl = *c;
    std::ostringstream console, err;
    kestrel::Channels ch(console, err);
    kestrel::Halt132 halt;
    try {
      ch.open_list(dir / "t.kst", "t.kst");
      kestrel::comp(ctrl, qa, ch, dir, halt);
      ch.close_list();
    } catch (const kestrel::IoError&) {
      ch.close_list_quietly();
    }
  }
  return 0;
}
