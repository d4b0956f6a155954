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
    // 6: analytics (tallies.h): a day's counts by kind and name, the
    // registers of its different-visitor sketch, the day's salt; by day too,
    // for the retention's removal
    "CREATE TABLE day_tallies(code TEXT NOT NULL, day INTEGER NOT NULL, kind TEXT NOT NULL, name TEXT NOT NULL,"
    " count INTEGER NOT NULL, PRIMARY KEY(code, day, kind, name)) WITHOUT ROWID;"
    "CREATE INDEX day_tallies_day ON day_tallies(day);"
    "CREATE TABLE day_registers(code TEXT NOT NULL, day INTEGER NOT NULL, reg INTEGER NOT NULL,"
    " rank INTEGER NOT NULL, PRIMARY KEY(code, day, reg)) WITHOUT ROWID;"
    "CREATE INDEX day_registers_day ON day_registers(day);"
    "CREATE TABLE day_salts(day INTEGER PRIMARY KEY, salt BLOB NOT NULL);"
    "CREATE INDEX daily_clicks_day ON daily_clicks(day)",
    // 7: abuse screening: the threat feeds' versions every instance applies;
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
    // 8: the console's people and their sessions (people.h)
    "CREATE TABLE people(id INTEGER PRIMARY KEY, issuer TEXT NOT NULL, subject TEXT NOT NULL,"
    " name TEXT NOT NULL DEFAULT '', email TEXT NOT NULL DEFAULT '', role TEXT NOT NULL,"
    " locked INTEGER NOT NULL DEFAULT 0, first_seen INTEGER NOT NULL, last_seen INTEGER NOT NULL,"
    " UNIQUE(issuer, subject));"
    "CREATE TABLE sessions(digest BLOB PRIMARY KEY, person INTEGER NOT NULL, created INTEGER NOT NULL,"
    " last_seen INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE INDEX sessions_person ON sessions(person);"
    // the console's substring search: an FTS5 trigram index of each link's
    // code, address, title and tags. FTS5 needs an integer row id, which a
    // table without row ids lacks, so link_search gives each link one; the
    // index reads its text through the view and is kept by the triggers.
    "CREATE TABLE link_search(id INTEGER PRIMARY KEY, code TEXT NOT NULL UNIQUE);"
    "CREATE VIEW link_search_text AS SELECT s.id AS id, l.code AS code, l.address AS address, l.title AS title,"
    " l.tags AS tags FROM link_search s JOIN links l ON l.code = s.code;"
    "CREATE VIRTUAL TABLE link_text USING fts5(code, address, title, tags, content='link_search_text',"
    " content_rowid='id', tokenize='trigram');"
    "CREATE TRIGGER link_text_insert AFTER INSERT ON links BEGIN"
    " INSERT INTO link_search(code) VALUES(new.code);"
    " INSERT INTO link_text(rowid, code, address, title, tags)"
    "  SELECT id, new.code, new.address, new.title, new.tags FROM link_search WHERE code = new.code; END;"
    "CREATE TRIGGER link_text_update AFTER UPDATE OF code, address, title, tags ON links BEGIN"
    " INSERT INTO link_text(link_text, rowid, code, address, title, tags)"
    "  SELECT 'delete', id, old.code, old.address, old.title, old.tags FROM link_search WHERE code = old.code;"
    " UPDATE link_search SET code = new.code WHERE code = old.code;"
    " INSERT INTO link_text(rowid, code, address, title, tags)"
    "  SELECT id, new.code, new.address, new.title, new.tags FROM link_search WHERE code = new.code; END;"
    "CREATE TRIGGER link_text_delete AFTER DELETE ON links BEGIN"
    " INSERT INTO link_text(link_text, rowid, code, address, title, tags)"
    "  SELECT 'delete', id, old.code, old.address, old.title, old.tags FROM link_search WHERE code = old.code;"
    " DELETE FROM link_search WHERE code = old.code; END;"
    "INSERT INTO link_search(code) SELECT code FROM links;"
    "INSERT INTO link_text(link_text) VALUES('rebuild')",
};
// The columns of a Person, in the order ReadPerson takes them.
#define SNIPORA_PERSON_COLUMNS "id, issuer, subject, name, email, role, locked, first_seen, last_seen"
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

// FTS5's query of one phrase: the trigram tokenizer finds it as a substring
// of any column; a quote inside is doubled.
std::string PhraseQuery(std::string_view text) {
  std::string phrase = "\"";
  for (const char c : text) phrase += c == '"' ? std::string("\"\"") : std::string(1, c);
  return phrase + '"';
}

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

