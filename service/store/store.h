#pragma once
// Where the links are kept. The service talks to its store through this
// small interface only, so that another database can take SQLite's place;
// the same store tests run against every implementation (tests/store/store_test.cpp).
//
// A store is used from several threads: each call is safe to make
// concurrently with any other. Failures of the database throw StoreError.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "service/store/tallies.h"
#include "service/store/people.h"

namespace snipora::service {

// Why a write failed, where the database says: a full disk and a read-only
// database (a standby) are told apart from the rest, for /healthz.
enum class StoreCause { kOther, kFull, kReadOnly };

struct StoreError : std::runtime_error {
  explicit StoreError(const std::string& what, StoreCause why = StoreCause::kOther)
      : std::runtime_error(what), cause(why) {}
  StoreCause cause;
};

// A link lives on one of the service's domains, and its code is unique on
// that domain alone. Where a store names one link by a single string (its
// calls by code, the clicks, the changes log, the freed codes) it uses the
// link's key: the code on the default domain, "DOMAIN/CODE" on any other
// (DOMAIN the host's name in lower case, without a port). No code holds a
// '/', no host name either, so a key reads back one way only; and the links
// made before there were several domains keep their keys.
// The key into `key`, which keeps its room from one call to the next.
inline std::string_view AssignLinkKey(std::string& key, std::string_view domain, std::string_view code) {
  key.assign(domain);
  if (!domain.empty()) key.append(1, '/');
  key.append(code);
  return key;
}
inline std::string LinkKey(std::string_view domain, std::string_view code) {
  std::string key;
  AssignLinkKey(key, domain, code);
  return key;
}
struct KeyParts {
  std::string_view domain, code;
};
inline KeyParts SplitLinkKey(std::string_view key) {
  const std::size_t slash = key.rfind('/');
  if (slash == std::string_view::npos) return {{}, key};
  return {key.substr(0, slash), key.substr(slash + 1)};
}

// Whether the database answers now, and takes writes.
enum class StoreHealth { kOk, kUnreachable, kReadOnly };

struct Link {
  std::string code;
  std::string address;
  int64_t created = 0;  // seconds since 1970, UTC
  int64_t clicks = 0;
  // its life: a disabled or expired link answers 410
  bool disabled = false;
  std::string publicNote;   // shown on its 410 page
  std::string privateNote;  // for operators only
  std::optional<int64_t> expires;    // seconds since 1970, UTC; none: never
  std::optional<int64_t> maxClicks;  // none: no limit
  std::string owner;                 // the name of the key that made it; "" for none
  // what the client that made it said of it: shown back, never used here
  std::string title;
  std::vector<std::string> tags;
  std::string domain;  // "": the default domain
  // from version 7: why it is under review ("feed NAME: ENTRY"); "": it is
  // not. A quarantined link answers 410 and is never deleted for it.
  std::string quarantine;
};
inline std::string LinkKey(const Link& link) { return LinkKey(link.domain, link.code); }
// A link's code and domain from its key.
inline void SetKey(Link& link, std::string_view key) {
  const KeyParts parts = SplitLinkKey(key);
  link.code = parts.code;
  link.domain = parts.domain;
}

struct NewLink {
  std::string code;
  std::string address;
  int64_t created = 0;
  int64_t clicks = 0;  // non-zero when links move between stores
  std::string owner;   // the key that made it; "" for none
  std::string title;
  std::vector<std::string> tags;
  std::optional<int64_t> expires;    // none: never
  std::optional<int64_t> maxClicks;  // none: no limit
  std::string domain;                // "": the default domain
};

// An API key as stored: never the key itself, only its digest.
struct KeyRecord {
  std::string name;
  std::string role;    // "admin" or "creator"
  std::string digest;  // SHA-256 of the key, 32 bytes
  int64_t created = 0;
  std::optional<int64_t> revoked;
};

// Which links ListLinks reads.
struct LinkQuery {
  std::string after;  // codes after this one, byte order ("": from the first)
  std::optional<int64_t> createdFrom, createdBefore;  // created >= from, < before
  std::optional<bool> disabled;
  std::optional<std::string> owner;
  int limit = 1000;
  std::string domain;  // the links of this domain alone ("": the default)
  // at least 3 characters the code, address, title or tags hold (letter case
  // ignored), found through the store's index; "": any. The answer may hold
  // a little more than asked (a match across two tags): callers check again.
  std::string text;
};

// One row of the changes log: a link (by its key) or a key (by name) changed.
struct ChangeNote {
  int64_t seq = 0;
  std::string kind;  // "link", "key" or "feed" (by its name)
  std::string name;
};

struct InsertResult {
  // kCodeHeld: the code was a deleted link's, within the code quarantine
  enum Outcome { kInserted, kAddressKnown, kCodeTaken, kCodeHeld } outcome = kInserted;
  std::string code;  // the code the address now has (kInserted, kAddressKnown)
};

// What a change sets; a field left empty stays as it is.
struct LinkChange {
  std::optional<std::string> address;
  std::optional<bool> disabled;
  std::optional<std::string> publicNote, privateNote;
  std::optional<std::optional<int64_t>> expires, maxClicks;  // an empty inner value: never, no limit
  std::optional<std::string> title;
  std::optional<std::vector<std::string>> tags;
  // who asks (a key's name): the webhooks' actor, not a field set
  std::string actor;
};

// The link with a change's fields set.
inline Link Changed(Link link, const LinkChange& change) {
  if (change.address) link.address = *change.address;
  if (change.disabled) link.disabled = *change.disabled;
  if (change.publicNote) link.publicNote = *change.publicNote;
  if (change.privateNote) link.privateNote = *change.privateNote;
  if (change.expires) link.expires = *change.expires;
  if (change.maxClicks) link.maxClicks = *change.maxClicks;
  if (change.title) link.title = *change.title;
  if (change.tags) link.tags = *change.tags;
  return link;
}

struct ChangeResult {
  enum Outcome { kChanged, kNotFound, kAddressTaken } outcome = kNotFound;
  Link link;  // kChanged: as it is now
};

struct ClickCount {
  std::string code;  // the link's key
  int64_t clicks = 0;
  // the link has a max_clicks: its new count is noted as a change, so that
  // the other instances read it
  bool limited = false;
};

// One write of counted clicks: its identifier, so that a write retried after
// its commit went unanswered (the connection broke) is not counted twice,
// and the UTC day (days since 1970) its clicks are counted on.
struct ClickFlush {
  std::string id;    // "": not checked
  int64_t day = -1;  // -1: no daily counts
  // the analytics counted with these clicks, written in the same
  // transaction (null: none)
  const Tallies* tallies = nullptr;
};

struct DayCount {
  int64_t day = 0;  // days since 1970, UTC
  int64_t clicks = 0;
};

// How long a store keeps what lets a retry and the other instances catch up,
// pruned by the click writes. A flush's id an hour: a flush retried after
// its commit went unanswered comes again within seconds. The log of changes
// a day: every instance reads it every second (an instance that starts reads
// from the newest change on).
inline constexpr int64_t kFlushIdsKeptSeconds = 3600;
inline constexpr int64_t kChangesKeptSeconds = 86400;

// The code of a deleted link and when it was deleted: held back from new
// links for the code quarantine, so that old short addresses and printed QR
// codes never lead somewhere new.
struct FreedCode {
  std::string code;  // the link's key
  int64_t freed = 0;  // seconds since 1970, UTC
};

// The version of a threat feed every instance applies: the text as it was
// last fetched, and what its server said of it, for the next conditional
// fetch.
struct FeedVersion {
  std::string name;  // as --threat-feed names it
  std::string body;  // bytes as fetched
  std::string etag, lastModified;  // "" when the server gave none
  int64_t fetched = 0;             // seconds since 1970, UTC
};

// A link to put under review, and why (Link::quarantine).
struct QuarantineAsk {
  std::string key;
  std::string reason;
};

// One event of the webhooks' outbox (from version 6), for one receiver:
// written in the transaction of the change it tells of, so a crash after the
// commit still delivers it.
struct OutboxEvent {
  int64_t id = 0;      // increasing: the order of the events of one link
  int64_t target = 0;  // which --webhook (its place among them)
  std::string event;   // "link.created", ...
  std::string key;     // the link's key
  std::string address, actor;
  int64_t at = 0;  // when the change was made, seconds since 1970, UTC
  int64_t attempts = 0;
};

// How a store is opened: by default as the option table's defaults have it
// (open_store.cpp).
struct StoreOptions {
  StoreOptions();
  // seconds a deleted link's code is held back from new links (0: not at
  // all): --code-quarantine-days
  int64_t codeQuarantine;
  // the --webhook receivers: every change of a link writes one outbox event
  // for each (0: none written)
  int64_t webhookTargets = 0;
  // the store's clock for freed codes, seconds since 1970; null: the system's
  std::function<int64_t()> now;
};

// Held while the store reports changes made elsewhere (ended by its
// destruction).
class ChangeListener {
 public:
  virtual ~ChangeListener() = default;
};

class Store {
 public:
  virtual ~Store() = default;

