// Where the test data and the programs are. These absolute paths are this
// file's alone, so that every other test source compiles to the same object
// whichever folder the clone is in, and a compiler cache serves it.
#include "support.hpp"

namespace kestrel::test {

const char* test_data_dir() { return KESTREL_TEST_DATA_PATH; }
const char* averages_dir() { return KESTREL_AVERAGES_PATH; }
const char* kestrel_binary() { return KESTREL_BINARY_PATH; }
const char* join_binary() { return KESTREL_JOIN_BINARY_PATH; }

}  // namespace kestrel::test
