#include "service/doors/api_link.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "service/app/operations.h"
#include "service/core/utc_time.h"

namespace snipora::service {
namespace {

Json MaybeTime(const std::optional<int64_t>& seconds) { return seconds ? Json(IsoUtc(*seconds)) : Json(nullptr); }
Json MaybeNumber(const std::optional<int64_t>& number) { return number ? Json(*number) : Json(nullptr); }

// A JSON integer that fits the stores' numbers; nothing for fractions,
// exponents (1e3 is read as a fraction) and other kinds.
std::optional<int64_t> WholeNumber(const Json& value) {
  if (!value.is_number_integer()) return std::nullopt;
  if (value.is_number_unsigned() && value.get<uint64_t>() > uint64_t(INT64_MAX)) return std::nullopt;
  return value.get<int64_t>();
}

// One member a change may hold: how its value is read into the change, and
// what it takes, for the refusal when `read` finds the wrong kind. The
// parser has already refused strings that are not UTF-8.
struct ChangeMember {
  std::string_view name;
  std::string_view takes;
  bool (*read)(const Json& value, LinkChange& change);
};

bool ReadNote(const Json& value, std::optional<std::string>& note) {
  if (!value.is_string() || value.get_ref<const std::string&>().size() > 1000) return false;
  note = value.get<std::string>();
  return true;
}

constexpr ChangeMember kChangeMembers[] = {
    {"expires", "a UTC time from 1970 to 9999 (2026-12-31T00:00:00Z), seconds since 1970, or null",
     [](const Json& value, LinkChange& change) {
       if (value.is_null()) {
         change.expires = std::optional<int64_t>();
         return true;
       }
       std::optional<int64_t> at = WholeNumber(value);
       if (value.is_string())
         if (const std::optional<long long> time = ParseTime(value.get_ref<const std::string&>())) at = *time;
       if (at && !InTimeRange(*at)) at.reset();
       if (at) change.expires = at;
       return at.has_value();
     }},
    {"max_clicks", "a whole number from 0, or null",
     [](const Json& value, LinkChange& change) {
       if (value.is_null()) {
         change.maxClicks = std::optional<int64_t>();
         return true;
       }
       const std::optional<int64_t> clicks = WholeNumber(value);
       if (clicks && *clicks >= 0) change.maxClicks = clicks;
       return clicks && *clicks >= 0;
     }},
    {"disabled", "true or false",
     [](const Json& value, LinkChange& change) {
       if (value.is_boolean()) change.disabled = value.get<bool>();
       return value.is_boolean();
     }},
    {"public_note", "text of up to 1000 bytes",
     [](const Json& value, LinkChange& change) { return ReadNote(value, change.publicNote); }},
    {"private_note", "text of up to 1000 bytes",
     [](const Json& value, LinkChange& change) { return ReadNote(value, change.privateNote); }},
    {"url", "an address",
     [](const Json& value, LinkChange& change) {
       if (value.is_string()) change.address = value.get<std::string>();
       return value.is_string();
     }},
    {"title", "text of up to 1000 bytes",
     [](const Json& value, LinkChange& change) {
       if (!value.is_string() || !TitleFits(value.get_ref<const std::string&>())) return false;
       change.title = value.get<std::string>();
       return true;
     }},
    {"tags", "an array of up to 50 texts of up to 200 bytes",
     [](const Json& value, LinkChange& change) {
       const auto fits = [](const Json& tag) {
         return tag.is_string() && tag.get_ref<const std::string&>().size() <= kMaxTag;
       };
       if (!value.is_array() || value.size() > kMaxTags || !std::all_of(value.begin(), value.end(), fits))
         return false;
       change.tags = value.get<std::vector<std::string>>();
       return true;
     }},
};

}  // namespace

Json LinkJson(const Link& link, int64_t clicks, bool full) {
  Json json = Json::object();
  json["code"] = link.code;
  json["url"] = link.address;
  json["created"] = IsoUtc(link.created);
  json["clicks"] = clicks;
  json["disabled"] = link.disabled;
  json["public_note"] = link.publicNote;
  json["expires"] = MaybeTime(link.expires);
  json["max_clicks"] = MaybeNumber(link.maxClicks);
  json["title"] = link.title;
  json["tags"] = link.tags;
  if (full) {
    json["private_note"] = link.privateNote;
    json["owner"] = link.owner;
    json["quarantine"] = link.quarantine;  // why it is under review; "": it is not
  }
  return json;
}

ChangeRequest ReadLinkChange(std::string_view body) {
  const std::optional<Json> json = ParseJsonBody(body);
  if (!json || !json->is_object()) return {std::nullopt, "The body is not a flat JSON object."};
  LinkChange change;
  for (const auto& [name, value] : json->items()) {
    const auto member = std::find_if(std::begin(kChangeMembers), std::end(kChangeMembers),
                                     [&](const ChangeMember& known) { return known.name == name; });
    if (member == std::end(kChangeMembers)) return {std::nullopt, "Unknown member " + name + "."};
    if (!member->read(value, change)) return {std::nullopt, name + " takes " + std::string(member->takes) + "."};
  }
  return {std::move(change), {}};
}

}  // namespace snipora::service
