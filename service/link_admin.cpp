#include "service/link_admin.h"

#include <algorithm>
#include <charconv>

#include "service/core/address_check.h"
#include "service/core/address_form.h"
#include "service/core/json_body.h"
#include "service/core/pages.h"
#include "service/core/request.h"
#include "service/core/utc_time.h"

namespace snipora::service {
namespace {

constexpr int kStorePage = 1000;

std::string MaybeTime(const std::optional<int64_t>& seconds) {
  return seconds ? JsonString(IsoUtc(*seconds)) : "null";
}
std::string MaybeNumber(const std::optional<int64_t>& number) {
  return number ? std::to_string(*number) : "null";
}

std::optional<int64_t> WholeNumber(std::string_view text) {
  int64_t value = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (status != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

LinkPage FindLinks(Store& store, const LinkFilter& filter) {
  LinkPage page;
  LinkQuery query = filter.query;
  const std::size_t limit = std::size_t(std::clamp(filter.query.limit, 1, kMaxListLimit));
  query.limit = kStorePage;
  std::size_t skipped = 0;
  for (;;) {
    const std::vector<Link> links = store.ListLinks(query);
    for (const Link& link : links) {
      if (!filter.host.empty() && CheckAddress(link.address, {}, DenyList()).host != filter.host) continue;
      if (skipped < filter.offset) {
        ++skipped;
        continue;
      }
      page.links.push_back(link);
      if (page.links.size() == limit) {
        page.next = link.code;
        return page;
      }
    }
    if (links.size() < std::size_t(kStorePage)) return page;
    query.after = links.back().code;
  }
}

std::string LinkJson(const Link& link, int64_t clicks, bool full) {
  std::string json = "{\"code\":" + JsonString(link.code) + ",\"url\":" + JsonString(link.address) +
                     ",\"created\":" + JsonString(IsoUtc(link.created)) + ",\"clicks\":" + std::to_string(clicks) +
                     ",\"disabled\":" + (link.disabled ? "true" : "false") +
                     ",\"public_note\":" + JsonString(link.publicNote) + ",\"expires\":" + MaybeTime(link.expires) +
                     ",\"max_clicks\":" + MaybeNumber(link.maxClicks);
  // what a client said of it may be any bytes: JsonText writes them as valid JSON
  json += ",\"title\":" + JsonText(Json(link.title)) + ",\"tags\":" + JsonText(Json(link.tags));
  if (full) json += ",\"private_note\":" + JsonString(link.privateNote) + ",\"owner\":" + JsonString(link.owner);
  return json + "}";
}

ChangeRequest ReadLinkChange(std::string_view body) {
  // title and tags (an array) are taken out here; the flat reader reads the rest
  std::optional<Json> object = ParseJsonBody(body);
  if (!object || !object->is_object()) return {std::nullopt, "The body is not a flat JSON object."};
  LinkChange change;
  if (const auto title = object->find("title"); title != object->end()) {
    if (!title->is_string() || title->get_ref<const std::string&>().size() > kMaxTitle)
      return {std::nullopt, "title takes text of up to 1000 bytes."};
    change.title = title->get<std::string>();
    object->erase(title);
  }
  if (const auto tags = object->find("tags"); tags != object->end()) {
    const auto fits = [](const Json& tag) {
      return tag.is_string() && tag.get_ref<const std::string&>().size() <= kMaxTag;
    };
    if (!tags->is_array() || tags->size() > kMaxTags || !std::all_of(tags->begin(), tags->end(), fits))
      return {std::nullopt, "tags takes an array of up to 50 texts of up to 200 bytes."};
    change.tags = tags->get<std::vector<std::string>>();
    object->erase(tags);
  }
  const std::optional<std::vector<JsonField>> fields = ParseJsonFields(JsonText(*object));
  if (!fields) return {std::nullopt, "The body is not a flat JSON object."};
  for (const JsonField& field : *fields) {
    const auto wrong = [&](std::string_view what) {
      return ChangeRequest{std::nullopt, field.name + " takes " + std::string(what) + "."};
    };
    const bool null = field.kind == JsonField::kNull, string = field.kind == JsonField::kString;
    if (field.name == "expires") {
      if (null) {
        change.expires = std::optional<int64_t>();
        continue;
      }
      const std::optional<long long> at =
          string ? ParseTime(field.value)
                 : field.kind == JsonField::kNumber ? std::optional<long long>(WholeNumber(field.value)) : std::nullopt;
      if (!at) return wrong("a UTC time (2026-12-31T00:00:00Z), seconds since 1970, or null");
      change.expires = std::optional<int64_t>(*at);
    } else if (field.name == "max_clicks") {
      if (null) {
        change.maxClicks = std::optional<int64_t>();
        continue;
      }
      const std::optional<int64_t> clicks =
          field.kind == JsonField::kNumber ? WholeNumber(field.value) : std::nullopt;
      if (!clicks || *clicks < 0) return wrong("a whole number from 0, or null");
      change.maxClicks = std::optional<int64_t>(*clicks);
    } else if (field.name == "disabled") {
      if (field.kind != JsonField::kTrue && field.kind != JsonField::kFalse) return wrong("true or false");
      change.disabled = field.kind == JsonField::kTrue;
    } else if (field.name == "public_note" || field.name == "private_note") {
      if (!string || field.value.size() > 1000 || !IsUtf8(field.value)) return wrong("text of up to 1000 bytes");
      (field.name == "public_note" ? change.publicNote : change.privateNote) = field.value;
    } else if (field.name == "url") {
      if (!string) return wrong("an address");
      change.address = field.value;
    } else {
      return {std::nullopt, "Unknown member " + field.name + "."};
    }
  }
  return {std::move(change), {}};
}

}  // namespace snipora::service
