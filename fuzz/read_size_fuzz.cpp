// The read size for any Content-Length value a server may send.
#include <cstdint>
#include <string>

#include "fuzz/support/fuzz_check.h"
#include "runtime/http/read_size.h"

using namespace snipora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string value(reinterpret_cast<const char*>(data), size);
  const uint64_t stated = StatedLength(value.c_str());
  const uint32_t read = ReadSizeFor(value.c_str());
  FUZZ_CHECK(stated <= kMostStatedLength);
  FUZZ_CHECK(stated == 0 ? read == kUnknownLengthRead : read >= 2 && read <= kLargestRead);
  return 0;
}
