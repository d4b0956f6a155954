#include "service/app/operations.h"

#include <algorithm>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "service/app/replies.h"
#include "service/base/log.h"
#include "service/core/page_texts.h"

namespace snipora::service {

bool TitleFits(std::string_view title) { return title.size() <= kMaxTitle; }

bool TagsFit(const std::vector<std::string>& tags) {
  return tags.size() <= kMaxTags &&
         std::all_of(tags.begin(), tags.end(), [](const std::string& tag) { return tag.size() <= kMaxTag; });
}

Link CreatedLink(const CreationAsk& ask, const CreationOutcome& outcome) {
  Link made{outcome.code, outcome.address, outcome.created};
  made.title = ask.title;
  made.tags = ask.tags;
  made.expires = ask.expires;
  made.maxClicks = ask.maxClicks;
  return made;
}

Operations::Operations(Parts parts)
    : parts_(std::move(parts)), domains_(parts_.settings), ownHosts_(OwnHostsOf(parts_.settings)) {}

template <class Work>
bool Operations::FromStore(std::string_view what, Work&& work) {
  try {
    work();
    return true;
  } catch (const StoreError& error) {
    Log(LogLevel::kError, std::string(what) + ": the store failed: " + error.what());
    Metrics::Add(parts_.metrics.storeErrors);
    return false;
  }
}

Admission Operations::Authorize(Call& call, std::string_view key, Role role) const {
  if (role == Role::kNone) return Admission::kAdmitted;
  if (!key.empty()) {
    call.caller = parts_.keys.Check(key);
    if (!call.caller) return Admission::kWrongKey;
  }
  if (role == Role::kAnyone) return Admission::kAdmitted;
  if (role == Role::kCreation && parts_.settings.openCreation) return Admission::kAdmitted;
  if (!call.caller) return Admission::kNoKey;
  if (role == Role::kAdmin && call.caller->role != Role::kAdmin) return Admission::kForbidden;
  return Admission::kAdmitted;
}

StoredForm Operations::Accept(std::string_view address) const {
  const std::shared_ptr<const DenyList> denied = parts_.denyList.Current();
  StoredForm form = AcceptAddress(address, ownHosts_, *denied);
  if (form.refusal != Refusal::kAccepted) return form;
  const std::shared_ptr<const ThreatMatcher> threats = parts_.threats.Current();
  if (const ThreatMatch match = threats->Match({}, form.address)) {
    Log(LogLevel::kWarning, "an address refused: threat feed " + *match.feed + " lists " + *match.entry);
    Metrics::Add(parts_.metrics.threatRefused);
    return {Refusal::kDeniedHost, {}};
  }
  return form;
}

std::string Operations::ShortAddress(std::string_view domain, std::string_view code) const {
  // a link left on a domain no longer served keeps the name it was made on
  const Domain* served = domains_.OfStored(domain);
  return "http://" + (served ? served->host : std::string(domain)) + "/" + std::string(code);
}

Found Operations::FindLink(const Domain& domain, std::string_view code, bool click, std::string_view what) {
  Found found;
  FindLink(domain, code, click, what, found);
  return found;
}

void Operations::FindLink(const Domain& domain, std::string_view code, bool click, std::string_view what,
                          Found& found) {
  // on the default domain the key is the code itself: nothing to build
  std::string_view key = code;
  if (!domain.stored.empty()) key = AssignLinkKey(found.key, domain.stored, code);
  const int64_t now = std::time(nullptr);
  found.storeFailed = false;
  parts_.cache.Find(key, click, now, parts_.denyList, found.resolved);
  if (found.resolved.state != Resolved::kMiss) return;
  const std::shared_ptr<const DenyList> denied = parts_.denyList.Current();
  const DenyList& deny = *denied;
  const uint64_t readAt = parts_.cache.epoch();
  std::optional<Link> link;
  if (!FromStore(std::string(what) + " of " + std::string(key), [&] { link = parts_.store.FindCode(key); })) {
    found.storeFailed = true;
    return;
  }
  if (link) found.resolved = parts_.cache.Insert(key, LifeOf(*link), click, now, deny, readAt);
}

std::optional<CreationOutcome::Kind> Operations::CheckCreation(const Call& call, const CreationAsk& ask, bool counted,
                                                              CreationOutcome& outcome) {
  if (counted && !parts_.rateLimit.Allow(call.http.client)) return CreationOutcome::kRateLimited;
  // equivalent spellings of an address are stored, found and answered as one
  StoredForm check = Accept(ask.url);
  if (check.refusal != Refusal::kAccepted) {
    outcome.refusal = check.refusal;
    return CreationOutcome::kAddressRefused;
  }
  outcome.address = std::move(check.address);
  if (!ask.alias.empty() && (!IsValidCode(ask.alias) || IsReservedCode(ask.alias)))
    return CreationOutcome::kAliasInvalid;
  if (!TitleFits(ask.title) || !TagsFit(ask.tags)) return CreationOutcome::kDetailsTooLong;
  return std::nullopt;
}

// The answer once the code is known: counted here, whichever door shapes it.
CreationOutcome Operations::Settle(CreationOutcome settled, const Created& created) {
  switch (created.outcome) {
    case Created::kCreated:
    case Created::kKnown:
      settled.kind = created.outcome == Created::kCreated ? CreationOutcome::kCreated : CreationOutcome::kKnown;
      settled.code = created.code;
      settled.shortAddress = ShortAddress(settled.domain, created.code);
      settled.created = created.created;
      Metrics::Add(created.outcome == Created::kCreated ? parts_.metrics.creations : parts_.metrics.known);
      break;
    case Created::kAliasTaken:
    case Created::kAddressHasCode:
      settled.kind =
          created.outcome == Created::kAliasTaken ? CreationOutcome::kAliasTaken : CreationOutcome::kAddressHasCode;
      settled.code = created.code;
      Metrics::Add(parts_.metrics.refused);
      break;
    case Created::kFailed:
      // the writer logged the failure once
      settled.kind = CreationOutcome::kStoreFailed;
      Metrics::Add(parts_.metrics.storeErrors);
      break;
  }
  return settled;
}

std::optional<Reply> Operations::CreateLink(Call& call, CreationAsk ask, CreationShape shape) {
  // HEAD is how link checkers and previews look: it creates nothing, and
  // neither the rate limit nor the creation metrics count it
  const bool head = call.http.method == "HEAD";
  call.http.kind = RequestKind::kCreation;
  CreationOutcome outcome;
  const std::string& domain = call.domain->stored;
  outcome.domain = domain;
  const auto refuse = [&](CreationOutcome::Kind kind) {
    if (!head)
      Metrics::Add(kind == CreationOutcome::kRateLimited ? parts_.metrics.rateLimited : parts_.metrics.refused);
    outcome.kind = kind;
    return shape(outcome);
  };
  if (const std::optional<CreationOutcome::Kind> refused = CheckCreation(call, ask, !head, outcome))
    return refuse(*refused);
  if (head) return HeadOfCreation(call, std::move(outcome), ask.alias, shape);
  const auto settle = [this](CreationOutcome settled, const Created& created) {
    return Settle(std::move(settled), created);
  };
  // An address stored before is found by the writer, in the transaction
  // that would store it (and answered without a write): a look-up here
  // first cost every new address a read of its own, more than the wait it
  // saved the rare known one.
  Completion complete = call.Defer();
  Creation creation{outcome.address, std::move(ask.alias), call.caller ? call.caller->name : "",
                    std::move(ask.title), std::move(ask.tags), ask.expires, ask.maxClicks, domain};
  parts_.writer.Submit(std::move(creation), [settle, outcome = std::move(outcome), shape = std::move(shape),
                                             complete = std::move(complete)](const Created& created) mutable {
    const auto make = [settled = settle(std::move(outcome), created), shape = std::move(shape)] {
      return shape(settled);
    };
    // A new link's answer is made at once, on the writer's thread. Any other
    // may read the stored link (a door answering a known address with its
    // row), which the writer never waits for: it is made on the transport's.
    if (created.outcome != Created::kCreated) return complete(make);
    std::optional<Reply> reply;
    try {
      reply = make();
    } catch (...) {
      // a door's fault must not end the writer: the transport makes the
      // answer again, and answers its failure
      return complete(make);
    }
    complete([reply = std::move(*reply)]() mutable { return std::move(reply); });
  });
  return std::nullopt;
}

Reply Operations::HeadOfCreation(Call& call, CreationOutcome outcome, std::string_view alias,
                                 const CreationShape& shape) {
  std::optional<std::string> code;
  if (!FromStore("HEAD of a creation", [&] { code = parts_.store.FindAddress(outcome.address, outcome.domain); })) {
    outcome.kind = CreationOutcome::kStoreFailed;
    return shape(outcome);
  }
  if (!code) {
    // only GET (or POST) makes the link; the answer changes once it does
    Reply reply = Page(call.language, 405, &PageTexts::methodTitle, &PageTexts::method);
    reply.headers.push_back({"Allow", MethodNames(call.methods & ~unsigned(kHead))});
    reply.headers.push_back({"Cache-Control", "no-store"});
    return reply;
  }
  // as the writer settles a known address
  outcome.kind = !alias.empty() && *code != alias ? CreationOutcome::kAddressHasCode : CreationOutcome::kKnown;
  if (outcome.kind == CreationOutcome::kKnown) outcome.shortAddress = ShortAddress(outcome.domain, *code);
  outcome.code = std::move(*code);
  return shape(outcome);
}

Managed Operations::ManagedLink(Call& call, std::string_view code, std::string_view what) {
  if (!IsValidCode(code)) return {std::nullopt, Problem::kNotFound};
  const std::string key = LinkKey(call.domain->stored, code);
  std::optional<Link> link;
  if (!FromStore(std::string(what) + " " + key, [&] { link = parts_.store.FindCode(key); }))
    return {std::nullopt, Problem::kStoreFailed};
  if (!link) return {std::nullopt, Problem::kNotFound};
  if (!call.caller || (call.caller->role != Role::kAdmin && call.caller->name != link->owner))
    return {std::nullopt, Problem::kNotOwner};
  return {std::move(link)};
}

Managed Operations::EditLink(Call& call, std::string_view code, LinkChange change) {
  if (change.address) {
    if (!call.caller || call.caller->role != Role::kAdmin) return {std::nullopt, Problem::kForbidden};
    const StoredForm check = Accept(*change.address);
    if (check.refusal != Refusal::kAccepted) return {std::nullopt, Problem::kAddressRefused, check.refusal};
    change.address = check.address;
  }
  Managed managed = ManagedLink(call, code, "changing");
  if (managed.problem != Problem::kNone) return managed;
  const std::string key = LinkKey(managed.link->domain, managed.link->code);
  change.actor = call.caller ? call.caller->name : std::string();
  ChangeResult result;
  if (!FromStore("changing " + key, [&] { result = parts_.store.ChangeLink(key, change); }))
    return {std::nullopt, Problem::kStoreFailed};
  // this instance answers with the change from here on; the others within a second
  parts_.cache.Drop(key);
  switch (result.outcome) {
    case ChangeResult::kNotFound: return {std::nullopt, Problem::kNotFound};
    case ChangeResult::kAddressTaken: return {std::nullopt, Problem::kAddressTaken};
    case ChangeResult::kChanged: break;
  }
  return {std::move(result.link)};
}

Problem Operations::RemoveLink(Call& call, std::string_view code) {
  const Managed managed = ManagedLink(call, code, "deleting");
  if (managed.problem != Problem::kNone) return managed.problem;
  const std::string key = LinkKey(managed.link->domain, managed.link->code);
  bool deleted = false;
  if (!FromStore("deleting " + key, [&] { deleted = parts_.store.DeleteLink(key, call.caller->name); }))
    return Problem::kStoreFailed;
  parts_.cache.Drop(key);
  return deleted ? Problem::kNone : Problem::kNotFound;
}

std::optional<LinkPage> Operations::ListFor(Call& call, LinkFilter filter) {
  // a creator sees its own links
  if (!call.caller || call.caller->role != Role::kAdmin) filter.query.owner = call.caller ? call.caller->name : "";
  filter.query.domain = call.domain->stored;
  std::optional<LinkPage> page;
  FromStore("listing links", [&] { page = FindLinks(parts_.store, filter); });
  return page;
}

bool Operations::ForEachListed(Call& call, LinkFilter filter, const std::function<void(Link&)>& visit) {
  filter.query.limit = kMaxListLimit;
  for (;;) {
    std::optional<LinkPage> page = ListFor(call, filter);
    if (!page) return false;
    for (Link& link : page->links) visit(link);
    if (!page->next) return true;
    filter.query.after = *page->next;
  }
}

int64_t Operations::ClicksOf(const Link& link) const {
  return link.clicks + parts_.cache.PendingClicks(LinkKey(link));
}

LinkRead Operations::ReadLink(std::string_view domain, std::string_view code, const std::string& what) {
  LinkRead read;
  read.storeFailed = !FromStore(what, [&] { read.link = parts_.store.FindCode(LinkKey(domain, code)); });
  return read;
}

std::optional<std::vector<DayCount>> Operations::ClicksByDay(const Link& link, int64_t fromDay, int64_t toDay) {
  std::optional<std::vector<DayCount>> days;
  FromStore("statistics of " + link.code, [&] { days = parts_.store.ClicksByDay(LinkKey(link), fromDay, toDay); });
  return days;
}

std::optional<LinkStats> Operations::StatsOf(std::string_view key, int64_t fromDay, int64_t toDay) {
  std::optional<LinkStats> stats;
  FromStore("analytics of " + std::string(key), [&] { stats = ReadLinkStats(parts_.store, key, fromDay, toDay); });
  return stats;
}

std::optional<UnknownStats> Operations::UnknownStatsOf(int64_t fromDay, int64_t toDay) {
  std::optional<UnknownStats> stats;
  FromStore("visits to unknown codes", [&] { stats = ReadUnknownStats(parts_.store, fromDay, toDay); });
  return stats;
}

std::optional<LinkTotals> Operations::CountLinks() {
  LinkTotals totals;
  const auto count = [&] {
    parts_.store.ForEachLink([&](const Link& link) {
      ++totals.links;
      totals.clicks += ClicksOf(link);
      return true;
    });
  };
  if (!FromStore("counting links", count)) return std::nullopt;
  return totals;
}

Readiness Operations::Ready() {
  if (stopping_.load()) return {false, false, "stopping: new connections are refused"};
  switch (parts_.store.Health()) {
    case StoreHealth::kUnreachable:
      return {false, true, "the store is unreachable: creations and links not in the cache fail until it is back"};
    case StoreHealth::kReadOnly:
      return {false, true, "the database is read-only (a standby?): creations fail"};
    case StoreHealth::kOk: break;
  }
  switch (parts_.writer.CreationTrouble()) {
    case StoreCause::kFull: return {false, true, "the disk is full: the last creations failed for space"};
    case StoreCause::kReadOnly: return {false, true, "the database is read-only: the last creations were refused"};
    case StoreCause::kOther: break;
  }
  return {true, true, {}};
}

std::string Operations::MetricsText() {
  Metrics& metrics = parts_.metrics;
  metrics.cacheEntries = parts_.cache.size();
  metrics.cacheCapacity = parts_.cache.capacity();
  metrics.cacheHits = parts_.cache.hits();
  metrics.cacheMisses = parts_.cache.misses();
  return metrics.Text();
}

}  // namespace snipora::service
