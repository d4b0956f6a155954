#include "service/store/sqlite_store.h"

#include <algorithm>
#include <sqlite3.h>

#include <cerrno>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "service/store/sqlite_checkpointer.h"
#include "service/store/stored_tags.h"

namespace snipora::service {
namespace {

// How long a connection waits for a lock another holds (a reader's
// checkpoint, the command line's change, a migration at start) before its
// statement fails: each of those holds it for milliseconds, so 5 s is far
// past any of them and still short of a client's patience.
constexpr int kBusyTimeoutMs = 5000;

// Each step takes the schema from the version before it to its own number
// (its index + 1); a new version is a new line here.
constexpr const char* kMigrations[] = {
    "CREATE TABLE links(code TEXT PRIMARY KEY, address TEXT NOT NULL UNIQUE,"
    " created INTEGER NOT NULL, clicks INTEGER NOT NULL DEFAULT 0) WITHOUT ROWID",
    // 2: links have a life and an owner; keys; clicks per day; the flushes
    // of clicks applied (a flush retried after an unclear commit counts
    // once); a log of changes the other readers of the file pick up.
    "ALTER TABLE links ADD COLUMN disabled INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE links ADD COLUMN public_note TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE links ADD COLUMN private_note TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE links ADD COLUMN expires INTEGER;"
    "ALTER TABLE links ADD COLUMN max_clicks INTEGER;"
    "ALTER TABLE links ADD COLUMN owner TEXT NOT NULL DEFAULT '';"
    "CREATE TABLE keys(name TEXT PRIMARY KEY, role TEXT NOT NULL, digest BLOB NOT NULL UNIQUE,"
    " created INTEGER NOT NULL, revoked INTEGER) WITHOUT ROWID;"
    "CREATE TABLE daily_clicks(code TEXT NOT NULL, day INTEGER NOT NULL, clicks INTEGER NOT NULL,"
    " PRIMARY KEY(code, day)) WITHOUT ROWID;"
    "CREATE TABLE click_flushes(id TEXT PRIMARY KEY, applied INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE INDEX click_flushes_applied ON click_flushes(applied);"
    "CREATE TABLE changes(seq INTEGER PRIMARY KEY AUTOINCREMENT, kind TEXT NOT NULL, name TEXT NOT NULL,"
    " at INTEGER NOT NULL);"
    "CREATE INDEX changes_at ON changes(at)",
    // 3: what the client that made a link said of it (tags: stored_tags.h)
    "ALTER TABLE links ADD COLUMN title TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE links ADD COLUMN tags TEXT NOT NULL DEFAULT '[]'",
    // 4: the codes of deleted links, held back from new links for a while
    "CREATE TABLE freed_codes(code TEXT PRIMARY KEY, freed INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE INDEX freed_codes_freed ON freed_codes(freed)",
    // 5: several domains. The code column holds the link's key (store.h),
    // so every link made before stays where it was, on the default domain;
    // an address has one code per domain. SQLite drops a column's UNIQUE
    // only by building the table again.
    "CREATE TABLE links_by_domain(code TEXT PRIMARY KEY, domain TEXT NOT NULL DEFAULT '', address TEXT NOT NULL,"
    " created INTEGER NOT NULL, clicks INTEGER NOT NULL DEFAULT 0, disabled INTEGER NOT NULL DEFAULT 0,"
    " public_note TEXT NOT NULL DEFAULT '', private_note TEXT NOT NULL DEFAULT '', expires INTEGER,"
    " max_clicks INTEGER, owner TEXT NOT NULL DEFAULT '', title TEXT NOT NULL DEFAULT '',"
    " tags TEXT NOT NULL DEFAULT '[]', UNIQUE(domain, address)) WITHOUT ROWID;"
    "INSERT INTO links_by_domain(code, address, created, clicks, disabled, public_note, private_note, expires,"
    " max_clicks, owner, title, tags) SELECT code, address, created, clicks, disabled, public_note, private_note,"
    " expires, max_clicks, owner, title, tags FROM links;"
    "DROP TABLE links;"
    "ALTER TABLE links_by_domain RENAME TO links",
    // 6: abuse screening: the threat feeds' versions every instance applies;
    // a link under review, and the reasons an admin released it from; the
    // webhooks' outbox (the events of one link and receiver go in id order)
    "CREATE TABLE threat_feeds(name TEXT PRIMARY KEY, body BLOB NOT NULL, etag TEXT NOT NULL DEFAULT '',"
    " last_modified TEXT NOT NULL DEFAULT '', fetched INTEGER NOT NULL) WITHOUT ROWID;"
    "ALTER TABLE links ADD COLUMN quarantine TEXT NOT NULL DEFAULT '';"
    "CREATE TABLE quarantine_releases(code TEXT NOT NULL, reason TEXT NOT NULL, released INTEGER NOT NULL,"
    " PRIMARY KEY(code, reason)) WITHOUT ROWID;"
    "CREATE TABLE webhook_outbox(id INTEGER PRIMARY KEY AUTOINCREMENT, target INTEGER NOT NULL,"
    " event TEXT NOT NULL, code TEXT NOT NULL, address TEXT NOT NULL, actor TEXT NOT NULL, at INTEGER NOT NULL,"
    " attempts INTEGER NOT NULL DEFAULT 0, due INTEGER NOT NULL, leased INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX webhook_outbox_link ON webhook_outbox(target, code, id)",
};
// The columns of a Link after its code, in the order ReadLink takes them.
#define SNIPORA_LINK_COLUMNS \
  "address, created, clicks, disabled, public_note, private_note, expires, max_clicks, owner, title, tags, quarantine"
constexpr int kSchemaVersion = int(std::size(kMigrations));

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;
using StatementHandle = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// What the connection's last error says of its cause: no space (SQLite's
// own code, or a write the system refused for space), or a read-only file.
StoreCause CauseOf(sqlite3* db) {
  if (!db) return StoreCause::kOther;
  const int code = sqlite3_errcode(db);
  if (code == SQLITE_FULL || (code == SQLITE_IOERR && sqlite3_system_errno(db) == ENOSPC)) return StoreCause::kFull;
  if (code == SQLITE_READONLY) return StoreCause::kReadOnly;
  return StoreCause::kOther;
}

[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
  throw StoreError(what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"), CauseOf(db));
}

void Execute(sqlite3* db, const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string text = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    throw StoreError(std::string(sql).substr(0, 60) + ": " + text, CauseOf(db));
  }
}

// A prepared statement, reset after every use so it holds no read lock.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr) != SQLITE_OK) Fail(db, sql);
    statement_.reset(raw);
  }
  Statement& Bind(int index, std::string_view text) {
    // an empty view may have no data: SQLite would bind NULL, which equals nothing
    Check(sqlite3_bind_text(statement_.get(), index, text.data() ? text.data() : "", int(text.size()), SQLITE_STATIC));
    return *this;
  }
  Statement& Bind(int index, int64_t value) {
    Check(sqlite3_bind_int64(statement_.get(), index, value));
    return *this;
  }
  Statement& Bind(int index, std::optional<int64_t> value) {
    if (value) return Bind(index, *value);
    Check(sqlite3_bind_null(statement_.get(), index));
    return *this;
  }
  // true while a row is there
  bool Step() {
    const int status = sqlite3_step(statement_.get());
    if (status == SQLITE_ROW) return true;
    if (status == SQLITE_DONE) return false;
    const std::string message = sqlite3_errmsg(db_);
    const StoreCause cause = CauseOf(db_);
    Reset();
    throw StoreError("query: " + message, cause);
  }
  Statement& BindMaybe(int index, const std::optional<std::string>& text) {
    if (text) return Bind(index, std::string_view(*text));
    Check(sqlite3_bind_null(statement_.get(), index));
    return *this;
  }
  Statement& BindBlob(int index, std::string_view bytes) {
    // as Bind: an empty view may have no data, which SQLite binds as NULL
    Check(sqlite3_bind_blob(statement_.get(), index, bytes.data() ? bytes.data() : "", int(bytes.size()), SQLITE_STATIC));
    return *this;
  }
  std::string_view Blob(int column) {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement_.get(), column));
    return bytes ? std::string_view(bytes, std::size_t(sqlite3_column_bytes(statement_.get(), column))) : "";
  }
  std::string_view Text(int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_.get(), column));
    return text ? std::string_view(text, std::size_t(sqlite3_column_bytes(statement_.get(), column))) : "";
  }
  int64_t Integer(int column) { return sqlite3_column_int64(statement_.get(), column); }
  std::optional<int64_t> MaybeInteger(int column) {
    if (sqlite3_column_type(statement_.get(), column) == SQLITE_NULL) return std::nullopt;
    return Integer(column);
  }
  void Reset() {
    sqlite3_reset(statement_.get());
    sqlite3_clear_bindings(statement_.get());
  }

 private:
  void Check(int status) {
    if (status != SQLITE_OK) Fail(db_, "bind");
  }
  sqlite3* db_;
  StatementHandle statement_;
};