  // Calls `changed` (on a thread of its own) soon after a change is noted in
  // the store by anyone, and after every reconnection (changes may have been
  // missed); null where the database cannot tell (the caller polls).
  virtual std::unique_ptr<ChangeListener> Listen(std::function<void()> changed) {
    (void)changed;
    return nullptr;
  }

  // The calls that name one link take its key (LinkKey).
  virtual std::optional<Link> FindCode(std::string_view key) = 0;
  // The code of a stored address on a domain.
  virtual std::optional<std::string> FindAddress(std::string_view address, std::string_view domain = {}) = 0;
  // Each link in order, in ONE transaction that is durable when this
  // returns: inserted unless its address is stored already (the known code is
  // answered), its code is taken by another address, or its code was freed
  // within the quarantine (held). Later links of the batch see the earlier ones.
  virtual std::vector<InsertResult> InsertIfAbsent(std::span<const NewLink> links) = 0;
  // Changes a link, and notes the change for the other instances (changes
  // table); kAddressTaken when the new address is another code's.
  virtual ChangeResult ChangeLink(std::string_view code, const LinkChange& change) = 0;
  // The links a query names (of its domain), in the order of their codes, at
  // most its limit.
  virtual std::vector<Link> ListLinks(const LinkQuery& query) = 0;
  // Deletes a link and its daily clicks, noting the change, and holds its
  // code back (a freed code, in the same transaction); false when absent.
  virtual bool DeleteLink(std::string_view code, std::string_view actor = {}) = 0;
  // Every freed code the store keeps, in the order of its code, until
  // `visit` answers false; and freed codes written in (a copy between
  // stores), a code there already keeping the later time.
  virtual void ForEachFreedCode(const std::function<bool(const FreedCode&)>& visit) = 0;
  virtual void AddFreedCodes(std::span<const FreedCode> codes) = 0;
  // Keys: false when the name is taken (AddKey) or no valid key has it
  // (RevokeKey). Both note the change.
  virtual bool AddKey(const KeyRecord& key) = 0;
  virtual std::vector<KeyRecord> ListKeys() = 0;
  virtual bool RevokeKey(std::string_view name, int64_t when) = 0;
  // The changes noted after `seq`, oldest first, at most `limit`.
  virtual std::vector<ChangeNote> ChangesSince(int64_t seq, int limit) = 0;
  // The last change's seq (0: none yet).
  virtual int64_t LastChange() = 0;
  // Adds to the click counts of existing codes, and to their counts of the
  // flush's day, and the flush's analytics of existing codes (and unknown
  // ones), in one transaction; a flush whose id was applied already
  // (within the last hour) changes nothing. A flush with an id also prunes
  // what the store keeps for a while: flush ids, the log of changes, and
  // freed codes past the quarantine.
  virtual void AddClicks(std::span<const ClickCount> counts, const ClickFlush& flush = {}) = 0;
  // A link's clicks per day from `fromDay` to `toDay` (both included), the
  // days with clicks alone, in order.
  virtual std::vector<DayCount> ClicksByDay(std::string_view code, int64_t fromDay, int64_t toDay) = 0;
  // Every link of every domain, in the order of its key (byte for byte),
  // until `visit` answers false. Reads in pages: links made meanwhile may or
  // may not be visited.
  virtual void ForEachLink(const std::function<bool(const Link&)>& visit) = 0;
  // The analytics of a link's key (kUnknownCodes: of unknown codes) from
  // `fromDay` to `toDay`, both included, in the order of day, kind and name;
  // and the registers of its different-visitor sketches, by day. A store
  // without analytics has none.
  virtual std::vector<TallyRow> TalliesByDay(std::string_view code, int64_t fromDay, int64_t toDay) {
    (void)code, (void)fromDay, (void)toDay;
    return {};
  }
  virtual std::vector<RegisterRow> RegistersByDay(std::string_view code, int64_t fromDay, int64_t toDay) {
    (void)code, (void)fromDay, (void)toDay;
    return {};
  }
  // The day's salt: `candidate` stored when the day has none yet (the first
  // instance to ask sets it for all), and the salts of earlier days deleted.
  virtual std::string DaySalt(int64_t day, std::string_view candidate) {
    (void)day;
    return std::string(candidate);
  }
  // Removes at most `limit` rows of the family older than `beforeDay`, in
  // one short transaction; the number removed (fewer than `limit`: done).
  virtual int64_t RemoveTalliesBefore(TallyFamily family, int64_t beforeDay, int limit) {
    (void)family, (void)beforeDay, (void)limit;
    return 0;
  }
  // Every analytics row, for a copy between stores, until `visit` answers
  // false; and rows written in (added to, registers by their maximum).
  virtual void ForEachTally(const std::function<bool(const Tallies&)>& visit) { (void)visit; }
  virtual void AddTallies(const Tallies& tallies) { (void)tallies; }
  // Threat feeds (from version 7): every feed's version as stored; and a
  // version written, noting a change ("feed", its name) only when its body
  // is not the one stored, so the other instances read it again. False: the
  // body was the one stored (its ETag and time written all the same).
  virtual std::vector<FeedVersion> ListFeedVersions() = 0;
  virtual bool SaveFeedVersion(const FeedVersion& version) = 0;
  // Quarantine (from version 7): each link asked put under review, in one
  // transaction, unless it is already, or an admin released it from that
  // same reason before; each one put is noted as a change. Its keys.
  virtual std::vector<std::string> QuarantineLinks(std::span<const QuarantineAsk> asks) = 0;
  // Takes a link out of review, and keeps its reason as released for it, so
  // the same entry never puts it back; false when it was not under review.
  virtual bool ReleaseLink(std::string_view key, std::string_view actor = {}) = 0;
  // Webhooks (from version 6): up to `limit` events due by `now`, each the
  // oldest left of its link and receiver, none another caller holds; each
  // held for `lease` seconds, so that of several instances one delivers it.
  // Done: an event delivered (or given up) is removed; a failed one is due
  // again at `due`, its attempts counted.
  virtual std::vector<OutboxEvent> ClaimEvents(int64_t now, int64_t lease, int limit) = 0;
  virtual void EventDone(int64_t id) = 0;
  // An event that is no link's change (domain.listed: `key` the host,
  // `actor` the zone), for every receiver, in a transaction of its own.
  virtual void AddEvent(std::string_view event, std::string_view key, std::string_view actor) = 0;
  virtual void EventRetry(int64_t id, int64_t due) = 0;
  // Whether the database answers a query now, and would take a write (not a
  // standby, not a file opened read-only).
  virtual StoreHealth Health() = 0;
  bool Healthy() { return Health() == StoreHealth::kOk; }