// A person's columns from `first` on (SNIPORA_PERSON_COLUMNS).
Person ReadPerson(Statement& row, int first) {
  return {row.Integer(first),       std::string(row.Text(first + 1)), std::string(row.Text(first + 2)),
          std::string(row.Text(first + 3)), std::string(row.Text(first + 4)), std::string(row.Text(first + 5)),
          row.Integer(first + 6) != 0, row.Integer(first + 7),      row.Integer(first + 8)};
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
    // (analytics of a link gone meanwhile are dropped: WriteTallies)
    addTally.emplace(db.get(),
                     "INSERT INTO day_tallies(code, day, kind, name, count) VALUES(?1, ?2, ?3, ?4, ?5)"
                     " ON CONFLICT(code, day, kind, name) DO UPDATE SET count = count + excluded.count");
    raiseRegister.emplace(db.get(),
                          "INSERT INTO day_registers(code, day, reg, rank) VALUES(?1, ?2, ?3, ?4)"
                          " ON CONFLICT(code, day, reg) DO UPDATE SET rank = max(rank, excluded.rank)");
  }

  Database db;
  std::optional<Statement> findCode, findAddress, insert, addClicks;
  std::optional<Statement> change, remove, removeDays, noteChange, addDaily, freeCode, findHeld;
  std::optional<Statement> addTally, raiseRegister;
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
    // "+domain": SQLite otherwise walks the (domain, address) index and sorts
    // every link of the domain for each page; the codes' order needs no sort.
    // A search starts from the index's matches instead and sorts those.
#define SNIPORA_LIST_FILTERS                                                                    \
  " +domain = ?7 AND code > ?1 AND (?2 IS NULL OR created >= ?2) AND (?3 IS NULL OR created < ?3)" \
  " AND (?4 IS NULL OR disabled = ?4) AND (?5 IS NULL OR owner = ?5) ORDER BY code LIMIT ?6"
    Statement list(lease->db.get(),
                   query.text.empty()
                       ? "SELECT code, " SNIPORA_LINK_COLUMNS " FROM links WHERE" SNIPORA_LIST_FILTERS
                       : "SELECT code, " SNIPORA_LINK_COLUMNS " FROM (SELECT s.code AS hit FROM link_text"
                         " CROSS JOIN link_search s ON s.id = link_text.rowid WHERE link_text MATCH ?8)"
                         " CROSS JOIN links ON links.code = hit WHERE" SNIPORA_LIST_FILTERS);
