// Cutting the short address out of any page: what comes out stands in the
// page between the two markers, and nothing is read past the page's end.
#include <cstdint>
#include <string>

#include "app/short_address.h"
#include "fuzz/support/fuzz_check.h"

using namespace snipora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string page(reinterpret_cast<const char*>(data), size);  // its text ends at the first zero byte
  const Text cut = app::CutShortAddress(page.c_str());
  if (cut.empty()) return 0;
  const std::string framed = std::string("</b><br><small>[<a href=\"http://") + cut.c_str() +
                             "\" target=\"_blank\">Open in new window</a>]</small></blockquote>";
  FUZZ_CHECK(std::string(page.c_str()).find(framed) != std::string::npos);
  return 0;
}
