// The shortening service's checks of a request head, on whatever a client
// sends: its framing (one body length, one host), the host it names against
// the allowed ones, and its target as the logs keep it (no key). The input
// is read as a head the way the transport's library splits one: a request
// line, then a header a line, a line that begins with a space or a tab
// continuing the one before.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/support/fuzz_check.h"
#include "service/core/allowed_hosts.h"
#include "service/core/framing.h"
#include "service/core/log_redaction.h"
#include "service/core/request.h"

using namespace snipora::service;

namespace {

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::size_t Count(std::span<const HeaderField> fields, std::string_view name) {
  std::size_t count = 0;
  for (const HeaderField& field : fields) count += SameNoCase(field.name, name);
  return count;
}

// A verdict keeps its promises: a refusal is 400 or 501 with a sentence; a
// head let through has one host (on HTTP/1.1), one way of framing its body.
void CheckHead(std::string_view version, std::span<const HeaderField> fields) {
  const std::optional<FramingRefusal> refused = CheckFraming(version, fields);
  if (refused) {
    FUZZ_CHECK(refused->status == 400 || refused->status == 501);
    FUZZ_CHECK(!refused->reason.empty() && refused->reason.back() == '.');
    return;
  }
  FUZZ_CHECK(Count(fields, "Host") <= 1);
  FUZZ_CHECK(version == "HTTP/1.0" || Count(fields, "Host") == 1);
  FUZZ_CHECK(Count(fields, "Content-Length") <= 1);
  FUZZ_CHECK(Count(fields, "Transfer-Encoding") == 0 ||
             (Count(fields, "Content-Length") == 0 && version != "HTTP/1.0"));
  for (const HeaderField& field : fields) {
    FUZZ_CHECK(!field.folded && !field.name.empty());
    FUZZ_CHECK(field.name.find_first_of(" \t:") == std::string_view::npos);
    if (SameNoCase(field.name, "Transfer-Encoding")) FUZZ_CHECK(SameNoCase(field.value, "chunked"));
  }
}

// What a log keeps: the same parameters, each secret one starred, and
// starring again changes nothing.
void CheckRedaction(std::string_view target) {
  const std::optional<std::string> redacted = RedactTarget(target);
  if (!redacted) return;
  const auto pieces = [](std::string_view text) {
    const std::size_t query = text.find('?');
    return query == std::string_view::npos ? 0 : std::count(text.begin() + query, text.end(), '&');
  };
  FUZZ_CHECK(pieces(*redacted) == pieces(target));
  const std::optional<std::string> again = RedactTarget(*redacted);
  FUZZ_CHECK(!again || *again == *redacted);
}

void CheckHost(std::string_view target, const char* host) {
  static const AllowedHosts allowed = AllowedHosts::Default({"snip.invalid:8080"}, "127.0.0.1");
  const std::optional<std::string_view> named = RequestHost(target, host);
  if (!named) {
    FUZZ_CHECK(!host);
    return;
  }
  if (const std::optional<std::string> key = HostKey(*named)) {
    FUZZ_CHECK(!key->empty() && HostKey(*key) == key);
    FUZZ_CHECK(key->find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") == std::string::npos);
    FUZZ_CHECK(allowed.Allows(*named) == (*key == "snip.invalid" || *key == "127.0.0.1" || *key == "localhost" ||
                                          *key == "::1"));
  } else {
    FUZZ_CHECK(!allowed.Allows(*named));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> lines = Lines(input);
  if (lines.empty()) return 0;
  // the request line: METHOD TARGET VERSION
  const std::string_view request = lines[0];
  const std::size_t first = request.find(' '), last = request.rfind(' ');
  const std::string_view target =
      first == std::string_view::npos || last == first ? request : request.substr(first + 1, last - first - 1);
  const std::string_view version = last == std::string_view::npos ? "" : request.substr(last + 1);
  std::vector<HeaderField> fields;
  std::string host;
  bool hasHost = false;
  for (std::size_t i = 1; i < lines.size() && !lines[i].empty(); ++i) {
    const std::string_view line = lines[i];
    if ((line[0] == ' ' || line[0] == '\t') && !fields.empty()) {
      fields.back().folded = true;
      continue;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value[0] == ' ' || value[0] == '\t')) value.remove_prefix(1);
    fields.push_back({line.substr(0, colon), value});
    if (!hasHost && SameNoCase(fields.back().name, "Host")) host = value, hasHost = true;
  }
  CheckHead(version, fields);
  CheckRedaction(target);
  CheckRedaction(input);
  CheckHost(target, hasHost ? host.c_str() : nullptr);
  return 0;
}
