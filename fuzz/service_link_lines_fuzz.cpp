// The reading of the service's JSON Lines (snipora-service import --from
// snipora) and of Kutt's pages: any bytes end in a defined outcome, and a
// line read and written again reads back as the same record, written as the
// same bytes.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/support/fuzz_check.h"
#include "service/core/kutt_pages.h"
#include "service/core/link_record.h"

using namespace snipora::service;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  LineReader lines(text);
  std::string_view line;
  std::string error;
  while (lines.Next(&line)) {
    const std::optional<LinkRecord> record = ReadLinkRecordLine(line, &error);
    if (!record) continue;
    const std::string written = LinkRecordLine(*record);
    const std::optional<LinkRecord> again = ReadLinkRecordLine(written, &error);
    FUZZ_CHECK(again);
    FUZZ_CHECK(LinkRecordLine(*again) == written);
  }
  KuttPagesReader pages(text);
  LinkRecord link;
  std::size_t steps = 0;
  while (pages.Next(link, error)) FUZZ_CHECK(++steps <= size + 1);
  return 0;
}
