// Shlink's list of short URLs, in three steps: its query read into the
// service's terms, every link the key may see scanned (counted, and the page
// kept), and the page written with Shlink's pagination. No store counts
// matches, so the count is honest and its cost grows with the key's links.
#include <algorithm>
#include <cstdint>
#include <ctime>
#include <iterator>
#include <string>
#include <vector>

#include "service/app/replies.h"
#include "service/app/top_k.h"
#include "service/core/address_check.h"
#include "service/core/numbers.h"
#include "service/core/request.h"
#include "service/core/utc_time.h"
#include "service/doors/shlink_door.h"
#include "service/doors/shlink_shapes.h"

namespace snipora::service {
namespace {

// Shlink's own default page size.
constexpr int64_t kDefaultItemsPerPage = 10;
// The last page a list may ask for.
constexpr int64_t kMaxPage = 1000000;

// The orders a list may be asked in (orderBy=NAME[-ASC|-DESC]).
enum class OrderBy { kCode, kCreated, kLongUrl, kTitle, kVisits };
struct OrderName {
  std::string_view name;
  OrderBy by;
};
constexpr OrderName kOrders[] = {
    {"shortCode", OrderBy::kCode},   {"dateCreated", OrderBy::kCreated}, {"longUrl", OrderBy::kLongUrl},
    {"title", OrderBy::kTitle},      {"visits", OrderBy::kVisits},
    {"nonBotVisits", OrderBy::kVisits},  // no visit is told to be a bot's
};
struct Order {
  OrderBy by = OrderBy::kCode;
  bool descending = false;
};
// How many short URLs a list in another order than the codes' holds at most
// while it reads them (the page asked and all before it).
constexpr std::size_t kMaxOrdered = 10000;

struct Kept {
  Link link;
  int64_t clicks = 0;
};
// Whether `a` comes before `b`; equal values in the order of their codes.
bool Before(const Kept& a, const Kept& b, const Order& order) {
  const auto compare = [](const auto& x, const auto& y) { return x < y ? -1 : y < x ? 1 : 0; };
  int by = 0;
  switch (order.by) {
    case OrderBy::kCreated: by = compare(a.link.created, b.link.created); break;
    case OrderBy::kLongUrl: by = compare(a.link.address, b.link.address); break;
    case OrderBy::kTitle: by = compare(a.link.title, b.link.title); break;
    case OrderBy::kVisits: by = compare(a.clicks, b.clicks); break;
    case OrderBy::kCode: by = compare(a.link.code, b.link.code); break;
  }
  if (by != 0) return order.descending ? by > 0 : by < 0;
  return a.link.code < b.link.code;
}

// What a list asks, read from its query; `invalid` names the parameters
// refused.
struct ListAsk {
  int64_t page = 1, perPage = kDefaultItemsPerPage;  // perPage -1: all of them
  std::string search;
  std::vector<std::string> tags, excludedTags;
  bool allTags = false, allExcluded = false, skipSpent = false, skipExpired = false;
  // the one domain asked (?domain=), null when it is none of them; none
  // asked: every domain's, in the order of the domains
  std::optional<const Domain*> domain;
  std::optional<std::string> keyName;
  Order order;
  LinkFilter filter;  // what the store filters: the creation times
  std::vector<std::string> invalid;

