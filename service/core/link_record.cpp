#include "service/core/link_record.h"

#include "service/core/json_body.h"
#include "service/core/utc_time.h"

namespace snipora::service {
namespace {

constexpr int64_t kSecondsADay = 86400;

Json MaybeNumber(const std::optional<int64_t>& value) { return value ? Json(*value) : Json(nullptr); }

// A time member: the ISO text export writes, or seconds.
std::optional<int64_t> TimeOf(const Json& value) {
  if (value.is_number_integer()) return value.get<int64_t>();
  if (!value.is_string()) return std::nullopt;
  const std::optional<long long> at = ParseTime(value.get_ref<const std::string&>());
  return at ? std::optional<int64_t>(*at) : std::nullopt;
}

}  // namespace

std::string LinkRecordLine(const LinkRecord& record) {
  Json daily = Json::object();
  for (const auto& [day, clicks] : record.days) daily[IsoUtc(day * kSecondsADay).substr(0, 10)] = clicks;
  const Json line = {
      {"domain", record.domain},
      {"code", record.code},
      {"address", record.address},
      {"created", IsoUtc(record.created)},
      {"clicks", record.clicks},
      {"title", record.title},
      {"tags", record.tags},
      {"state", record.disabled ? "disabled" : "live"},
      {"public_note", record.publicNote},
      {"private_note", record.privateNote},
      {"expires", record.expires ? Json(IsoUtc(*record.expires)) : Json(nullptr)},
      {"max_clicks", MaybeNumber(record.maxClicks)},
      {"owner", record.owner},
      {"daily", std::move(daily)},
  };
  return JsonText(line) + "\n";
}

std::optional<LinkRecord> ReadLinkRecordLine(std::string_view line, std::string* error) {
  const auto fail = [&](std::string why) -> std::optional<LinkRecord> {
    *error = std::move(why);
    return std::nullopt;
  };
  const std::optional<Json> json = ParseJsonBody(line);
  if (!json || !json->is_object()) return fail("not a JSON object");
  LinkRecord record;
  const auto text = [&](const char* name, std::string& into, bool needed) {
    const auto found = json->find(name);
    if (found == json->end()) return !needed;
    if (!found->is_string()) return false;
    into = found->get<std::string>();
    return true;
  };
  if (!text("domain", record.domain, false)) return fail("domain is not a string");
  if (!text("code", record.code, true)) return fail("code is missing or not a string");
  if (!text("address", record.address, true)) return fail("address is missing or not a string");
  if (!text("title", record.title, false)) return fail("title is not a string");
  if (!text("public_note", record.publicNote, false)) return fail("public_note is not a string");
  if (!text("private_note", record.privateNote, false)) return fail("private_note is not a string");
  if (!text("owner", record.owner, false)) return fail("owner is not a string");
  const auto created = json->find("created");
  const std::optional<int64_t> at = created == json->end() ? std::nullopt : TimeOf(*created);
  if (!at) return fail("created is missing or no UTC time");
  record.created = *at;
  if (const auto clicks = json->find("clicks"); clicks != json->end()) {
    if (!clicks->is_number_integer() || clicks->get<int64_t>() < 0) return fail("clicks is not a whole number of 0 or more");
    record.clicks = clicks->get<int64_t>();
  }
  if (const auto tags = json->find("tags"); tags != json->end()) {
    if (!tags->is_array()) return fail("tags is not a list of strings");
    for (const Json& tag : *tags) {
      if (!tag.is_string()) return fail("tags is not a list of strings");
      record.tags.push_back(tag.get<std::string>());
    }
  }
  if (const auto state = json->find("state"); state != json->end()) {
    if (*state != "live" && *state != "disabled") return fail("state is neither live nor disabled");
    record.disabled = *state == "disabled";
  }
  if (const auto expires = json->find("expires"); expires != json->end() && !expires->is_null()) {
    record.expires = TimeOf(*expires);
    if (!record.expires) return fail("expires is no UTC time");
  }
  if (const auto most = json->find("max_clicks"); most != json->end() && !most->is_null()) {
    if (!most->is_number_integer() || most->get<int64_t>() < 0) return fail("max_clicks is not a whole number");
    record.maxClicks = most->get<int64_t>();
  }
  if (const auto daily = json->find("daily"); daily != json->end()) {
    if (!daily->is_object()) return fail("daily is not an object of days");
    for (const auto& [day, clicks] : daily->items()) {
      const std::optional<long long> start = day.size() == 10 ? ParseTime(day + "T00:00:00Z") : std::nullopt;
      if (!start || !clicks.is_number_integer() || clicks.get<int64_t>() < 0)
        return fail("daily holds " + day + ", no day with a count");
      const int64_t number = *start / kSecondsADay;
      if (!record.days.empty() && record.days.back().first >= number) return fail("daily's days are not in order");
      record.days.emplace_back(number, clicks.get<int64_t>());
    }
  }
  return record;
}

bool LineReader::Next(std::string_view* line) {
  while (at_ < text_.size()) {
    const std::size_t end = std::min(text_.find('\n', at_), text_.size());
    std::string_view found = text_.substr(at_, end - at_);
    at_ = end + 1;
    ++line_;
    if (found.ends_with('\r')) found.remove_suffix(1);
    if (found.empty()) continue;
    *line = found;
    return true;
  }
  return false;
}

}  // namespace snipora::service