// A link's columns from `first` on (SNIPORA_LINK_COLUMNS).
void ReadLink(Statement& row, int first, Link& link) {
  link.address = row.Text(first);
  link.created = row.Integer(first + 1);
  link.clicks = row.Integer(first + 2);
  link.disabled = row.Integer(first + 3) != 0;
  link.publicNote = row.Text(first + 4);
  link.privateNote = row.Text(first + 5);
  link.expires = row.MaybeInteger(first + 6);
  link.maxClicks = row.MaybeInteger(first + 7);
  link.owner = row.Text(first + 8);
  link.title = row.Text(first + 9);
  link.tags = TagsOfColumn(row.Text(first + 10));
  link.quarantine = row.Text(first + 11);
}

struct ResetOnExit {
  Statement& statement;
  ~ResetOnExit() { statement.Reset(); }
};

// One connection and its statements; used by one thread at a time.
struct Connection {
  explicit Connection(const std::string& path) {
    sqlite3* raw = nullptr;
    const int status = sqlite3_open_v2(path.c_str(), &raw,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    db.reset(raw);
    if (status != SQLITE_OK) Fail(raw, "open " + path);
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    Execute(raw, "PRAGMA journal_mode=WAL");
    Execute(raw, "PRAGMA synchronous=FULL");
  }
  void Prepare() {
    findCode.emplace(db.get(), "SELECT " SNIPORA_LINK_COLUMNS " FROM links WHERE code = ?1");
    findAddress.emplace(db.get(), "SELECT code FROM links WHERE domain = ?2 AND address = ?1");
    insert.emplace(db.get(),
                   "INSERT INTO links(code, address, created, clicks, owner, expires, max_clicks, title, tags, domain)"
                   " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    addClicks.emplace(db.get(), "UPDATE links SET clicks = clicks + ?2 WHERE code = ?1");
  }
  // The writer's own.
  void PrepareChanges() {
    change.emplace(db.get(),
                   "UPDATE links SET address = ?2, disabled = ?3, public_note = ?4, private_note = ?5, expires = ?6,"
                   " max_clicks = ?7, title = ?8, tags = ?9 WHERE code = ?1");
    remove.emplace(db.get(), "DELETE FROM links WHERE code = ?1");
    removeDays.emplace(db.get(), "DELETE FROM daily_clicks WHERE code = ?1");
    noteChange.emplace(db.get(), "INSERT INTO changes(kind, name, at) VALUES(?1, ?2, unixepoch())");
    addDaily.emplace(db.get(),
                     "INSERT INTO daily_clicks(code, day, clicks) VALUES(?1, ?2, ?3)"
                     " ON CONFLICT(code, day) DO UPDATE SET clicks = clicks + excluded.clicks");
    freeCode.emplace(db.get(),
                     "INSERT INTO freed_codes(code, freed) VALUES(?1, ?2)"
                     " ON CONFLICT(code) DO UPDATE SET freed = max(freed, excluded.freed)");
    findHeld.emplace(db.get(), "SELECT 1 FROM freed_codes WHERE code = ?1 AND freed > ?2");
  }

  Database db;
  std::optional<Statement> findCode, findAddress, insert, addClicks;
  std::optional<Statement> change, remove, removeDays, noteChange, addDaily, freeCode, findHeld;
};

class Transaction {
 public:
  explicit Transaction(sqlite3* db) : db_(db) { Execute(db, "BEGIN IMMEDIATE"); }
  ~Transaction() {
    if (!done_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  void Commit() {
    Execute(db_, "COMMIT");
    done_ = true;
  }

 private:
  sqlite3* db_;
  bool done_ = false;
};

void Migrate(Connection& connection) {
  sqlite3* db = connection.db.get();
  Transaction transaction(db);
  Statement version(db, "PRAGMA user_version");
  version.Step();
  const int64_t found = version.Integer(0);
  version.Reset();
  if (found > kSchemaVersion)
    throw StoreError("the database has schema version " + std::to_string(found) + ", newer than this program's " +
                     std::to_string(kSchemaVersion));
  for (int64_t step = found; step < kSchemaVersion; ++step) Execute(db, kMigrations[step]);
  Execute(db, ("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
  transaction.Commit();
}

class SqliteStore final : public Store {
 public:
  SqliteStore(std::string path, StoreOptions options)
      : path_(std::move(path)), options_(std::move(options)), writer_(path_) {
    Migrate(writer_);
    writer_.Prepare();
    writer_.PrepareChanges();
    // A new code lands on a page at random: with SQLite's 2 MB the writer
    // read most pages back from the file for every insert. 32 MB holds
    // those of a few hundred thousand links; it fills only as pages are used.
    Execute(writer_.db.get(), "PRAGMA cache_size=-32768");
    checkpointer_.emplace(writer_.db.get(), path_);
  }

  ChangeResult ChangeLink(std::string_view code, const LinkChange& change) override {
    std::lock_guard lock(writerMutex_);
    Transaction transaction(writer_.db.get());
    std::optional<Link> before;
    {
      Statement& find = *writer_.findCode;
      ResetOnExit reset{find};
      find.Bind(1, code);
      if (!find.Step()) return {};
      before.emplace();
      SetKey(*before, code);
      ReadLink(find, 0, *before);
    }
    Link after = Changed(*before, change);
    if (after.address != before->address) {
      Statement& find = *writer_.findAddress;
      ResetOnExit reset{find};
      find.Bind(1, after.address).Bind(2, after.domain);
      if (find.Step()) return {ChangeResult::kAddressTaken, {}};
    }
    {
      Statement& update = *writer_.change;
      ResetOnExit reset{update};
      update.Bind(1, code).Bind(2, after.address).Bind(3, int64_t(after.disabled)).Bind(4, after.publicNote);
      update.Bind(5, after.privateNote).Bind(6, after.expires).Bind(7, after.maxClicks).Bind(8, after.title);
      const std::string tags = TagsColumn(after.tags);
      update.Bind(9, tags).Step();
    }
    NoteChange("link", code);
    AddEvents(after.disabled && !before->disabled ? "link.disabled" : "link.changed", code, after.address, change.actor);
    transaction.Commit();
    return {ChangeResult::kChanged, std::move(after)};
  }

  std::vector<Link> ListLinks(const LinkQuery& query) override {
    Lease lease(*this);
    Statement list(lease->db.get(),
                   "SELECT code, " SNIPORA_LINK_COLUMNS " FROM links WHERE domain = ?7 AND code > ?1"
                   " AND (?2 IS NULL OR created >= ?2) AND (?3 IS NULL OR created < ?3)"
                   " AND (?4 IS NULL OR disabled = ?4) AND (?5 IS NULL OR owner = ?5) ORDER BY code LIMIT ?6");
    // a domain's keys share their prefix, so they sort as its codes do
    const std::string after = LinkKey(query.domain, query.after);
    list.Bind(1, after).Bind(2, query.createdFrom).Bind(3, query.createdBefore).Bind(7, query.domain);
    list.Bind(4, query.disabled ? std::optional<int64_t>(*query.disabled) : std::nullopt);
    list.BindMaybe(5, query.owner).Bind(6, int64_t(query.limit));
    std::vector<Link> links;
    while (list.Step()) {
      Link& link = links.emplace_back();
      SetKey(link, list.Text(0));
      ReadLink(list, 1, link);
    }
    return links;
  }

  bool AddKey(const KeyRecord& key) override {
    std::lock_guard lock(writerMutex_);
    Transaction transaction(writer_.db.get());
    Statement add(writer_.db.get(),
                  "INSERT INTO keys(name, role, digest, created) VALUES(?1, ?2, ?3, ?4) ON CONFLICT DO NOTHING");
    add.BindBlob(3, key.digest).Bind(1, key.name).Bind(2, key.role).Bind(4, key.created);
    add.Step();
    if (sqlite3_changes(writer_.db.get()) == 0) return false;
    NoteChange("key", key.name);
    transaction.Commit();
    return true;
  }

  std::vector<KeyRecord> ListKeys() override {
    Lease lease(*this);
    Statement all(lease->db.get(), "SELECT name, role, digest, created, revoked FROM keys ORDER BY name");
    std::vector<KeyRecord> keys;
    while (all.Step())
      keys.push_back({std::string(all.Text(0)), std::string(all.Text(1)), std::string(all.Blob(2)), all.Integer(3),
                      all.MaybeInteger(4)});
    return keys;
  }

  bool RevokeKey(std::string_view name, int64_t when) override {
    std::lock_guard lock(writerMutex_);
    Transaction transaction(writer_.db.get());
    Statement revoke(writer_.db.get(), "UPDATE keys SET revoked = ?2 WHERE name = ?1 AND revoked IS NULL");
    revoke.Bind(1, name).Bind(2, when).Step();
    if (sqlite3_changes(writer_.db.get()) == 0) return false;
    NoteChange("key", name);
    transaction.Commit();
    return true;
  }

  std::vector<ChangeNote> ChangesSince(int64_t seq, int limit) override {
    Lease lease(*this);
    Statement since(lease->db.get(), "SELECT seq, kind, name FROM changes WHERE seq > ?1 ORDER BY seq LIMIT ?2");
    ResetOnExit reset{since};
    since.Bind(1, seq).Bind(2, int64_t(limit));
    std::vector<ChangeNote> notes;
    while (since.Step()) notes.push_back({since.Integer(0), std::string(since.Text(1)), std::string(since.Text(2))});
    return notes;
  }

  int64_t LastChange() override {
    Lease lease(*this);
    Statement last(lease->db.get(), "SELECT coalesce(max(seq), 0) FROM changes");
    ResetOnExit reset{last};
    last.Step();
    return last.Integer(0);
  }

  bool DeleteLink(std::string_view code, std::string_view actor) override {
    std::lock_guard lock(writerMutex_);
    Transaction transaction(writer_.db.get());
    std::string address;
    if (options_.webhookTargets > 0) {
      Statement find(writer_.db.get(), "SELECT address FROM links WHERE code = ?1");
      find.Bind(1, code);
      if (find.Step()) address = std::string(find.Text(0));
    }
    {
      Statement& remove = *writer_.remove;
      ResetOnExit reset{remove};
      remove.Bind(1, code).Step();
    }
    if (sqlite3_changes(writer_.db.get()) == 0) return false;
    {
      Statement& removeDays = *writer_.removeDays;
      ResetOnExit reset{removeDays};
      removeDays.Bind(1, code).Step();
    }
    // a later link on the code is not released from anything
    Statement(writer_.db.get(), "DELETE FROM quarantine_releases WHERE code = ?1").Bind(1, code).Step();
    {
      Statement& freeing = *writer_.freeCode;
      ResetOnExit reset{freeing};
      freeing.Bind(1, code).Bind(2, Now()).Step();
    }
    NoteChange("link", code);
    AddEvents("link.deleted", code, address, actor);
    transaction.Commit();
    return true;
  }

  std::optional<Link> FindCode(std::string_view code) override {
    Lease lease(*this);
    Statement& find = *lease->findCode;
    ResetOnExit reset{find};
    find.Bind(1, code);
    if (!find.Step()) return std::nullopt;
    Link link;
    SetKey(link, code);
    ReadLink(find, 0, link);
    return link;
  }

  std::optional<std::string> FindAddress(std::string_view address, std::string_view domain) override {
    Lease lease(*this);
    Statement& find = *lease->findAddress;
    ResetOnExit reset{find};
    find.Bind(1, address).Bind(2, domain);
    if (!find.Step()) return std::nullopt;
    return std::string(SplitLinkKey(find.Text(0)).code);
  }

  std::vector<InsertResult> InsertIfAbsent(std::span<const NewLink> links) override {
    std::lock_guard lock(writerMutex_);
    std::vector<InsertResult> results;
    results.reserve(links.size());
    const int64_t heldAfter = Now() - options_.codeQuarantine;
    Transaction transaction(writer_.db.get());
    for (const NewLink& link : links) {
      {
        Statement& find = *writer_.findAddress;
        ResetOnExit reset{find};
        find.Bind(1, link.address).Bind(2, link.domain);
        if (find.Step()) {
          results.push_back({InsertResult::kAddressKnown, std::string(SplitLinkKey(find.Text(0)).code)});
          continue;
        }
      }
      const std::string key = LinkKey(link.domain, link.code);
      {
        Statement& find = *writer_.findCode;
        ResetOnExit reset{find};
        find.Bind(1, key);
        if (find.Step()) {
          results.push_back({InsertResult::kCodeTaken, {}});
          continue;
        }
      }
      if (options_.codeQuarantine > 0) {
        Statement& held = *writer_.findHeld;
        ResetOnExit reset{held};
        held.Bind(1, key).Bind(2, heldAfter);
        if (held.Step()) {
          results.push_back({InsertResult::kCodeHeld, {}});
          continue;
        }
      }
      Statement& insert = *writer_.insert;
      ResetOnExit reset{insert};
      insert.Bind(1, key).Bind(2, link.address).Bind(3, link.created).Bind(4, link.clicks).Bind(5, link.owner);
      insert.Bind(6, link.expires).Bind(7, link.maxClicks).Bind(8, link.title);
      const std::string tags = TagsColumn(link.tags);
      insert.Bind(9, tags).Bind(10, link.domain).Step();
      AddEvents("link.created", key, link.address, link.owner);
      results.push_back({InsertResult::kInserted, link.code});
    }
    transaction.Commit();
    return results;
  }

  void AddClicks(std::span<const ClickCount> counts, const ClickFlush& flush) override {
    if (counts.empty()) return;
    std::lock_guard lock(writerMutex_);
    Transaction transaction(writer_.db.get());
    if (!flush.id.empty()) {
      Statement applied(writer_.db.get(),
                        "INSERT INTO click_flushes(id, applied) VALUES(?1, unixepoch()) ON CONFLICT DO NOTHING");
      applied.Bind(1, flush.id).Step();
      if (sqlite3_changes(writer_.db.get()) == 0) return;  // counted before
      Statement(writer_.db.get(), "DELETE FROM click_flushes WHERE applied < unixepoch() - ?1")
          .Bind(1, kFlushIdsKeptSeconds)
          .Step();
      Statement(writer_.db.get(), "DELETE FROM changes WHERE at < unixepoch() - ?1").Bind(1, kChangesKeptSeconds).Step();
      Statement prune(writer_.db.get(), "DELETE FROM freed_codes WHERE freed <= ?1");
      prune.Bind(1, Now() - options_.codeQuarantine).Step();
    }
    for (const ClickCount& count : counts) {
      {
        Statement& add = *writer_.addClicks;
        ResetOnExit reset{add};
        add.Bind(1, count.code).Bind(2, count.clicks);
        add.Step();
      }
      if (sqlite3_changes(writer_.db.get()) == 0) continue;  // no such link (any more)
      if (count.limited) NoteChange("link", count.code);
      if (flush.day < 0) continue;
      Statement& daily = *writer_.addDaily;
      ResetOnExit reset{daily};
      daily.Bind(1, count.code).Bind(2, flush.day).Bind(3, count.clicks);
      daily.Step();
    }
    transaction.Commit();
  }

  std::vector<DayCount> ClicksByDay(std::string_view code, int64_t fromDay, int64_t toDay) override {
    Lease lease(*this);
    Statement days(lease->db.get(),
                   "SELECT day, clicks FROM daily_clicks WHERE code = ?1 AND day BETWEEN ?2 AND ?3 ORDER BY day");
    days.Bind(1, code).Bind(2, fromDay).Bind(3, toDay);
    std::vector<DayCount> counts;
    while (days.Step()) counts.push_back({days.Integer(0), days.Integer(1)});
    return counts;
  }

  void ForEachLink(const std::function<bool(const Link&)>& visit) override {
    Lease lease(*this);
    // the primary key's order, which is byte order (BINARY collation)
    Statement all(lease->db.get(), "SELECT code, " SNIPORA_LINK_COLUMNS " FROM links ORDER BY code");
    ResetOnExit reset{all};
    Link link;
    while (all.Step()) {
      SetKey(link, all.Text(0));
      ReadLink(all, 1, link);
      if (!visit(link)) return;
    }
  }

  void ForEachFreedCode(const std::function<bool(const FreedCode&)>& visit) override {
    Lease lease(*this);
    Statement all(lease->db.get(), "SELECT code, freed FROM freed_codes ORDER BY code");
    ResetOnExit reset{all};
    while (all.Step())
      if (!visit({std::string(all.Text(0)), all.Integer(1)})) return;
  }

  void AddFreedCodes(std::span<const FreedCode> codes) override {
    if (codes.empty()) return;
    std::lock_guard lock(writerMutex_);
    Transaction transaction(writer_.db.get());
    for (const FreedCode& freed : codes) {
      Statement& freeing = *writer_.freeCode;
      ResetOnExit reset{freeing};
      freeing.Bind(1, freed.code).Bind(2, freed.freed).Step();
    }
    transaction.Commit();
  }

  std::vector<FeedVersion> ListFeedVersions() override {
    Lease lease(*this);
    Statement all(lease->db.get(), "SELECT name, body, etag, last_modified, fetched FROM threat_feeds ORDER BY name");
    std::vector<FeedVersion> versions;
    while (all.Step())
      versions.push_back({std::string(all.Text(0)), std::string(all.Blob(1)), std::string(all.Text(2)),
                          std::string(all.Text(3)), all.Integer(4)});
    return versions;
  }

  bool SaveFeedVersion(const FeedVersion& version) override {
    std::lock_guard lock(writerMutex_);
    Transaction transaction(writer_.db.get());
    bool same = false;
    {
      Statement stored(writer_.db.get(), "SELECT body = ?2 FROM threat_feeds WHERE name = ?1");
      stored.Bind(1, version.name).BindBlob(2, version.body);
      same = stored.Step() && stored.Integer(0) != 0;
    }
    Statement save(writer_.db.get(),
                   "INSERT INTO threat_feeds(name, body, etag, last_modified, fetched) VALUES(?1, ?2, ?3, ?4, ?5)"
                   " ON CONFLICT(name) DO UPDATE SET body = excluded.body, etag = excluded.etag,"
                   " last_modified = excluded.last_modified, fetched = excluded.fetched");
    save.Bind(1, version.name).BindBlob(2, version.body).Bind(3, version.etag).Bind(4, version.lastModified);
    save.Bind(5, version.fetched).Step();
    if (!same) NoteChange("feed", version.name);
    transaction.Commit();
    return !same;
  }

  std::vector<std::string> QuarantineLinks(std::span<const QuarantineAsk> asks) override {
    std::vector<std::string> put;
    if (asks.empty()) return put;
    std::lock_guard lock(writerMutex_);
    Transaction transaction(writer_.db.get());
    Statement quarantine(writer_.db.get(),
                         "UPDATE links SET quarantine = ?2 WHERE code = ?1 AND quarantine = '' AND NOT EXISTS"
                         " (SELECT 1 FROM quarantine_releases WHERE code = ?1 AND reason = ?2)");
    for (const QuarantineAsk& ask : asks) {
      {
        ResetOnExit reset{quarantine};
        quarantine.Bind(1, ask.key).Bind(2, ask.reason).Step();
      }
      if (sqlite3_changes(writer_.db.get()) == 0) continue;
      NoteChange("link", ask.key);
      AddEvents("link.quarantined", ask.key, AddressOf(ask.key), ask.reason);
      put.push_back(ask.key);
    }
    transaction.Commit();
    return put;
  }

  bool ReleaseLink(std::string_view key, std::string_view actor) override {
    std::lock_guard lock(writerMutex_);
    Transaction transaction(writer_.db.get());
    std::string reason;
    {
      Statement find(writer_.db.get(), "SELECT quarantine FROM links WHERE code = ?1");
      find.Bind(1, key);
      if (!find.Step()) return false;
      reason = find.Text(0);
    }
    if (reason.empty()) return false;
    Statement(writer_.db.get(),
              "INSERT INTO quarantine_releases(code, reason, released) VALUES(?1, ?2, unixepoch())"
              " ON CONFLICT DO NOTHING")
        .Bind(1, key)
        .Bind(2, std::string_view(reason))
        .Step();
    Statement(writer_.db.get(), "UPDATE links SET quarantine = '' WHERE code = ?1").Bind(1, key).Step();
    NoteChange("link", key);
    AddEvents("link.released", key, AddressOf(key), actor);
    transaction.Commit();
    return true;
  }

  std::vector<OutboxEvent> ClaimEvents(int64_t now, int64_t lease, int limit) override {
    std::lock_guard lock(writerMutex_);
    Transaction transaction(writer_.db.get());
    Statement claim(writer_.db.get(),
                    "UPDATE webhook_outbox SET leased = ?1 + ?2 WHERE id IN (SELECT id FROM webhook_outbox o"
                    " WHERE due <= ?1 AND leased <= ?1 AND id = (SELECT min(id) FROM webhook_outbox p"
                    " WHERE p.target = o.target AND p.code = o.code) ORDER BY id LIMIT ?3)"
                    " RETURNING id, target, event, code, address, actor, at, attempts");
    claim.Bind(1, now).Bind(2, lease).Bind(3, int64_t(limit));
    std::vector<OutboxEvent> events;
    while (claim.Step())
      events.push_back({claim.Integer(0), claim.Integer(1), std::string(claim.Text(2)), std::string(claim.Text(3)),
                        std::string(claim.Text(4)), std::string(claim.Text(5)), claim.Integer(6), claim.Integer(7)});
    claim.Reset();
    transaction.Commit();
    std::sort(events.begin(), events.end(), [](const OutboxEvent& a, const OutboxEvent& b) { return a.id < b.id; });
    return events;
  }

  void AddEvent(std::string_view event, std::string_view key, std::string_view actor) override {
    if (options_.webhookTargets <= 0) return;
    std::lock_guard lock(writerMutex_);
    Transaction transaction(writer_.db.get());
    AddEvents(event, key, "", actor);
    transaction.Commit();
  }

  void EventDone(int64_t id) override {
    std::lock_guard lock(writerMutex_);
    Statement(writer_.db.get(), "DELETE FROM webhook_outbox WHERE id = ?1").Bind(1, id).Step();
  }

  void EventRetry(int64_t id, int64_t due) override {
    std::lock_guard lock(writerMutex_);
    Statement(writer_.db.get(), "UPDATE webhook_outbox SET attempts = attempts + 1, due = ?2, leased = 0 WHERE id = ?1")
        .Bind(1, id)
        .Bind(2, due)
        .Step();
  }

  StoreHealth Health() override {
    try {
      Lease lease(*this);
      Statement probe(lease->db.get(), "SELECT count(*) FROM sqlite_schema");
      if (!probe.Step()) return StoreHealth::kUnreachable;
      // a file the service may not write is opened read-only without a word
      return sqlite3_db_readonly(lease->db.get(), "main") == 1 ? StoreHealth::kReadOnly : StoreHealth::kOk;
    } catch (const StoreError&) {
      return StoreHealth::kUnreachable;
    }
  }

 private:
  // A reading connection for the time of one call: reads never wait behind
  // the writer's commit (WAL), nor behind each other. Read-write, because a
  // read-only connection cannot recover the WAL index after a killed writer.
  class Lease {
   public:
    explicit Lease(SqliteStore& store) : store_(store) {
      {
        std::lock_guard lock(store.readersMutex_);
        if (!store.idleReaders_.empty()) {
          connection_ = std::move(store.idleReaders_.back());
          store.idleReaders_.pop_back();
        }
      }
      if (!connection_) {
        connection_ = std::make_unique<Connection>(store.path_);
        connection_->Prepare();
      }
    }
    ~Lease() {
      std::lock_guard lock(store_.readersMutex_);
      if (store_.idleReaders_.size() < kMaxIdleReaders) store_.idleReaders_.push_back(std::move(connection_));
    }
    Connection* operator->() { return connection_.get(); }

   private:
    SqliteStore& store_;
    std::unique_ptr<Connection> connection_;
  };
  static constexpr std::size_t kMaxIdleReaders = 8;

  int64_t Now() const { return options_.now ? options_.now() : int64_t(std::time(nullptr)); }

  // Inside the writer's transaction.
  void NoteChange(std::string_view kind, std::string_view name) {
    Statement& note = *writer_.noteChange;
    ResetOnExit reset{note};
    note.Bind(1, kind).Bind(2, name).Step();
  }

  // Inside the writer's transaction: the event for every receiver.
  void AddEvents(std::string_view event, std::string_view key, std::string_view address, std::string_view actor) {
    if (options_.webhookTargets <= 0) return;
    Statement add(writer_.db.get(),
                  "INSERT INTO webhook_outbox(target, event, code, address, actor, at, due) VALUES(?1, ?2, ?3, ?4, ?5,"
                  " ?6, ?6)");
    const int64_t now = Now();
    for (int64_t target = 0; target < options_.webhookTargets; ++target) {
      add.Bind(1, target).Bind(2, event).Bind(3, key).Bind(4, address).Bind(5, actor).Bind(6, now).Step();
      add.Reset();
    }
  }
  // Inside the writer's transaction: a link's address ("" when absent).
  std::string AddressOf(std::string_view key) {
    if (options_.webhookTargets <= 0) return {};
    Statement find(writer_.db.get(), "SELECT address FROM links WHERE code = ?1");
    find.Bind(1, key);
    return find.Step() ? std::string(find.Text(0)) : std::string();
  }

  std::string path_;
  const StoreOptions options_;
  std::mutex writerMutex_;
  Connection writer_;
  std::optional<SqliteCheckpointer> checkpointer_;  // before the writer closes, it stops
  std::mutex readersMutex_;
  std::vector<std::unique_ptr<Connection>> idleReaders_;
};

}  // namespace

std::unique_ptr<Store> OpenSqliteStore(const std::string& path, const StoreOptions& options) {
  return std::make_unique<SqliteStore>(path, options);
}

int SqliteSchemaVersion() { return kSchemaVersion; }

}  // namespace snipora::service