#undef SNIPORA_LIST_FILTERS
    if (!query.text.empty()) list.Bind(8, PhraseQuery(query.text));
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
    Statement(writer_.db.get(), "DELETE FROM day_tallies WHERE code = ?1").Bind(1, code).Step();
    Statement(writer_.db.get(), "DELETE FROM day_registers WHERE code = ?1").Bind(1, code).Step();
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
    if (counts.empty() && (!flush.tallies || flush.tallies->empty())) return;
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
    if (flush.tallies) WriteTallies(*flush.tallies);
    transaction.Commit();
  }

  std::vector<TallyRow> TalliesByDay(std::string_view code, int64_t fromDay, int64_t toDay) override {
    Lease lease(*this);
    Statement rows(lease->db.get(),
                   "SELECT day, kind, name, count FROM day_tallies WHERE code = ?1 AND day BETWEEN ?2 AND ?3"
                   " ORDER BY day, kind, name");
    rows.Bind(1, code).Bind(2, fromDay).Bind(3, toDay);
    std::vector<TallyRow> tallies;
    while (rows.Step())
      tallies.push_back({std::string(code), rows.Integer(0), std::string(rows.Text(1)), std::string(rows.Text(2)),
                         rows.Integer(3)});
    return tallies;
  }

  std::vector<RegisterRow> RegistersByDay(std::string_view code, int64_t fromDay, int64_t toDay) override {
    Lease lease(*this);
    Statement rows(lease->db.get(),
                   "SELECT day, reg, rank FROM day_registers WHERE code = ?1 AND day BETWEEN ?2 AND ?3 ORDER BY day, reg");
    rows.Bind(1, code).Bind(2, fromDay).Bind(3, toDay);
    std::vector<RegisterRow> registers;
    while (rows.Step())
      registers.push_back({std::string(code), rows.Integer(0), int(rows.Integer(1)), int(rows.Integer(2))});
    return registers;
  }

  std::string DaySalt(int64_t day, std::string_view candidate) override {
    std::lock_guard lock(writerMutex_);
    Transaction transaction(writer_.db.get());
    Statement(writer_.db.get(), "INSERT INTO day_salts(day, salt) VALUES(?1, ?2) ON CONFLICT DO NOTHING")
        .Bind(1, day)
        .BindBlob(2, candidate)
        .Step();
    Statement(writer_.db.get(), "DELETE FROM day_salts WHERE day < ?1").Bind(1, day).Step();
    Statement read(writer_.db.get(), "SELECT salt FROM day_salts WHERE day = ?1");
    read.Bind(1, day).Step();
    std::string salt(read.Blob(0));
    read.Reset();
    transaction.Commit();
    return salt;
  }

  int64_t RemoveTalliesBefore(TallyFamily family, int64_t beforeDay, int limit) override {
    // each statement removes at most what is left of the step's rows
    static constexpr const char* kDimensions[] = {
        "DELETE FROM day_tallies WHERE (code, day, kind, name) IN (SELECT code, day, kind, name FROM day_tallies"
        " WHERE day < ?1 AND kind NOT IN ('bots', 'qr') LIMIT ?2)",
        "DELETE FROM day_registers WHERE (code, day, reg) IN (SELECT code, day, reg FROM day_registers"
        " WHERE day < ?1 LIMIT ?2)"};
    static constexpr const char* kTotals[] = {
        "DELETE FROM daily_clicks WHERE (code, day) IN (SELECT code, day FROM daily_clicks WHERE day < ?1 LIMIT ?2)",
        "DELETE FROM day_tallies WHERE (code, day, kind, name) IN (SELECT code, day, kind, name FROM day_tallies"
        " WHERE day < ?1 AND kind IN ('bots', 'qr') LIMIT ?2)"};
    std::lock_guard lock(writerMutex_);
    Transaction transaction(writer_.db.get());
    int64_t removed = 0;
    for (const char* sql : family == TallyFamily::kDimensions ? kDimensions : kTotals) {
      if (removed >= limit) break;
      Statement(writer_.db.get(), sql).Bind(1, beforeDay).Bind(2, int64_t(limit) - removed).Step();
      removed += sqlite3_changes(writer_.db.get());
    }
    transaction.Commit();
    return removed;
  }

  void ForEachTally(const std::function<bool(const Tallies&)>& visit) override {
    constexpr std::size_t kPage = 5000;
    Lease lease(*this);
    Tallies page;
    Statement counts(lease->db.get(), "SELECT code, day, kind, name, count FROM day_tallies ORDER BY code, day");
    while (counts.Step()) {
      page.counts.push_back({std::string(counts.Text(0)), counts.Integer(1), std::string(counts.Text(2)),
                             std::string(counts.Text(3)), counts.Integer(4)});
      if (page.counts.size() == kPage) {
        if (!visit(page)) return counts.Reset();
        page = {};
      }
    }
    Statement registers(lease->db.get(), "SELECT code, day, reg, rank FROM day_registers ORDER BY code, day");
    while (registers.Step()) {
      page.registers.push_back({std::string(registers.Text(0)), registers.Integer(1), int(registers.Integer(2)),
                                int(registers.Integer(3))});
      if (page.registers.size() == kPage) {
        if (!visit(page)) return registers.Reset();
        page = {};
      }
    }
    if (!page.empty()) visit(page);
  }

  void AddTallies(const Tallies& tallies) override {
    if (tallies.empty()) return;
    std::lock_guard lock(writerMutex_);
    Transaction transaction(writer_.db.get());
    WriteTallies(tallies);
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

  Person SeePerson(const SignInSays& says) override {
    std::lock_guard lock(writerMutex_);
    Transaction transaction(writer_.db.get());
    Statement see(writer_.db.get(),
                  "INSERT INTO people(issuer, subject, name, email, role, first_seen, last_seen)"
                  " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?6) ON CONFLICT(issuer, subject) DO UPDATE SET name = excluded.name,"
                  " email = excluded.email, role = excluded.role, last_seen = excluded.last_seen"
                  " RETURNING " SNIPORA_PERSON_COLUMNS);
    see.Bind(1, says.issuer).Bind(2, says.subject).Bind(3, says.name).Bind(4, says.email).Bind(5, says.role);
    see.Bind(6, says.at);
    if (!see.Step()) throw StoreError("a person's row was not returned");
    Person person = ReadPerson(see, 0);
    see.Reset();
    transaction.Commit();
    return person;
  }

  std::optional<Person> FindPerson(int64_t id) override {
    Lease lease(*this);
    Statement find(lease->db.get(), "SELECT " SNIPORA_PERSON_COLUMNS " FROM people WHERE id = ?1");
    find.Bind(1, id);
    if (!find.Step()) return std::nullopt;
    return ReadPerson(find, 0);
  }

  std::vector<Person> ListPeople() override {
    Lease lease(*this);
    Statement all(lease->db.get(), "SELECT " SNIPORA_PERSON_COLUMNS " FROM people ORDER BY id");
    std::vector<Person> people;
    while (all.Step()) people.push_back(ReadPerson(all, 0));
    return people;
  }

  bool ChangePerson(int64_t id, const PersonChange& change) override {
    std::lock_guard lock(writerMutex_);
    Transaction transaction(writer_.db.get());
    Statement update(writer_.db.get(),
                     "UPDATE people SET role = coalesce(?2, role), locked = coalesce(?3, locked) WHERE id = ?1");
    update.Bind(1, id).BindMaybe(2, change.role);
    update.Bind(3, change.locked ? std::optional<int64_t>(*change.locked) : std::nullopt).Step();
    if (sqlite3_changes(writer_.db.get()) == 0) return false;
    if (change.locked.value_or(false))
      Statement(writer_.db.get(), "DELETE FROM sessions WHERE person = ?1").Bind(1, id).Step();
    NoteChange("person", std::to_string(id));
    transaction.Commit();
    return true;
  }

  void AddSession(const SessionRecord& session) override {
    std::lock_guard lock(writerMutex_);
    Statement add(writer_.db.get(), "INSERT INTO sessions(digest, person, created, last_seen) VALUES(?1, ?2, ?3, ?4)");
    add.BindBlob(1, session.digest).Bind(2, session.person).Bind(3, session.created).Bind(4, session.lastSeen).Step();
  }

  std::optional<SignedIn> FindSession(std::string_view digest) override {
    Lease lease(*this);
    Statement find(lease->db.get(),
                   "SELECT s.person, s.created, s.last_seen, p.id, p.issuer, p.subject, p.name, p.email, p.role,"
                   " p.locked, p.first_seen, p.last_seen FROM sessions s JOIN people p ON p.id = s.person"
                   " WHERE s.digest = ?1");
    find.BindBlob(1, digest);
    if (!find.Step()) return std::nullopt;
    return SignedIn{{std::string(digest), find.Integer(0), find.Integer(1), find.Integer(2)}, ReadPerson(find, 3)};
  }

  void TouchSession(std::string_view digest, int64_t at) override {
    std::lock_guard lock(writerMutex_);
    Statement touch(writer_.db.get(), "UPDATE sessions SET last_seen = max(last_seen, ?2) WHERE digest = ?1");
    touch.BindBlob(1, digest).Bind(2, at).Step();
  }

  void EndSession(std::string_view digest) override {
    std::lock_guard lock(writerMutex_);
    Statement(writer_.db.get(), "DELETE FROM sessions WHERE digest = ?1").BindBlob(1, digest).Step();
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
  void WriteTallies(const Tallies& tallies) {
    // the rows come by link: whether it exists is asked once for each
    std::string_view checked;
    bool exists = false;
    Statement& find = *writer_.findCode;
    const auto linkExists = [&](std::string_view code) {
      if (code.data() == checked.data() || code == checked) return exists;
      ResetOnExit reset{find};
      find.Bind(1, code);
      exists = find.Step();
      checked = code;
      return exists;
    };
    for (const TallyRow& row : tallies.counts) {
      if (row.code != kUnknownCodes && !linkExists(row.code)) continue;
      Statement& add = *writer_.addTally;
      ResetOnExit reset{add};
      add.Bind(1, row.code).Bind(2, row.day).Bind(3, row.kind).Bind(4, row.name).Bind(5, row.count).Step();
    }
    for (const RegisterRow& row : tallies.registers) {
      if (!linkExists(row.code)) continue;
      Statement& raise = *writer_.raiseRegister;
      ResetOnExit reset{raise};
      raise.Bind(1, row.code).Bind(2, row.day).Bind(3, int64_t(row.index)).Bind(4, int64_t(row.rank)).Step();
    }
  }

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
