// Datasets of one study, split into several runs, joined into the dataset
// KESTREL would have written for the whole run: by receptors (a receptor
// grid cut into chunks), by sum (the same receptors and hours for different
// sources) or by time (successive stretches of the same receptors).
//
// Every check is made before the first byte of the output: the headers,
// then one pass over every input's period heads. The output is then written
// in a second pass, period by period, holding one period of every input.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "datetime/datetime.hpp"
#include "io/files.hpp"
#include "io/record_io.hpp"

namespace kestrel::join {

enum class Mode { receptors, sum, time };

// The inputs do not fit together, or one is not such a dataset: what() is
// the message, naming the first misfit (exit status 1).
class Refusal : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An input: how messages name it, and its bytes.
struct Input {
  std::string name;
  io::ByteSource* bytes = nullptr;
};

// Told how far a join has come; `lead` names its phase ("checking",
// "joining"), bytes count the inputs' bytes covered.
class Progress {
 public:
  virtual ~Progress() = default;
  virtual void phase(std::string_view lead, std::uint64_t total) = 0;
  virtual void advance(std::uint64_t bytes) = 0;
};

// What was written.
struct Joined {
  std::int64_t periods = 0;
  std::size_t receptors = 0;
  DateHour first, last;  // the first and last period's ends
  // Values carried through that are not numbers, per input in the order
  // given: NaN, and infinite; and sums of finite values past the largest
  // single-precision number, written as infinite.
  std::vector<std::int64_t> nans, infinities;
  std::int64_t overflows = 0;
  // By receptors: receptors standing where one of an earlier input stands
  // (kept, as the uncut run keeps them), and the first in words.
  std::size_t shared_places = 0;
  std::string first_shared;
};

// Checks that `inputs` fit together for `mode` (throws Refusal), then calls
// `open_output` for the writer of the output and writes the joined dataset
// through it, flushed. Files that cannot be read throw IoError; Ctrl-C and
// SIGTERM throw Interrupted between periods.
Joined join(Mode mode, std::span<const Input> inputs, const std::function<io::RecordWriter&()>& open_output,
            Progress* progress = nullptr);

}  // namespace kestrel::join