  bool Everything() const { return perPage < 0; }
  // In the store's order (the codes') the page is kept as it passes; in
  // another, the first Skip() + Keep() in that order.
  bool StoreOrder() const { return order.by == OrderBy::kCode && !order.descending; }
  std::size_t Skip() const { return Everything() ? 0 : std::size_t((page - 1) * perPage); }
  std::size_t Keep() const { return Everything() ? std::size_t(kMaxListLimit) : std::size_t(perPage); }
};

// The query step.
ListAsk ReadListAsk(const std::vector<Field>& fields, const Domains& domains) {
  ListAsk ask;
  for (const Field& field : fields) {
    const std::string& name = field.name;
    const std::string& value = field.value;
    const auto whole = [&](int64_t least, int64_t most) -> std::optional<int64_t> {
      const std::optional<int64_t> number = ParseWholeNumber(value);
      if (!number || *number < least || *number > most) return std::nullopt;
      return number;
    };
    bool ok = true;
    if (name == "page") {
      const std::optional<int64_t> number = whole(1, kMaxPage);
      ok = bool(number);
      if (ok) ask.page = *number;
    } else if (name == "itemsPerPage") {
      const std::optional<int64_t> number = whole(-1, kMaxListLimit);
      ok = number && *number != 0;
      if (ok) ask.perPage = *number;
    } else if (name == "searchTerm") {
      ask.search = value;
    } else if (name == "tags[]" || name == "tags") {
      ask.tags.push_back(value);
    } else if (name == "excludeTags[]" || name == "excludeTags") {
      ask.excludedTags.push_back(value);
    } else if (name == "tagsMode" || name == "excludeTagsMode") {
      ok = value == "any" || value == "all";
      (name == "tagsMode" ? ask.allTags : ask.allExcluded) = value == "all";
    } else if (name == "orderBy") {
      const std::size_t dash = value.rfind('-');
      const std::string_view member = std::string_view(value).substr(0, dash);
      const std::string_view direction = dash == std::string::npos ? "ASC" : std::string_view(value).substr(dash + 1);
      const auto known = std::find_if(std::begin(kOrders), std::end(kOrders),
                                      [&](const OrderName& named) { return named.name == member; });
      ok = known != std::end(kOrders) && (direction == "ASC" || direction == "DESC");
      if (ok) ask.order = {known->by, direction == "DESC"};
    } else if (name == "startDate" || name == "endDate") {
      const std::optional<int64_t> at = ParseIsoTime(value);
      ok = bool(at);
      if (ok && name == "startDate") ask.filter.query.createdFrom = *at;
      if (ok && name == "endDate") ask.filter.query.createdBefore = *at + 1;  // up to it, included
    } else if (name == "excludeMaxVisitsReached" || name == "excludePastValidUntil") {
      ok = value == "true" || value == "false";
      (name == "excludeMaxVisitsReached" ? ask.skipSpent : ask.skipExpired) = value == "true";
    } else if (name == "domain") {
      ask.domain = ShlinkDomain(domains, &value);
    } else if (name == "apiKeyName") {
      ask.keyName = value;
    }
    if (!ok) ask.invalid.push_back(name);
  }
  return ask;
}

bool Tagged(const Link& link, const std::vector<std::string>& wanted, bool all) {
  const auto has = [&](const std::string& tag) {
    return std::find(link.tags.begin(), link.tags.end(), tag) != link.tags.end();
  };
  return all ? std::all_of(wanted.begin(), wanted.end(), has) : std::any_of(wanted.begin(), wanted.end(), has);
}

// Whether `link` is one the list asks for (at `now`; `clicksOf` counts a
// link's clicks, read only where the list asks).
template <class ClicksOf>
bool Matches(const ListAsk& ask, const Link& link, int64_t now, ClicksOf&& clicksOf) {
  const std::string& search = ask.search;
  if (!search.empty() && !ContainsNoCase(link.address, search) && !ContainsNoCase(link.code, search) &&
      !ContainsNoCase(link.title, search) &&
      std::none_of(link.tags.begin(), link.tags.end(),
                   [&](const std::string& tag) { return ContainsNoCase(tag, search); }))
    return false;
  if (!ask.tags.empty() && !Tagged(link, ask.tags, ask.allTags)) return false;
  if (!ask.excludedTags.empty() && Tagged(link, ask.excludedTags, ask.allExcluded)) return false;
  if (ask.skipSpent && link.maxClicks && clicksOf(link) >= *link.maxClicks) return false;
  if (ask.skipExpired && link.expires && *link.expires <= now) return false;
  return !ask.keyName || link.owner == *ask.keyName;
}

// What the scan found: the page's short URLs, and how many match in all.
struct Scanned {
  std::vector<Kept> page;
  std::size_t total = 0;
};

// The scan step: every link the key may see, read a page of kMaxListLimit
// at a time; nothing when the store failed.
std::optional<Scanned> Scan(Operations& operations, Call& call, const ListAsk& ask) {
  Scanned scanned;
  if (ask.domain && !*ask.domain) return scanned;  // no short URL is on a domain not served
  const int64_t now = std::time(nullptr);
  const auto clicksOf = [&](const Link& link) { return operations.ClicksOf(link); };
  const auto before = [&ask](const Kept& a, const Kept& b) { return Before(a, b, ask.order); };
  FirstInOrder<Kept, decltype(before)> first(ask.Skip() + ask.Keep(), before);
  const bool storeOrder = ask.StoreOrder();
  std::vector<const Domain*> listed;
  if (ask.domain)
    listed.push_back(*ask.domain);
  else
    for (const Domain& domain : operations.domains().all()) listed.push_back(&domain);
  for (const Domain* domain : listed) {
    call.domain = domain;
    const bool read = operations.ForEachListed(call, ask.filter, [&](Link& link) {
      if (!Matches(ask, link, now, clicksOf)) return;
      ++scanned.total;
      if (!storeOrder) {
        first.Offer({link, clicksOf(link)});
      } else if (scanned.total > ask.Skip() && scanned.page.size() < ask.Keep()) {
        scanned.page.push_back({link, clicksOf(link)});
      }
    });
    if (!read) return std::nullopt;
  }
  if (!storeOrder) {
    scanned.page = std::move(first).Take();
    scanned.page.erase(scanned.page.begin(),
                       scanned.page.begin() + std::ptrdiff_t(std::min(ask.Skip(), scanned.page.size())));
  }
  return scanned;
}

// The paging step: the page and Shlink's pagination of the whole.
Json PageJson(Operations& operations, const ListAsk& ask, const Scanned& scanned) {
  Json data = Json::array();
  for (const Kept& one : scanned.page)
    data.push_back(ShortUrlJson(one.link, one.clicks, operations.ShortAddress(one.link)));
  const int64_t total = int64_t(scanned.total);
  const int64_t size = ask.Everything() ? total : ask.perPage;
  const int64_t pages = size == 0 ? 1 : std::max<int64_t>(1, (total + size - 1) / size);
  const std::size_t shown = data.size();
  return {{"shortUrls",
           {{"data", std::move(data)},
            {"pagination",
             {{"currentPage", ask.Everything() ? 1 : ask.page},
              {"pagesCount", pages},
              {"itemsPerPage", size},
              {"itemsInCurrentPage", shown},
              {"totalItems", scanned.total}}}}}};
}

}  // namespace

std::optional<Reply> ShlinkDoor::List(Call& call) {
  if (std::optional<Reply> refused = Admit(call, Role::kCreator)) return refused;
  const std::optional<std::vector<Field>> fields = ParseForm(call.query);
  if (!fields) return InvalidData("The query has a malformed %-escape.", {});
  const ListAsk ask = ReadListAsk(*fields, operations_.domains());
  if (!ask.invalid.empty())
    return InvalidData("These query parameters are not of a kind this service takes: see invalidElements.",
                       ask.invalid);
  if (!ask.StoreOrder() && ask.Skip() + ask.Keep() > kMaxOrdered)
    return InvalidData("Pages past the first 10000 short URLs are read in the order of their codes only.", {"page"});
  const std::optional<Scanned> scanned = Scan(operations_, call, ask);
  if (!scanned) return StoreFailed();
  if (ask.Everything() && scanned->total > std::size_t(kMaxListLimit))
    return InvalidData("There are more short URLs than one answer holds (1000): ask for them a page at a time.",
                       {"itemsPerPage"});
  return JsonReply(200, PageJson(operations_, ask, *scanned), JsonEnd::kNone);
}

}  // namespace snipora::service
