// The shortening service's reading of a request: the target in either form,
// the form fields and their escapes, the address rules, the request bodies
// (JSON, written back as the answers write it; multipart/form-data), the
// created page the desktop program cuts from, the stored and readable forms
// of an address, and the client a proxy's forwarding headers name.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/support/fuzz_check.h"
#include "service/core/address_check.h"
#include "service/core/address_form.h"
#include "service/core/forwarded.h"
#include "service/core/host_form.h"
#include "service/core/json_body.h"
#include "service/core/multipart.h"
#include "service/core/pages.h"
#include "service/core/request.h"
#include "service/core/utc_time.h"

using namespace snipora::service;

namespace {

// The service's own names as a service on loopback has them.
const OwnHosts& Own() {
  static const OwnHosts own = [] {
    OwnHosts hosts;
    hosts.Add("snip.invalid:8080");
    hosts.AddLoopback();
    return hosts;
  }();
  return own;
}

void CheckField(const std::string& value, const DenyList& denied) {
  const AddressCheck check = CheckAddress(value, Own(), denied);
  if (!check.host.empty()) {
    // the one form of a host is its own one form, and no spelling of an own
    // name passes
    FUZZ_CHECK(CanonicalHost(check.host) == check.host);
    FUZZ_CHECK(!Own().Holds(check.host) || check.refusal == Refusal::kOwnAddress);
  }
  if (check.refusal == Refusal::kAccepted) {
    FUZZ_CHECK(value.size() <= kMaxAddressLength);
    FUZZ_CHECK(!check.host.empty() && check.host != "snip.invalid" && !IsLoopbackHost(check.host));
    // what a redirect would send: one header line, nothing a header cannot carry
    for (char c : LocationValue(value))
      FUZZ_CHECK(static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F);
    // the page the program reads: our markers once, around our short address
    for (Language language : {Language::kZhCn, Language::kEn}) {
      const std::string page = CreatedPage(language, "snip.invalid/Ab3dE9x", value);
      const std::size_t start = page.find(kStartMarker);
      const std::size_t end = page.find(kEndMarker);
      FUZZ_CHECK(start != std::string::npos && end != std::string::npos);
      FUZZ_CHECK(page.substr(start + kStartMarker.size(), end - start - kStartMarker.size()) == "snip.invalid/Ab3dE9x");
      FUZZ_CHECK(page.find(kStartMarker, start + 1) == std::string::npos);
    }
  }
  // the stored form: ASCII a header carries as it is, its own stored form,
  // accepted again, and what a page shows of it stored as the same address
  const StoredForm form = AcceptAddress(value, Own(), denied);
  FUZZ_CHECK(check.refusal == Refusal::kAccepted || form.refusal == check.refusal);
  if (form.refusal == Refusal::kAccepted) {
    for (char c : form.address) FUZZ_CHECK(c > 0x20 && c < 0x7F);
    FUZZ_CHECK(LocationValue(form.address) == form.address);
    const StoredForm again = AcceptAddress(form.address, Own(), denied);
    FUZZ_CHECK(again.refusal == Refusal::kAccepted && again.address == form.address);
    const std::string readable = ReadableAddress(form.address);
    FUZZ_CHECK(IsUtf8(readable));
    FUZZ_CHECK(StoredAddress(readable).address == form.address);
  } else {
    FUZZ_CHECK(form.address.empty());
  }
  FUZZ_CHECK(IsUtf8(ReadableAddress(value)));  // rows stored before hold any bytes
  if (IsValidCode(value)) FUZZ_CHECK(value.size() <= kMaxAliasLength);
}

// A JSON body: what the parser accepts is UTF-8 within the depth limit, so
// writing it back never replaces a byte and reads again as the same value;
// its url and alias are checked as a form's are.
void CheckJsonBody(std::string_view input, const DenyList& denied) {
  const std::optional<Json> body = ParseJsonBody(input);
  if (!body) return;
  const std::string text = JsonText(*body);
  FUZZ_CHECK(IsUtf8(text));
  const std::optional<Json> again = ParseJsonBody(text);
  FUZZ_CHECK(again && *again == *body);
  FUZZ_CHECK(JsonText(*again) == text);
  for (const char* name : {"url", "alias"})
    if (const std::string* value = StringMember(*body, name)) CheckField(*value, denied);
}

// Any bytes as a JSON string, as an answer writes a stored note: valid JSON
// whatever the bytes, the same string back when they were UTF-8.
void CheckJsonText(std::string_view input) {
  const std::string text = JsonText(Json(std::string(input)));
  const std::optional<Json> again = ParseJsonBody(text);
  FUZZ_CHECK(again && again->is_string());
  const std::string& read = again->get_ref<const std::string&>();
  FUZZ_CHECK(IsUtf8(read));
  FUZZ_CHECK(!IsUtf8(input) || read == input);
}

// A time as other shorteners' clients write it: one read is within 1970 to
// 9999, and written back in a form read again as the same time.
void CheckIsoTime(std::string_view input) {
  const std::optional<long long> at = ParseIsoTime(input);
  if (!at) return;
  FUZZ_CHECK(InTimeRange(*at));
  const std::string written = IsoUtcWithOffset(*at);
  FUZZ_CHECK(written.size() == 25);
  FUZZ_CHECK(ParseIsoTime(written) == at);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  static const DenyList denied = DenyList::FromText("spam.example\n# comment\nevil.test.\n");

  if (const std::optional<Target> target = SplitTarget(input)) {
    FUZZ_CHECK(!target->path.empty() && target->path[0] == '/');
    FUZZ_CHECK(target->path.size() + target->query.size() <= input.size() + 1);
    if (const std::optional<std::vector<Field>> fields = ParseForm(target->query)) {
      for (const Field& field : *fields) {
        FUZZ_CHECK(field.name.size() + field.value.size() <= target->query.size());
        CheckField(field.value, denied);
      }
    }
  }
  if (const std::optional<std::string> decoded = PercentDecode(input, true)) FUZZ_CHECK(decoded->size() <= size);
  // the request bodies, each reader given the whole input; a new body format
  // adds its check here and its core source to this target in CMakeLists.txt
  CheckJsonBody(input, denied);
  CheckJsonText(input);
  CheckIsoTime(input);
  // a multipart body: its fields hold its own bytes, none when it is refused
  const MultipartForm form = ParseMultipart(input, "b");
  std::size_t held = 0;
  for (const Field& field : form.fields) held += field.name.size() + field.value.size();
  FUZZ_CHECK(held <= size);
  FUZZ_CHECK(form.problem == MultipartProblem::kNone || form.fields.empty());
  if (const std::optional<std::string> boundary = MultipartBoundary(input))
    FUZZ_CHECK(!boundary->empty() && boundary->size() <= 70);
  CheckField(std::string(input), denied);
  DenyList::FromText(input).Denies("www.example.com");
  // a trusted proxy's headers: the client named is the peer or an address the
  // service would print itself, whatever the headers hold
  static const std::optional<AddressRanges> proxies = AddressRanges::Parse("127.0.0.1, 10.0.0.0/8, ::1", nullptr);
  for (const std::string& client :
       {ForwardedClient("127.0.0.1", input, "", *proxies), ForwardedClient("::1", "", input, *proxies)})
    FUZZ_CHECK(client == "127.0.0.1" || client == "::1" || CanonicalAddress(client) == client);
  AddressRanges::Parse(input, nullptr);
  return 0;
}
