// A threat feed's text (someone else's file, fetched over the network): any
// bytes read without a fault; every entry is in the stored form a link's
// host or address has (reading it again gives itself), and each entry
// matches itself through the matcher.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/support/fuzz_check.h"
#include "service/core/address_form.h"
#include "service/core/threat_feed.h"

using namespace snipora::service;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const FeedEntries entries = ReadFeed(text);
  if (entries.format == FeedFormat::kEmpty) FUZZ_CHECK(entries.hosts.empty() && entries.urls.empty());
  ThreatMatcher matcher;
  matcher.Add("fuzz", entries);
  for (const std::string& host : entries.hosts) {
    const StoredHost again = StoredHostOf(host);
    FUZZ_CHECK(again.refusal == Refusal::kAccepted && again.host == host);
    const ThreatMatch match = matcher.Match(host, "http://" + host + "/");
    FUZZ_CHECK(match && *match.feed == "fuzz");
  }
  for (const std::string& url : entries.urls) {
    const StoredForm again = AcceptAddress(url, OwnHosts{}, DenyList{});
    FUZZ_CHECK(again.refusal == Refusal::kAccepted && again.address == url);
    FUZZ_CHECK(matcher.Match({}, url));
  }
  return 0;
}