  // From version 8, the console's people and sessions (people.h); a store
  // without them refuses each call.
  // Makes the person a sign-in names, or brings their name, email, role and
  // last sight up to date; the row as it is now.
  virtual Person SeePerson(const SignInSays& says) { return Unsupported<Person>(says); }
  virtual std::optional<Person> FindPerson(int64_t id) { return Unsupported<std::optional<Person>>(id); }
  virtual std::vector<Person> ListPeople() { return Unsupported<std::vector<Person>>(0); }
  // Changes a person and notes it ("person"); a lock-out also ends every
  // session of theirs, in the same transaction. False when there is no such person.
  virtual bool ChangePerson(int64_t id, const PersonChange& change) {
    (void)change;
    return Unsupported<bool>(id);
  }
  virtual void AddSession(const SessionRecord& session) { Unsupported<bool>(session.person); }
  // The session of a digest and its person; none when it is not (or no longer) kept.
  virtual std::optional<SignedIn> FindSession(std::string_view digest) {
    return Unsupported<std::optional<SignedIn>>(digest);
  }
  virtual void TouchSession(std::string_view digest, int64_t at) { Unsupported<bool>(digest.size() + at); }
  // Ends a session; a sign-out on any instance is then seen by all of them.
  virtual void EndSession(std::string_view digest) { Unsupported<bool>(digest); }

 private:
  template <class T, class Any>
  static T Unsupported(const Any&) {
    throw StoreError("this store keeps no people");
  }
};

}  // namespace snipora::service
