#include "service/store/postgres_store.h"

#include <endian.h>
#include <libpq-fe.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "service/base/log.h"
#include "service/store/stored_tags.h"

namespace snipora::service {
namespace {

using Clock = std::chrono::steady_clock;

// Each step takes the schema from the version before it to its own number
// (its index + 1); a new version is a new line here.
// The text the search index holds of a link (a match across two of its
// parts is checked again and dropped by the caller).
#define SNIPORA_LINK_TEXT "code || ' ' || encode(address, 'escape') || ' ' || encode(title, 'escape')"
constexpr const char* kMigrations[] = {
    "CREATE TABLE links(code text COLLATE \"C\" PRIMARY KEY, address bytea NOT NULL,"
    " created bigint NOT NULL, clicks bigint NOT NULL DEFAULT 0);"
    "CREATE UNIQUE INDEX links_address_digest ON links (sha256(address))",
    // 2: links have a life and an owner; keys; clicks per day; the flushes
    // of clicks applied (a flush retried after an unclear commit counts
    // once); a log of changes for instances that missed a notification.
    "ALTER TABLE links ADD COLUMN disabled boolean NOT NULL DEFAULT false,"
    " ADD COLUMN public_note text NOT NULL DEFAULT '', ADD COLUMN private_note text NOT NULL DEFAULT '',"
    " ADD COLUMN expires bigint, ADD COLUMN max_clicks bigint, ADD COLUMN owner text NOT NULL DEFAULT '';"
    "CREATE TABLE keys(name text COLLATE \"C\" PRIMARY KEY, role text NOT NULL, digest bytea NOT NULL UNIQUE,"
    " created bigint NOT NULL, revoked bigint);"
    "CREATE TABLE daily_clicks(code text COLLATE \"C\" NOT NULL, day bigint NOT NULL, clicks bigint NOT NULL,"
    " PRIMARY KEY(code, day));"
    "CREATE TABLE click_flushes(id text PRIMARY KEY, applied bigint NOT NULL);"
    "CREATE INDEX click_flushes_applied ON click_flushes(applied);"
    "CREATE TABLE changes(seq bigserial PRIMARY KEY, kind text NOT NULL, name text NOT NULL, at bigint NOT NULL);"
    "CREATE INDEX changes_at ON changes(at)",
    // 3: what the client that made a link said of it. The title is bytes, as
    // the address is: text refuses a NUL or a stray byte, and one such title
    // would fail the whole batch of creations it came in. The tags are JSON
    // (stored_tags.h), which has neither.
    "ALTER TABLE links ADD COLUMN title bytea NOT NULL DEFAULT '',"
    " ADD COLUMN tags text NOT NULL DEFAULT '[]'",
    // 4: the codes of deleted links, held back from new links for a while
    "CREATE TABLE freed_codes(code text COLLATE \"C\" PRIMARY KEY, freed bigint NOT NULL);"
    "CREATE INDEX freed_codes_freed ON freed_codes(freed)",
    // 5: several domains. The code column holds the link's key (store.h),
    // so every link made before stays where it was, on the default domain;
    // an address has one code per domain (its digest first: the creations
    // find a batch's addresses by digest alone).
    "ALTER TABLE links ADD COLUMN domain text COLLATE \"C\" NOT NULL DEFAULT '';"
    "DROP INDEX links_address_digest;"
    "CREATE UNIQUE INDEX links_address_digest ON links (sha256(address), domain)",
    // 6: analytics (tallies.h): a day's counts by kind and name, the
    // registers of its different-visitor sketch (merged by their maximum),
    // the day's salt; by day too, for the retention's removal
    "CREATE TABLE day_tallies(code text COLLATE \"C\" NOT NULL, day bigint NOT NULL, kind text NOT NULL,"
    " name text COLLATE \"C\" NOT NULL, count bigint NOT NULL, PRIMARY KEY(code, day, kind, name));"
    "CREATE INDEX day_tallies_day ON day_tallies(day);"
    "CREATE TABLE day_registers(code text COLLATE \"C\" NOT NULL, day bigint NOT NULL, reg integer NOT NULL,"
    " rank smallint NOT NULL, PRIMARY KEY(code, day, reg));"
    "CREATE INDEX day_registers_day ON day_registers(day);"
    "CREATE TABLE day_salts(day bigint PRIMARY KEY, salt bytea NOT NULL);"
    "CREATE INDEX daily_clicks_day ON daily_clicks(day)",
    // 7: abuse screening: the threat feeds' versions every instance applies;
    // a link under review, and the reasons an admin released it from; the
    // webhooks' outbox (the events of one link and receiver go in id order)
    "CREATE TABLE threat_feeds(name text COLLATE \"C\" PRIMARY KEY, body bytea NOT NULL,"
    " etag text NOT NULL DEFAULT '', last_modified text NOT NULL DEFAULT '', fetched bigint NOT NULL);"
    "ALTER TABLE links ADD COLUMN quarantine bytea NOT NULL DEFAULT '';"
    "CREATE TABLE quarantine_releases(code text COLLATE \"C\" NOT NULL, reason bytea NOT NULL,"
    " released bigint NOT NULL, PRIMARY KEY(code, reason));"
    "CREATE TABLE webhook_outbox(id bigserial PRIMARY KEY, target bigint NOT NULL, event text NOT NULL,"
    " code text COLLATE \"C\" NOT NULL, address bytea NOT NULL, actor bytea NOT NULL, at bigint NOT NULL,"
    " attempts bigint NOT NULL DEFAULT 0, due bigint NOT NULL, leased bigint NOT NULL DEFAULT 0);"
    "CREATE INDEX webhook_outbox_link ON webhook_outbox(target, code, id)",
    // 8: the console's people and their sessions (people.h)
    "CREATE TABLE people(id bigserial PRIMARY KEY, issuer text NOT NULL, subject text NOT NULL,"
    " name text NOT NULL DEFAULT '', email text NOT NULL DEFAULT '', role text NOT NULL,"
    " locked boolean NOT NULL DEFAULT false, first_seen bigint NOT NULL, last_seen bigint NOT NULL,"
    " UNIQUE(issuer, subject));"
    "CREATE TABLE sessions(digest bytea PRIMARY KEY, person bigint NOT NULL, created bigint NOT NULL,"
    " last_seen bigint NOT NULL);"
    "CREATE INDEX sessions_person ON sessions(person);"
    // the console's substring search: trigram indexes a case-blind LIKE uses,
    // one over the code, address and title together (one scan of the index,
    // not three), one over the tags. The address and title are bytes, so it
    // holds their escaped form (EscapedForm), in which a part's escaped form
    // is a part still; the code holds none of the bytes escaped.
    "CREATE EXTENSION IF NOT EXISTS pg_trgm;"
    "CREATE INDEX links_text ON links USING gin ((" SNIPORA_LINK_TEXT ") gin_trgm_ops);"
    "CREATE INDEX links_tags_text ON links USING gin (tags gin_trgm_ops)",
};
// The columns of a Person, in the order ReadPerson takes them.
#define SNIPORA_PERSON_COLUMNS "id, issuer, subject, name, email, role, locked::int4::int8, first_seen, last_seen"
// The columns of a Link after its code, in the order ReadLink takes them.
#define SNIPORA_LINK_COLUMNS \
  "address, created, clicks, disabled, public_note, private_note, expires, max_clicks, owner, title, tags, quarantine"
constexpr int kSchemaVersion = int(std::size(kMigrations));
// The advisory lock that serialises migrations (any fixed number of ours).
constexpr int64_t kMigrationLock = 0x736e69706f7261;

// Every statement a connection prepares, as data: its name is its index.
enum Query { kFindCode, kFindAddress, kInsert, kSettle, kAddClicks, kPage, kProbe, kFreeCodes, kQueryCount };
constexpr const char* kQueries[kQueryCount] = {
    "SELECT " SNIPORA_LINK_COLUMNS " FROM links WHERE code = $1::text",
    "SELECT code FROM links WHERE sha256(address) = sha256($1::bytea) AND domain = $2::text AND address = $1::bytea",
    "INSERT INTO links(code, address, created, clicks, owner, expires, max_clicks, title, tags, domain)"
    " SELECT v.code, v.address, v.created, v.clicks, v.owner, v.expires, v.max_clicks, v.title, v.tags, v.domain"
    " FROM unnest($1::text[], $2::bytea[], $3::int8[], $4::int8[], $5::text[], $6::int8[], $7::int8[],"
    " $8::bytea[], $9::text[], $11::text[]) AS v(code, address, created, clicks, owner, expires, max_clicks, title,"
    " tags, domain)"
    " WHERE NOT EXISTS (SELECT 1 FROM freed_codes f WHERE f.code = v.code AND f.freed > $10::int8)"
    " ON CONFLICT DO NOTHING RETURNING code, address",
    // the batch's addresses as stored, and (address null) its codes held
    // back: read after the insert, so a deletion it waited for is seen
    "SELECT l.code, l.address FROM links l"
    " WHERE sha256(l.address) IN (SELECT sha256(a) FROM unnest($1::bytea[]) a)"
    " UNION ALL SELECT f.code, NULL FROM freed_codes f WHERE f.code = ANY($2::text[]) AND f.freed > $3::int8",
    "UPDATE links SET clicks = links.clicks + v.n FROM unnest($1::text[], $2::int8[]) AS v(code, n)"
    " WHERE links.code = v.code",
    "SELECT code, " SNIPORA_LINK_COLUMNS " FROM links WHERE code > $1::text ORDER BY code LIMIT 2000",
    // a standby, or a server whose writes are refused (default_transaction_read_only)
    "SELECT pg_is_in_recovery() OR current_setting('transaction_read_only')::boolean",
    "INSERT INTO freed_codes(code, freed)"
    " SELECT v.code, max(v.freed) FROM unnest($1::text[], $2::int8[]) AS v(code, freed) GROUP BY v.code"
    " ON CONFLICT (code) DO UPDATE SET freed = greatest(freed_codes.freed, excluded.freed)",
};

constexpr auto kFirstBackoff = std::chrono::milliseconds(100);
// At most a second between attempts: a promoted standby is found within it
// (the failover drill), and one attempt a second is nothing to a database.
constexpr auto kLastBackoff = std::chrono::seconds(1);
constexpr int kDeadlockTries = 5;

struct FinishConnection {
  void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct ClearResult {
  void operator()(PGresult* result) const { PQclear(result); }
};
using ConnectionHandle = std::unique_ptr<PGconn, FinishConnection>;
using Result = std::unique_ptr<PGresult, ClearResult>;

// The cause an SQLSTATE names: class 53 is a lack of resources, 53100 the
// disk; 25006 a write refused by a read-only transaction (a standby).
StoreCause CauseOfState(std::string_view state) {
  if (state == "53100") return StoreCause::kFull;
  if (state == "25006") return StoreCause::kReadOnly;
  return StoreCause::kOther;
}

// A failed statement; `state` is its SQLSTATE ("" when the connection broke).
struct QueryFailed : StoreError {
  QueryFailed(const std::string& what, std::string sqlState)
      : StoreError(what, CauseOfState(sqlState)), state(std::move(sqlState)) {}
  std::string state;
};

// A parameter: text form (format 0, NUL-terminated) or raw bytes (format 1).
struct Param {
  std::string value;
  int format = 1;
  bool null = false;
};
Param Bytes(std::string_view value) { return {std::string(value), 1}; }

// LIKE's pattern of any text holding `part`: its own %, _ and \\ escaped.
std::string LikePattern(std::string_view part) {
  std::string pattern = "%";
  for (const char c : part) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return pattern + '%';
}
// What encode(bytes, 'escape') makes of bytes: a NUL and each byte of the
// high half as \ and three octal digits, a backslash doubled.
std::string EscapedForm(std::string_view bytes) {
  std::string escaped;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == 0 || byte >= 0x80) {
      const char octal[] = {'\\', char('0' + (byte >> 6)), char('0' + ((byte >> 3) & 7)), char('0' + (byte & 7))};
      escaped.append(octal, 4);
    } else {
      if (c == '\\') escaped += '\\';
      escaped += c;
    }
  }
  return escaped;
}
Param TextForm(std::string value) { return {std::move(value), 0}; }
Param MaybeInteger(std::optional<int64_t> value) {
  return value ? TextForm(std::to_string(*value)) : Param{{}, 0, true};
}

// Array literals in text form: {a,b,...}, each element written by `write`.
template <typename Item, typename Write>
std::string ArrayLiteral(const std::vector<Item>& items, Write write) {
  std::string out = "{";
  for (const Item& item : items) {
    if (out.size() > 1) out += ',';
    write(out, item);
  }
  return out + "}";
}
// Text elements quoted; bytea ones as quoted \x hex.
std::string TextArray(const std::vector<std::string_view>& items) {
  return ArrayLiteral(items, [](std::string& out, std::string_view item) {
    out += '"';
    for (char c : item) {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
    out += '"';
  });
}
std::string ByteaArray(const std::vector<std::string_view>& items) {
  return ArrayLiteral(items, [](std::string& out, std::string_view item) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\"\\\\x";
    for (unsigned char c : item) {
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
    out += '"';
  });
}
std::string IntegerArray(const std::vector<int64_t>& items) {
  return ArrayLiteral(items, [](std::string& out, int64_t item) { out += std::to_string(item); });
}
std::string MaybeIntegerArray(const std::vector<std::optional<int64_t>>& items) {
  return ArrayLiteral(items, [](std::string& out, const std::optional<int64_t>& item) {
    out += item ? std::to_string(*item) : "NULL";
  });
}

// Reading binary results.
std::string_view Value(const PGresult* result, int row, int column) {
  return {PQgetvalue(result, row, column), std::size_t(PQgetlength(result, row, column))};
}
int64_t Int8(const PGresult* result, int row, int column) {
  uint64_t big = 0;
  if (PQgetlength(result, row, column) != 8) throw StoreError("an integer column is not 8 bytes");
  std::memcpy(&big, PQgetvalue(result, row, column), 8);
  return int64_t(be64toh(big));
}

std::optional<int64_t> MaybeInt8(const PGresult* result, int row, int column) {
  if (PQgetisnull(result, row, column)) return std::nullopt;
  return Int8(result, row, column);
}
// A person's columns from `first` on (SNIPORA_PERSON_COLUMNS).
Person ReadPerson(const PGresult* result, int row, int first) {
  const auto text = [&](int column) { return std::string(Value(result, row, first + column)); };
  return {Int8(result, row, first), text(1), text(2), text(3), text(4), text(5), Int8(result, row, first + 6) != 0,
          Int8(result, row, first + 7), Int8(result, row, first + 8)};
}

// A link's columns from `first` on (SNIPORA_LINK_COLUMNS).
void ReadLink(const PGresult* result, int row, int first, Link& link) {
  link.address = Value(result, row, first);
  link.created = Int8(result, row, first + 1);
  link.clicks = Int8(result, row, first + 2);
  link.disabled = PQgetlength(result, row, first + 3) == 1 && *PQgetvalue(result, row, first + 3) != 0;
  link.publicNote = Value(result, row, first + 4);
  link.privateNote = Value(result, row, first + 5);
  link.expires = MaybeInt8(result, row, first + 6);
  link.maxClicks = MaybeInt8(result, row, first + 7);
  link.owner = Value(result, row, first + 8);
  link.title = Value(result, row, first + 9);
  link.tags = TagsOfColumn(Value(result, row, first + 10));
  link.quarantine = Value(result, row, first + 11);
}

// The parameters as libpq takes them: three arrays side by side.
struct ParamArrays {
  explicit ParamArrays(const std::vector<Param>& params) {
    for (const Param& param : params) {
      values.push_back(param.null ? nullptr : param.value.c_str());
      lengths.push_back(int(param.value.size()));
      formats.push_back(param.format);
    }
  }
  int count() const { return int(values.size()); }
  std::vector<const char*> values;
  std::vector<int> lengths, formats;
};

// One connection and its prepared statements; used by one thread at a time.
class Session {
 public:
  explicit Session(const std::string& address) {
    // Bounds on waiting for a database that went silent (a cut network
    // rather than a refusal): a connection attempt, and unanswered packets
    // of a connection. The caller's own settings, given in the address, win.
    const char* keys[] = {"connect_timeout", "tcp_user_timeout", "keepalives_idle", "keepalives_interval",
                          "keepalives_count", "application_name", "dbname", nullptr};
    const char* values[] = {"3", "10000", "10", "3", "3", "snipora-service", address.c_str(), nullptr};
    connection_.reset(PQconnectdbParams(keys, values, 1));
    if (!connection_) throw StoreError("out of memory for a database connection");
    if (PQstatus(connection_.get()) != CONNECTION_OK) throw StoreError(Message("connect"));
  }

  void Prepare() {
    for (int query = 0; query < kQueryCount; ++query) {
      const std::string name = "q" + std::to_string(query);
      Check(Result(PQprepare(connection_.get(), name.c_str(), kQueries[query], 0, nullptr)), PGRES_COMMAND_OK,
            "prepare");
    }
  }

  Result Run(Query query, const std::vector<Param>& params) {
    const std::string name = "q" + std::to_string(int(query));
    const ParamArrays arrays(params);
    Result result(PQexecPrepared(connection_.get(), name.c_str(), arrays.count(), arrays.values.data(),
                                 arrays.lengths.data(), arrays.formats.data(), 1));
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    return Check(std::move(result), status == PGRES_TUPLES_OK ? PGRES_TUPLES_OK : PGRES_COMMAND_OK, kQueries[query]);
  }

  // A statement without parameters nor rows (BEGIN, COMMIT, the migrations).
  void Execute(const char* sql) { Check(Result(PQexec(connection_.get(), sql)), PGRES_COMMAND_OK, sql); }
  Result ExecuteParams(const char* sql, const std::vector<Param>& params, ExecStatusType expected) {
    const ParamArrays arrays(params);
    return Check(Result(PQexecParams(connection_.get(), sql, arrays.count(), nullptr, arrays.values.data(),
                                     arrays.lengths.data(), arrays.formats.data(), 1)),
                 expected, sql);
  }

  PGconn* raw() const { return connection_.get(); }

  // Whether it can serve another call: connected, and no transaction left open.
  bool Reusable() const {
    return PQstatus(connection_.get()) == CONNECTION_OK && PQtransactionStatus(connection_.get()) == PQTRANS_IDLE;
  }

 private:
  std::string Message(std::string_view what) const {
    std::string message = PQerrorMessage(connection_.get());
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    return std::string(what) + ": " + message;
  }
  Result Check(Result result, ExecStatusType expected, std::string_view what) {
    if (result && PQresultStatus(result.get()) == expected) return result;
    const char* state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
    throw QueryFailed(Message(what.substr(0, 60)), state ? state : "");
  }

  ConnectionHandle connection_;
};

class Transaction {
 public:
  explicit Transaction(Session& session) : session_(session) { session.Execute("BEGIN"); }
  ~Transaction() {
    if (!done_) {
      try {
        session_.Execute("ROLLBACK");
      } catch (const StoreError&) {
        // a broken connection has no transaction left; it is not reused
      }
    }
  }
  void Commit() {
    done_ = true;
    session_.Execute("COMMIT");
  }

 private:
  Session& session_;
  bool done_ = false;
};

// The schema's version, read without writing (0: none yet).
int64_t SchemaVersion(Session& session) {
  const Result table =
      session.ExecuteParams("SELECT to_regclass('snipora_schema') IS NOT NULL", {}, PGRES_TUPLES_OK);
  if (!(PQgetlength(table.get(), 0, 0) == 1 && *PQgetvalue(table.get(), 0, 0) != 0)) return 0;
  const Result version = session.ExecuteParams("SELECT max(version)::int8 FROM snipora_schema", {}, PGRES_TUPLES_OK);
  return PQgetisnull(version.get(), 0, 0) ? 0 : Int8(version.get(), 0, 0);
}

void Migrate(Session& session) {
  // A schema that is this program's is left alone, unlocked and unwritten:
  // an instance may start on a standby (it redirects; /healthz says why it
  // does not create) and go on once the standby is promoted.
  if (SchemaVersion(session) == kSchemaVersion) return;
  Transaction transaction(session);
  session.ExecuteParams("SELECT pg_advisory_xact_lock($1::int8)", {TextForm(std::to_string(kMigrationLock))},
                        PGRES_TUPLES_OK);
  session.Execute("CREATE TABLE IF NOT EXISTS snipora_schema(version bigint NOT NULL)");
  const Result version = session.ExecuteParams("SELECT max(version)::int8 FROM snipora_schema", {}, PGRES_TUPLES_OK);
  const int64_t found = PQgetisnull(version.get(), 0, 0) ? 0 : Int8(version.get(), 0, 0);
  if (found > kSchemaVersion)
    throw StoreError("the database has schema version " + std::to_string(found) + ", newer than this program's " +
                     std::to_string(kSchemaVersion));
  for (int64_t step = found; step < kSchemaVersion; ++step) session.Execute(kMigrations[step]);
  if (found != kSchemaVersion) {
    session.Execute("DELETE FROM snipora_schema");
    session.ExecuteParams("INSERT INTO snipora_schema VALUES ($1::int8)", {TextForm(std::to_string(kSchemaVersion))},
                          PGRES_COMMAND_OK);
  }
  transaction.Commit();
}

// Inside a transaction: the change is logged for instances that missed its
// notification, and notified (delivered at commit) to every listening one.
void NoteChange(Session& session, std::string_view kind, std::string_view name) {
  session.ExecuteParams("INSERT INTO changes(kind, name, at) VALUES ($1::text, $2::text,"
                        " extract(epoch FROM now())::int8)",
                        {Bytes(kind), Bytes(name)}, PGRES_COMMAND_OK);
  session.ExecuteParams("SELECT pg_notify('snipora_changes', $1::text || ':' || $2::text)", {Bytes(kind), Bytes(name)},
                        PGRES_TUPLES_OK);
}

// Inside a transaction: a change's webhook event for each of `targets`
// receivers, the address as the link has it now (or had it, when deleted).
void AddEvents(Session& session, int64_t targets, std::string_view event, std::string_view key,
               std::string_view address, std::string_view actor, int64_t now) {
  if (targets <= 0) return;
  session.ExecuteParams(
      "INSERT INTO webhook_outbox(target, event, code, address, actor, at, due)"
      " SELECT t, $2::text, $3::text, $4::bytea, $5::bytea, $6::int8, $6::int8 FROM generate_series(0, $1::int8 - 1) t",
      {TextForm(std::to_string(targets)), Bytes(event), Bytes(key), Bytes(address), Bytes(actor),
       TextForm(std::to_string(now))},
      PGRES_COMMAND_OK);
}

// LISTEN on a connection of its own: every notification on the channel, and
// every (re)connection, calls `changed`. A broken connection is made again,
// the wait between attempts doubling from 0.1 s to 1 s.
class NotificationListener final : public ChangeListener {
 public:
  NotificationListener(std::string address, std::function<void()> changed)
      : address_(std::move(address)), changed_(std::move(changed)), stop_(eventfd(0, EFD_CLOEXEC)) {
    if (stop_ < 0) throw StoreError("eventfd failed");
    thread_ = std::thread([this] { Run(); });
  }
  ~NotificationListener() override {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(stop_, &one, sizeof one);
    thread_.join();
    close(stop_);
  }

 private:
  // Waits for the connection's socket (-1: none) or the stop; false on stop.
  bool Wait(int socket, int timeoutMs) {
    pollfd fds[2] = {{stop_, POLLIN, 0}, {socket, POLLIN, 0}};
    poll(fds, socket >= 0 ? 2 : 1, timeoutMs);
    return !(fds[0].revents & POLLIN);
  }

  void Run() {
    Clock::duration backoff = kFirstBackoff;
    bool failing = false;
    for (;;) {
      std::unique_ptr<Session> session;
      try {
        session = std::make_unique<Session>(address_);
        session->Execute("LISTEN snipora_changes");
      } catch (const StoreError& error) {
        if (!failing) Log(LogLevel::kWarning, std::string("notifications: cannot listen, trying again: ") + error.what());
        failing = true;
        if (!Wait(-1, int(std::chrono::duration_cast<std::chrono::milliseconds>(backoff).count()))) return;
        backoff = std::min<Clock::duration>(backoff * 2, kLastBackoff);
        continue;
      }
      if (failing) Log(LogLevel::kInfo, "notifications: listening again");
      failing = false;
      backoff = kFirstBackoff;
      changed_();  // what changed while no one listened is in the log
      PGconn* connection = session->raw();
      for (;;) {
        if (!Wait(PQsocket(connection), -1)) return;
        if (!PQconsumeInput(connection)) break;
        bool any = false;
        while (PGnotify* notify = PQnotifies(connection)) {
          PQfreemem(notify);
          any = true;
        }
        if (any) changed_();
      }
      Log(LogLevel::kWarning, "notifications: the connection broke; listening again");
    }
  }

  const std::string address_;
  const std::function<void()> changed_;
  const int stop_;
  std::thread thread_;
};

class PostgresStore final : public Store {
 public:
  std::unique_ptr<ChangeListener> Listen(std::function<void()> changed) override {
    return std::make_unique<NotificationListener>(address_, std::move(changed));
  }

  PostgresStore(std::string address, StoreOptions options) : address_(std::move(address)), options_(std::move(options)) {
    Session session(address_);
    Migrate(session);
    session.Prepare();
    idle_.push_back(std::make_unique<Session>(std::move(session)));
  }

  std::optional<Link> FindCode(std::string_view code) override {
    return WithSession([&](Session& session) -> std::optional<Link> {
      const Result result = session.Run(kFindCode, {Bytes(code)});
      if (PQntuples(result.get()) == 0) return std::nullopt;
      Link link;
      SetKey(link, code);
      ReadLink(result.get(), 0, 0, link);
      return link;
    });
  }

  std::optional<std::string> FindAddress(std::string_view address, std::string_view domain) override {
    return WithSession([&](Session& session) -> std::optional<std::string> {
      const Result result = session.Run(kFindAddress, {Bytes(address), Bytes(domain)});
      if (PQntuples(result.get()) == 0) return std::nullopt;
      return std::string(SplitLinkKey(Value(result.get(), 0, 0)).code);
    });
  }

  std::vector<InsertResult> InsertIfAbsent(std::span<const NewLink> links) override {
    if (links.empty()) return {};
    std::vector<std::string_view> codes, addresses, owners, titles, domains;
    std::vector<int64_t> created, clicks;
    std::vector<std::optional<int64_t>> expires, maxClicks;
    std::vector<std::string> tags, keys;
    tags.reserve(links.size());
    keys.reserve(links.size());
    for (const NewLink& link : links) {
      codes.push_back(keys.emplace_back(LinkKey(link.domain, link.code)));
      domains.push_back(link.domain);
      addresses.push_back(link.address);
      created.push_back(link.created);
      clicks.push_back(link.clicks);
      owners.push_back(link.owner);
      expires.push_back(link.expires);
      maxClicks.push_back(link.maxClicks);
      titles.push_back(link.title);
      tags.push_back(TagsColumn(link.tags));
    }
    const std::vector<Param> insert = {TextForm(TextArray(codes)),
                                       TextForm(ByteaArray(addresses)),
                                       TextForm(IntegerArray(created)),
                                       TextForm(IntegerArray(clicks)),
                                       TextForm(TextArray(owners)),
                                       TextForm(MaybeIntegerArray(expires)),
                                       TextForm(MaybeIntegerArray(maxClicks)),
                                       TextForm(ByteaArray(titles)),
                                       TextForm(TextArray(std::vector<std::string_view>(tags.begin(), tags.end()))),
                                       TextForm(std::to_string(HeldAfter())),
                                       TextForm(TextArray(domains))};
    const std::vector<Param> settle = {insert[1], insert[0], insert[9]};
    return Retrying([&](Session& session) {
      // codes here are keys; an address is stored once per domain
      using OnDomain = std::pair<std::string, std::string>;  // domain, address
      std::map<std::string, std::string, std::less<>> inserted;  // code -> address, this transaction's
      std::map<OnDomain, std::string, std::less<>> stored;       // (domain, address) -> code, after it
      std::set<std::string, std::less<>> held;                   // the batch's codes held back, after it
      const auto onDomain = [](std::string_view key, std::string_view address) {
        return OnDomain(SplitLinkKey(key).domain, address);
      };
      Transaction transaction(session);
      {
        const Result result = session.Run(kInsert, insert);
        for (int row = 0; row < PQntuples(result.get()); ++row)
          inserted.emplace(Value(result.get(), row, 0), Value(result.get(), row, 1));
      }
      {
        const Result result = session.Run(kSettle, settle);
        for (int row = 0; row < PQntuples(result.get()); ++row) {
          if (PQgetisnull(result.get(), row, 1))
            held.emplace(Value(result.get(), row, 0));
          else
            stored.emplace(onDomain(Value(result.get(), row, 0), Value(result.get(), row, 1)),
                           Value(result.get(), row, 0));
        }
      }
      // The insert saw the freed codes as they were when it began; a link
      // deleted meanwhile (the insert waited for its row) freed its code
      // after that. Such a code is taken out again: held, as if seen at once.
      std::vector<std::string> raced;
      for (const auto& [code, address] : inserted)
        if (held.contains(code)) raced.push_back(code);
      if (!raced.empty()) {
        session.ExecuteParams("DELETE FROM links WHERE code = ANY($1::text[])",
                              {TextForm(TextArray(std::vector<std::string_view>(raced.begin(), raced.end())))},
                              PGRES_COMMAND_OK);
        for (const std::string& code : raced) {
          const auto row = inserted.find(code);
          if (const auto known = stored.find(onDomain(code, row->second));
              known != stored.end() && known->second == code)
            stored.erase(known);
          inserted.erase(row);
        }
      }
      if (options_.webhookTargets > 0) {
        std::set<std::string_view> told;  // the first link of the batch with a code is the one inserted
        for (std::size_t i = 0; i < links.size(); ++i) {
          const auto row = inserted.find(keys[i]);
          if (row == inserted.end() || row->second != links[i].address || !told.insert(keys[i]).second) continue;
          AddEvents(session, options_.webhookTargets, "link.created", keys[i], links[i].address, links[i].owner, Now());
        }
      }
      transaction.Commit();
      // In the batch's order: the first of equal codes or addresses is the
      // one the insert kept (rows go in as unnest gives them); an address
      // stored by a later link of the batch was not there for an earlier one.
      std::set<std::string_view> claimed;
      const auto insertedHere = [&](const std::string& code, std::string_view address) {
        const auto row = inserted.find(code);
        return row != inserted.end() && row->second == address && !claimed.contains(code);
      };
      std::vector<InsertResult> results;
      for (std::size_t i = 0; i < links.size(); ++i) {
        const NewLink& link = links[i];
        const std::string& key = keys[i];
        if (insertedHere(key, link.address)) {
          results.push_back({InsertResult::kInserted, link.code});
          claimed.insert(key);
        } else if (const auto known = stored.find(OnDomain(link.domain, link.address));
                   known != stored.end() && !insertedHere(known->second, link.address)) {
          results.push_back({InsertResult::kAddressKnown, std::string(SplitLinkKey(known->second).code)});
        } else if (held.contains(key)) {
          results.push_back({InsertResult::kCodeHeld, {}});
        } else {
          results.push_back({InsertResult::kCodeTaken, {}});
        }
      }
      return results;
    });
  }

  ChangeResult ChangeLink(std::string_view code, const LinkChange& change) override {
    return Retrying([&](Session& session) -> ChangeResult {
      Transaction transaction(session);
      const Result found = session.ExecuteParams(
          "SELECT " SNIPORA_LINK_COLUMNS " FROM links WHERE code = $1::text FOR UPDATE", {Bytes(code)},
          PGRES_TUPLES_OK);
      if (PQntuples(found.get()) == 0) return {};
      Link before;
      SetKey(before, code);
      ReadLink(found.get(), 0, 0, before);
      Link after = Changed(before, change);
      if (after.address != before.address &&
          PQntuples(session.Run(kFindAddress, {Bytes(after.address), Bytes(after.domain)}).get()) > 0)
        return {ChangeResult::kAddressTaken, {}};
      session.ExecuteParams(
          "UPDATE links SET address = $2::bytea, disabled = $3::boolean, public_note = $4::text,"
          " private_note = $5::text, expires = $6::int8, max_clicks = $7::int8, title = $8::bytea, tags = $9::text"
          " WHERE code = $1::text",
          {Bytes(code), Bytes(after.address), TextForm(after.disabled ? "true" : "false"), Bytes(after.publicNote),
           Bytes(after.privateNote), MaybeInteger(after.expires), MaybeInteger(after.maxClicks), Bytes(after.title),
           Bytes(TagsColumn(after.tags))},
          PGRES_COMMAND_OK);
      NoteChange(session, "link", code);
      AddEvents(session, options_.webhookTargets, after.disabled && !before.disabled ? "link.disabled" : "link.changed",
                code, after.address, change.actor, Now());
      transaction.Commit();
      return {ChangeResult::kChanged, std::move(after)};
    });
  }

  std::vector<Link> ListLinks(const LinkQuery& query) override {
    const Param none{{}, 0, true};
    // a search adds its condition alone: the planner then sees the trigram
    // index's matches as the way in
    std::string sql =
        "SELECT code, " SNIPORA_LINK_COLUMNS " FROM links WHERE domain = $7::text AND code > $1::text"
        " AND ($2::int8 IS NULL OR created >= $2::int8) AND ($3::int8 IS NULL OR created < $3::int8)"
        " AND ($4::boolean IS NULL OR disabled = $4::boolean) AND ($5::text IS NULL OR owner = $5::text)";
    if (!query.text.empty())
      sql += " AND ((" SNIPORA_LINK_TEXT ") ILIKE $9::text OR tags ILIKE $8::text)";
    sql += " ORDER BY code LIMIT $6::int8";
    // a domain's keys share their prefix, so they sort as its codes do
    std::vector<Param> params{Bytes(LinkKey(query.domain, query.after)), MaybeInteger(query.createdFrom),
                              MaybeInteger(query.createdBefore),
                              query.disabled ? TextForm(*query.disabled ? "true" : "false") : none,
                              query.owner ? Bytes(*query.owner) : none, TextForm(std::to_string(query.limit)),
                              Bytes(query.domain)};
    if (!query.text.empty()) {
      params.push_back(Bytes(LikePattern(query.text)));
      params.push_back(Bytes(LikePattern(EscapedForm(query.text))));
    }
    return WithSession([&](Session& session) {
      const Result result = session.ExecuteParams(sql.c_str(), params, PGRES_TUPLES_OK);
      std::vector<Link> links;
      for (int row = 0; row < PQntuples(result.get()); ++row) {
        Link& link = links.emplace_back();
        SetKey(link, Value(result.get(), row, 0));
        ReadLink(result.get(), row, 1, link);
      }
      return links;
    });
  }

  bool AddKey(const KeyRecord& key) override {
    return Retrying([&](Session& session) {
      Transaction transaction(session);
      const Result added = session.ExecuteParams(
          "INSERT INTO keys(name, role, digest, created) VALUES ($1::text, $2::text, $3::bytea, $4::int8)"
          " ON CONFLICT DO NOTHING",
          {Bytes(key.name), Bytes(key.role), Bytes(key.digest), TextForm(std::to_string(key.created))},
          PGRES_COMMAND_OK);
      if (std::string_view(PQcmdTuples(added.get())) == "0") return false;
      NoteChange(session, "key", key.name);
      transaction.Commit();
      return true;
    });
  }

  std::vector<KeyRecord> ListKeys() override {
    return WithSession([&](Session& session) {
      const Result result = session.ExecuteParams(
          "SELECT name, role, digest, created, revoked FROM keys ORDER BY name", {}, PGRES_TUPLES_OK);
      std::vector<KeyRecord> keys;
      for (int row = 0; row < PQntuples(result.get()); ++row)
        keys.push_back({std::string(Value(result.get(), row, 0)), std::string(Value(result.get(), row, 1)),
                        std::string(Value(result.get(), row, 2)), Int8(result.get(), row, 3),
                        MaybeInt8(result.get(), row, 4)});
      return keys;
    });
  }

  bool RevokeKey(std::string_view name, int64_t when) override {
    return Retrying([&](Session& session) {
      Transaction transaction(session);
      const Result revoked = session.ExecuteParams(
          "UPDATE keys SET revoked = $2::int8 WHERE name = $1::text AND revoked IS NULL",
          {Bytes(name), TextForm(std::to_string(when))}, PGRES_COMMAND_OK);
      if (std::string_view(PQcmdTuples(revoked.get())) == "0") return false;
      NoteChange(session, "key", name);
      transaction.Commit();
      return true;
    });
  }

  std::vector<std::string> QuarantineLinks(std::span<const QuarantineAsk> asks) override {
    if (asks.empty()) return {};
    return Retrying([&](Session& session) {
      std::vector<std::string> put;
      Transaction transaction(session);
      for (const QuarantineAsk& ask : asks) {
        const Result changed = session.ExecuteParams(
            "UPDATE links SET quarantine = $2::bytea WHERE code = $1::text AND quarantine = ''::bytea AND NOT EXISTS"
            " (SELECT 1 FROM quarantine_releases WHERE code = $1::text AND reason = $2::bytea)",
            {Bytes(ask.key), Bytes(ask.reason)}, PGRES_COMMAND_OK);
        if (std::string_view(PQcmdTuples(changed.get())) == "0") continue;
        NoteChange(session, "link", ask.key);
        AddEvents(session, options_.webhookTargets, "link.quarantined", ask.key, AddressOf(session, ask.key), ask.reason,
                  Now());
        put.push_back(ask.key);
      }
      transaction.Commit();
      return put;
    });
  }

  bool ReleaseLink(std::string_view key, std::string_view actor) override {
    return Retrying([&](Session& session) {
      Transaction transaction(session);
      const Result found = session.ExecuteParams("SELECT quarantine FROM links WHERE code = $1::text FOR UPDATE",
                                                 {Bytes(key)}, PGRES_TUPLES_OK);
      if (PQntuples(found.get()) == 0) return false;
      const std::string reason(Value(found.get(), 0, 0));
      if (reason.empty()) return false;
      session.ExecuteParams(
          "INSERT INTO quarantine_releases(code, reason, released) VALUES ($1::text, $2::bytea,"
          " extract(epoch FROM now())::int8) ON CONFLICT DO NOTHING",
          {Bytes(key), Bytes(reason)}, PGRES_COMMAND_OK);
      session.ExecuteParams("UPDATE links SET quarantine = ''::bytea WHERE code = $1::text", {Bytes(key)},
                            PGRES_COMMAND_OK);
      NoteChange(session, "link", key);
      AddEvents(session, options_.webhookTargets, "link.released", key, AddressOf(session, key), actor, Now());
      transaction.Commit();
      return true;
    });
  }

  std::vector<OutboxEvent> ClaimEvents(int64_t now, int64_t lease, int limit) override {
    return Retrying([&](Session& session) {
      // SKIP LOCKED and the lease checked again on the row as updated: of
      // instances claiming at once, one takes each event
      const Result result = session.ExecuteParams(
          "UPDATE webhook_outbox SET leased = $1::int8 + $2::int8 WHERE leased <= $1::int8 AND id IN"
          " (SELECT id FROM webhook_outbox o WHERE due <= $1::int8 AND leased <= $1::int8 AND id ="
          " (SELECT min(id) FROM webhook_outbox p WHERE p.target = o.target AND p.code = o.code)"
          " ORDER BY id LIMIT $3::int8 FOR UPDATE SKIP LOCKED)"
          " RETURNING id, target, event, code, address, actor, at, attempts",
          {TextForm(std::to_string(now)), TextForm(std::to_string(lease)), TextForm(std::to_string(limit))},
          PGRES_TUPLES_OK);
      std::vector<OutboxEvent> events;
      for (int row = 0; row < PQntuples(result.get()); ++row)
        events.push_back({Int8(result.get(), row, 0), Int8(result.get(), row, 1), std::string(Value(result.get(), row, 2)),
                          std::string(Value(result.get(), row, 3)), std::string(Value(result.get(), row, 4)),
                          std::string(Value(result.get(), row, 5)), Int8(result.get(), row, 6),
                          Int8(result.get(), row, 7)});
      std::sort(events.begin(), events.end(), [](const OutboxEvent& a, const OutboxEvent& b) { return a.id < b.id; });
      return events;
    });
  }

  void AddEvent(std::string_view event, std::string_view key, std::string_view actor) override {
    if (options_.webhookTargets <= 0) return;
    Retrying([&](Session& session) {
      AddEvents(session, options_.webhookTargets, event, key, "", actor, Now());
      return true;
    });
  }

  void EventDone(int64_t id) override {
    Retrying([&](Session& session) {
      session.ExecuteParams("DELETE FROM webhook_outbox WHERE id = $1::int8", {TextForm(std::to_string(id))},
                            PGRES_COMMAND_OK);
      return true;
    });
  }

  void EventRetry(int64_t id, int64_t due) override {
    Retrying([&](Session& session) {
      session.ExecuteParams(
          "UPDATE webhook_outbox SET attempts = attempts + 1, due = $2::int8, leased = 0 WHERE id = $1::int8",
          {TextForm(std::to_string(id)), TextForm(std::to_string(due))}, PGRES_COMMAND_OK);
      return true;
    });
  }

  std::vector<FeedVersion> ListFeedVersions() override {
    return WithSession([&](Session& session) {
      const Result result = session.ExecuteParams(
          "SELECT name, body, etag, last_modified, fetched FROM threat_feeds ORDER BY name", {}, PGRES_TUPLES_OK);
      std::vector<FeedVersion> versions;
      for (int row = 0; row < PQntuples(result.get()); ++row)
        versions.push_back({std::string(Value(result.get(), row, 0)), std::string(Value(result.get(), row, 1)),
                            std::string(Value(result.get(), row, 2)), std::string(Value(result.get(), row, 3)),
                            Int8(result.get(), row, 4)});
      return versions;
    });
  }

  bool SaveFeedVersion(const FeedVersion& version) override {
    return Retrying([&](Session& session) {
      Transaction transaction(session);
      const Result stored = session.ExecuteParams(
          "SELECT body = $2::bytea FROM threat_feeds WHERE name = $1::text FOR UPDATE",
          {Bytes(version.name), Bytes(version.body)}, PGRES_TUPLES_OK);
      const bool same = PQntuples(stored.get()) == 1 && PQgetlength(stored.get(), 0, 0) == 1 &&
                        PQgetvalue(stored.get(), 0, 0)[0] == 1;
      session.ExecuteParams(
          "INSERT INTO threat_feeds(name, body, etag, last_modified, fetched)"
          " VALUES ($1::text, $2::bytea, $3::text, $4::text, $5::int8) ON CONFLICT (name) DO UPDATE"
          " SET body = excluded.body, etag = excluded.etag, last_modified = excluded.last_modified,"
          " fetched = excluded.fetched",
          {Bytes(version.name), Bytes(version.body), Bytes(version.etag), Bytes(version.lastModified),
           TextForm(std::to_string(version.fetched))},
          PGRES_COMMAND_OK);
      if (!same) NoteChange(session, "feed", version.name);
      transaction.Commit();
      return !same;
    });
  }

  std::vector<ChangeNote> ChangesSince(int64_t seq, int limit) override {
    return WithSession([&](Session& session) {
      const Result result = session.ExecuteParams(
          "SELECT seq, kind, name FROM changes WHERE seq > $1::int8 ORDER BY seq LIMIT $2::int8",
          {TextForm(std::to_string(seq)), TextForm(std::to_string(limit))}, PGRES_TUPLES_OK);
      std::vector<ChangeNote> notes;
      for (int row = 0; row < PQntuples(result.get()); ++row)
        notes.push_back({Int8(result.get(), row, 0), std::string(Value(result.get(), row, 1)),
                         std::string(Value(result.get(), row, 2))});
      return notes;
    });
  }

  int64_t LastChange() override {
    return WithSession([&](Session& session) {
      const Result result =
          session.ExecuteParams("SELECT coalesce(max(seq), 0)::int8 FROM changes", {}, PGRES_TUPLES_OK);
      return Int8(result.get(), 0, 0);
    });
  }

  bool DeleteLink(std::string_view code, std::string_view actor) override {
    return Retrying([&](Session& session) {
      Transaction transaction(session);
      const Result removed = session.ExecuteParams("DELETE FROM links WHERE code = $1::text RETURNING address",
                                                   {Bytes(code)}, PGRES_TUPLES_OK);
      if (PQntuples(removed.get()) == 0) return false;
      const std::string address(Value(removed.get(), 0, 0));
      session.ExecuteParams("DELETE FROM daily_clicks WHERE code = $1::text", {Bytes(code)}, PGRES_COMMAND_OK);
      session.ExecuteParams("DELETE FROM day_tallies WHERE code = $1::text", {Bytes(code)}, PGRES_COMMAND_OK);
      session.ExecuteParams("DELETE FROM day_registers WHERE code = $1::text", {Bytes(code)}, PGRES_COMMAND_OK);
      // a later link on the code is not released from anything
      session.ExecuteParams("DELETE FROM quarantine_releases WHERE code = $1::text", {Bytes(code)}, PGRES_COMMAND_OK);
      session.Run(kFreeCodes, {TextForm(TextArray({code})), TextForm(IntegerArray({Now()}))});
      NoteChange(session, "link", code);
      AddEvents(session, options_.webhookTargets, "link.deleted", code, address, actor, Now());
      transaction.Commit();
      return true;
    });
  }

  void AddClicks(std::span<const ClickCount> counts, const ClickFlush& flush) override {
    if (counts.empty() && (!flush.tallies || flush.tallies->empty())) return;
    std::vector<std::string_view> codes;
    std::vector<int64_t> clicks;
    for (const ClickCount& count : counts) {
      codes.push_back(count.code);
      clicks.push_back(count.clicks);
    }
    const std::vector<Param> params = {TextForm(TextArray(codes)), TextForm(IntegerArray(clicks))};
    // tried again on a new connection when this one broke, perhaps after
    // its commit: the flush's id, stored with it, makes that harmless
    Retrying([&](Session& session) {
      Transaction transaction(session);
      if (!flush.id.empty()) {
        const Result applied = session.ExecuteParams(
            "INSERT INTO click_flushes(id, applied) VALUES ($1::text, extract(epoch FROM now())::int8)"
            " ON CONFLICT DO NOTHING",
            {Bytes(flush.id)}, PGRES_COMMAND_OK);
        if (std::string_view(PQcmdTuples(applied.get())) == "0") return 0;  // counted before
        session.ExecuteParams("DELETE FROM click_flushes WHERE applied < extract(epoch FROM now())::int8 - $1::int8",
                              {TextForm(std::to_string(kFlushIdsKeptSeconds))}, PGRES_COMMAND_OK);
        session.ExecuteParams("DELETE FROM changes WHERE at < extract(epoch FROM now())::int8 - $1::int8",
                              {TextForm(std::to_string(kChangesKeptSeconds))}, PGRES_COMMAND_OK);
        session.ExecuteParams("DELETE FROM freed_codes WHERE freed <= $1::int8",
                              {TextForm(std::to_string(Now() - options_.codeQuarantine))}, PGRES_COMMAND_OK);
      }
      if (!counts.empty()) session.Run(kAddClicks, params);
      if (flush.tallies) WriteTallies(session, *flush.tallies);
      if (flush.day >= 0 && !counts.empty()) {
        std::vector<Param> daily = params;
        daily.push_back(TextForm(std::to_string(flush.day)));
        session.ExecuteParams(
            "INSERT INTO daily_clicks(code, day, clicks)"
            " SELECT v.code, $3::int8, v.n FROM unnest($1::text[], $2::int8[]) AS v(code, n)"
            " WHERE EXISTS (SELECT 1 FROM links WHERE links.code = v.code)"
            " ON CONFLICT (code, day) DO UPDATE SET clicks = daily_clicks.clicks + excluded.clicks",
            daily, PGRES_COMMAND_OK);
      }
      std::vector<std::string_view> limited;
      for (const ClickCount& count : counts)
        if (count.limited) limited.push_back(count.code);
      if (!limited.empty())
        session.ExecuteParams(
            "WITH noted AS (INSERT INTO changes(kind, name, at) SELECT 'link', code, extract(epoch FROM now())::int8"
            " FROM links WHERE code = ANY($1::text[]) ORDER BY code RETURNING name)"
            " SELECT pg_notify('snipora_changes', 'link:' || name) FROM noted",
            {TextForm(TextArray(limited))}, PGRES_TUPLES_OK);
      transaction.Commit();
      return 0;
    });
  }

  std::vector<DayCount> ClicksByDay(std::string_view code, int64_t fromDay, int64_t toDay) override {
    return WithSession([&](Session& session) {
      const Result result = session.ExecuteParams(
          "SELECT day, clicks FROM daily_clicks WHERE code = $1::text AND day BETWEEN $2::int8 AND $3::int8 ORDER BY day",
          {Bytes(code), TextForm(std::to_string(fromDay)), TextForm(std::to_string(toDay))}, PGRES_TUPLES_OK);
      std::vector<DayCount> counts;
      for (int row = 0; row < PQntuples(result.get()); ++row)
        counts.push_back({Int8(result.get(), row, 0), Int8(result.get(), row, 1)});
      return counts;
    });
  }

  std::vector<TallyRow> TalliesByDay(std::string_view code, int64_t fromDay, int64_t toDay) override {
    return WithSession([&](Session& session) {
      const Result result = session.ExecuteParams(
          "SELECT day, kind, name, count FROM day_tallies WHERE code = $1::text AND day BETWEEN $2::int8 AND $3::int8"
          " ORDER BY day, kind, name",
          {Bytes(code), TextForm(std::to_string(fromDay)), TextForm(std::to_string(toDay))}, PGRES_TUPLES_OK);
      std::vector<TallyRow> rows;
      for (int row = 0; row < PQntuples(result.get()); ++row)
        rows.push_back({std::string(code), Int8(result.get(), row, 0), std::string(Value(result.get(), row, 1)),
                        std::string(Value(result.get(), row, 2)), Int8(result.get(), row, 3)});
      return rows;
    });
  }

  std::vector<RegisterRow> RegistersByDay(std::string_view code, int64_t fromDay, int64_t toDay) override {
    return WithSession([&](Session& session) {
      const Result result = session.ExecuteParams(
          "SELECT day, reg::int8, rank::int8 FROM day_registers WHERE code = $1::text"
          " AND day BETWEEN $2::int8 AND $3::int8 ORDER BY day, reg",
          {Bytes(code), TextForm(std::to_string(fromDay)), TextForm(std::to_string(toDay))}, PGRES_TUPLES_OK);
      std::vector<RegisterRow> rows;
      for (int row = 0; row < PQntuples(result.get()); ++row)
        rows.push_back({std::string(code), Int8(result.get(), row, 0), int(Int8(result.get(), row, 1)),
                        int(Int8(result.get(), row, 2))});
      return rows;
    });
  }

  std::string DaySalt(int64_t day, std::string_view candidate) override {
    return Retrying([&](Session& session) {
      Transaction transaction(session);
      const std::string dayText = std::to_string(day);
      session.ExecuteParams("INSERT INTO day_salts(day, salt) VALUES ($1::int8, $2::bytea) ON CONFLICT DO NOTHING",
                            {TextForm(dayText), Bytes(candidate)}, PGRES_COMMAND_OK);
      session.ExecuteParams("DELETE FROM day_salts WHERE day < $1::int8", {TextForm(dayText)}, PGRES_COMMAND_OK);
      const Result salt = session.ExecuteParams("SELECT salt FROM day_salts WHERE day = $1::int8",
                                                {TextForm(dayText)}, PGRES_TUPLES_OK);
      std::string kept(Value(salt.get(), 0, 0));
      transaction.Commit();
      return kept;
    });
  }

  int64_t RemoveTalliesBefore(TallyFamily family, int64_t beforeDay, int limit) override {
    static constexpr const char* kDimensions[] = {
        "DELETE FROM day_tallies WHERE ctid IN (SELECT ctid FROM day_tallies WHERE day < $1::int8"
        " AND kind NOT IN ('bots', 'qr') LIMIT $2::int8)",
        "DELETE FROM day_registers WHERE ctid IN (SELECT ctid FROM day_registers WHERE day < $1::int8 LIMIT $2::int8)"};
    static constexpr const char* kTotals[] = {
        "DELETE FROM daily_clicks WHERE ctid IN (SELECT ctid FROM daily_clicks WHERE day < $1::int8 LIMIT $2::int8)",
        "DELETE FROM day_tallies WHERE ctid IN (SELECT ctid FROM day_tallies WHERE day < $1::int8"
        " AND kind IN ('bots', 'qr') LIMIT $2::int8)"};
    return Retrying([&](Session& session) {
      int64_t removed = 0;
      for (const char* sql : family == TallyFamily::kDimensions ? kDimensions : kTotals) {
        if (removed >= limit) break;
        const Result result = session.ExecuteParams(
            sql, {TextForm(std::to_string(beforeDay)), TextForm(std::to_string(limit - removed))}, PGRES_COMMAND_OK);
        removed += std::atoll(PQcmdTuples(result.get()));
      }
      return removed;
    });
  }

  void ForEachTally(const std::function<bool(const Tallies&)>& visit) override {
    // in pages, each after the last row of the one before
    Tallies page;
    page.counts.push_back({});
    for (bool first = true;; first = false) {
      const TallyRow last = page.counts.empty() ? TallyRow{} : page.counts.back();
      page = WithSession([&](Session& session) {
        const Result result = session.ExecuteParams(
            "SELECT code, day, kind, name, count FROM day_tallies WHERE $5::boolean"
            " OR (code, day, kind, name) > ($1::text, $2::int8, $3::text, $4::text)"
            " ORDER BY code, day, kind, name LIMIT 5000",
            {Bytes(last.code), TextForm(std::to_string(last.day)), Bytes(last.kind), Bytes(last.name),
             TextForm(first ? "true" : "false")},
            PGRES_TUPLES_OK);
        Tallies rows;
        for (int row = 0; row < PQntuples(result.get()); ++row)
          rows.counts.push_back({std::string(Value(result.get(), row, 0)), Int8(result.get(), row, 1),
                                 std::string(Value(result.get(), row, 2)), std::string(Value(result.get(), row, 3)),
                                 Int8(result.get(), row, 4)});
        return rows;
      });
      if (page.counts.empty()) break;
      if (!visit(page)) return;
    }
    page.registers.push_back({});
    for (bool first = true;; first = false) {
      const RegisterRow last = page.registers.empty() ? RegisterRow{} : page.registers.back();
      page = WithSession([&](Session& session) {
        const Result result = session.ExecuteParams(
            "SELECT code, day, reg::int8, rank::int8 FROM day_registers WHERE $4::boolean"
            " OR (code, day, reg) > ($1::text, $2::int8, $3::int4) ORDER BY code, day, reg LIMIT 5000",
            {Bytes(last.code), TextForm(std::to_string(last.day)), TextForm(std::to_string(last.index)),
             TextForm(first ? "true" : "false")},
            PGRES_TUPLES_OK);
        Tallies rows;
        for (int row = 0; row < PQntuples(result.get()); ++row)
          rows.registers.push_back({std::string(Value(result.get(), row, 0)), Int8(result.get(), row, 1),
                                    int(Int8(result.get(), row, 2)), int(Int8(result.get(), row, 3))});
        return rows;
      });
      if (page.registers.empty()) return;
      if (!visit(page)) return;
    }
  }

  void AddTallies(const Tallies& tallies) override {
    if (tallies.empty()) return;
    Retrying([&](Session& session) {
      Transaction transaction(session);
      WriteTallies(session, tallies);
      transaction.Commit();
      return 0;
    });
  }

  void ForEachLink(const std::function<bool(const Link&)>& visit) override {
    std::string after;
    for (;;) {
      std::vector<Link> page = WithSession([&](Session& session) {
        const Result result = session.Run(kPage, {Bytes(after)});
        std::vector<Link> links;
        for (int row = 0; row < PQntuples(result.get()); ++row) {
          Link& link = links.emplace_back();
          SetKey(link, Value(result.get(), row, 0));
          ReadLink(result.get(), row, 1, link);
        }
        return links;
      });
      if (page.empty()) return;
      after = LinkKey(page.back());
      for (const Link& link : page)
        if (!visit(link)) return;
    }
  }

  void ForEachFreedCode(const std::function<bool(const FreedCode&)>& visit) override {
    std::string after;
    for (;;) {
      const std::vector<FreedCode> page = WithSession([&](Session& session) {
        const Result result = session.ExecuteParams(
            "SELECT code, freed FROM freed_codes WHERE code > $1::text ORDER BY code LIMIT 2000", {Bytes(after)},
            PGRES_TUPLES_OK);
        std::vector<FreedCode> codes;
        for (int row = 0; row < PQntuples(result.get()); ++row)
          codes.push_back({std::string(Value(result.get(), row, 0)), Int8(result.get(), row, 1)});
        return codes;
      });
      if (page.empty()) return;
      after = page.back().code;
      for (const FreedCode& freed : page)
        if (!visit(freed)) return;
    }
  }

  void AddFreedCodes(std::span<const FreedCode> codes) override {
    if (codes.empty()) return;
    std::vector<std::string_view> names;
    std::vector<int64_t> times;
    for (const FreedCode& freed : codes) {
      names.push_back(freed.code);
      times.push_back(freed.freed);
    }
    const std::vector<Param> params = {TextForm(TextArray(names)), TextForm(IntegerArray(times))};
    Retrying([&](Session& session) { return session.Run(kFreeCodes, params); });
  }

  Person SeePerson(const SignInSays& says) override {
    return Retrying([&](Session& session) {
      const Result seen = session.ExecuteParams(
          "INSERT INTO people(issuer, subject, name, email, role, first_seen, last_seen)"
          " VALUES ($1::text, $2::text, $3::text, $4::text, $5::text, $6::int8, $6::int8)"
          " ON CONFLICT(issuer, subject) DO UPDATE SET name = excluded.name, email = excluded.email,"
          " role = excluded.role, last_seen = excluded.last_seen RETURNING " SNIPORA_PERSON_COLUMNS,
          {Bytes(says.issuer), Bytes(says.subject), Bytes(says.name), Bytes(says.email), Bytes(says.role),
           TextForm(std::to_string(says.at))},
          PGRES_TUPLES_OK);
      return ReadPerson(seen.get(), 0, 0);
    });
  }

  std::optional<Person> FindPerson(int64_t id) override {
    return WithSession([&](Session& session) -> std::optional<Person> {
      const Result found = session.ExecuteParams("SELECT " SNIPORA_PERSON_COLUMNS " FROM people WHERE id = $1::int8",
                                                 {TextForm(std::to_string(id))}, PGRES_TUPLES_OK);
      if (PQntuples(found.get()) == 0) return std::nullopt;
      return ReadPerson(found.get(), 0, 0);
    });
  }

  std::vector<Person> ListPeople() override {
    return WithSession([&](Session& session) {
      const Result all =
          session.ExecuteParams("SELECT " SNIPORA_PERSON_COLUMNS " FROM people ORDER BY id", {}, PGRES_TUPLES_OK);
      std::vector<Person> people;
      for (int row = 0; row < PQntuples(all.get()); ++row) people.push_back(ReadPerson(all.get(), row, 0));
      return people;
    });
  }

  bool ChangePerson(int64_t id, const PersonChange& change) override {
    const std::string idText = std::to_string(id);
    return Retrying([&](Session& session) {
      Transaction transaction(session);
      const Param role = change.role ? Bytes(*change.role) : Param{{}, 1, true};
      const Param locked = change.locked ? TextForm(*change.locked ? "true" : "false") : Param{{}, 0, true};
      const Result changed = session.ExecuteParams(
          "UPDATE people SET role = coalesce($2::text, role), locked = coalesce($3::boolean, locked)"
          " WHERE id = $1::int8",
          {TextForm(idText), role, locked}, PGRES_COMMAND_OK);
      if (std::string_view(PQcmdTuples(changed.get())) == "0") return false;
      if (change.locked.value_or(false))
        session.ExecuteParams("DELETE FROM sessions WHERE person = $1::int8", {TextForm(idText)}, PGRES_COMMAND_OK);
      NoteChange(session, "person", idText);
      transaction.Commit();
      return true;
    });
  }

  void AddSession(const SessionRecord& record) override {
    Retrying([&](Session& session) {
      session.ExecuteParams("INSERT INTO sessions(digest, person, created, last_seen)"
                            " VALUES ($1::bytea, $2::int8, $3::int8, $4::int8)",
                            {Bytes(record.digest), TextForm(std::to_string(record.person)),
                             TextForm(std::to_string(record.created)), TextForm(std::to_string(record.lastSeen))},
                            PGRES_COMMAND_OK);
      return true;
    });
  }

  std::optional<SignedIn> FindSession(std::string_view digest) override {
    return WithSession([&](Session& session) -> std::optional<SignedIn> {
      const Result found = session.ExecuteParams(
          "SELECT s.person, s.created, s.last_seen, p.id, p.issuer, p.subject, p.name, p.email, p.role,"
          " p.locked::int4::int8, p.first_seen, p.last_seen FROM sessions s JOIN people p ON p.id = s.person"
          " WHERE s.digest = $1::bytea",
          {Bytes(digest)}, PGRES_TUPLES_OK);
      if (PQntuples(found.get()) == 0) return std::nullopt;
      const PGresult* row = found.get();
      return SignedIn{{std::string(digest), Int8(row, 0, 0), Int8(row, 0, 1), Int8(row, 0, 2)}, ReadPerson(row, 0, 3)};
    });
  }

  void TouchSession(std::string_view digest, int64_t at) override {
    Retrying([&](Session& session) {
      session.ExecuteParams("UPDATE sessions SET last_seen = greatest(last_seen, $2::int8) WHERE digest = $1::bytea",
                            {Bytes(digest), TextForm(std::to_string(at))}, PGRES_COMMAND_OK);
      return true;
    });
  }

  void EndSession(std::string_view digest) override {
    Retrying([&](Session& session) {
      session.ExecuteParams("DELETE FROM sessions WHERE digest = $1::bytea", {Bytes(digest)}, PGRES_COMMAND_OK);
      return true;
    });
  }

  StoreHealth Health() override {
    try {
      const bool readOnly = WithSession([](Session& session) {
        const Result result = session.Run(kProbe, {});
        return PQgetlength(result.get(), 0, 0) == 1 && *PQgetvalue(result.get(), 0, 0) != 0;
      });
      return readOnly ? StoreHealth::kReadOnly : StoreHealth::kOk;
    } catch (const StoreError&) {
      return StoreHealth::kUnreachable;
    }
  }

 private:
  // A connection for one call: an idle one, or a new one unless the last
  // attempt failed within the back-off interval (a database that is away is
  // not hammered; every caller meanwhile fails at once).
  std::unique_ptr<Session> Take(bool* reused) {
    {
      std::lock_guard lock(mutex_);
      if (!idle_.empty()) {
        std::unique_ptr<Session> session = std::move(idle_.back());
        idle_.pop_back();
        *reused = true;
        return session;
      }
      if (Clock::now() < nextAttempt_) throw StoreError("the database does not answer (waiting to try again)");
    }
    *reused = false;
    try {
      auto session = std::make_unique<Session>(address_);
      session->Prepare();
      std::lock_guard lock(mutex_);
      backoff_ = {};
      return session;
    } catch (const StoreError&) {
      std::lock_guard lock(mutex_);
      backoff_ = std::min<Clock::duration>(backoff_ == Clock::duration{} ? kFirstBackoff : backoff_ * 2, kLastBackoff);
      nextAttempt_ = Clock::now() + backoff_;
      throw;
    }
  }

  void Give(std::unique_ptr<Session> session) {
    if (!session->Reusable()) return;
    std::lock_guard lock(mutex_);
    if (idle_.size() < kMaxIdle) idle_.push_back(std::move(session));
  }

  // Runs `work` on a connection. When the connection broke (the database
  // restarted, say), the idle ones are dropped too, since they went the same
  // way, and a call that came on an old connection is tried once on a new one.
  template <typename Work>
  std::invoke_result_t<Work&, Session&> WithSession(Work&& work) {
    for (int attempt = 0;; ++attempt) {
      bool reused = false;
      std::unique_ptr<Session> session = Take(&reused);
      try {
        auto result = work(*session);
        Give(std::move(session));
        return result;
      } catch (const StoreError&) {
        if (session->Reusable()) {
          Give(std::move(session));
          throw;
        }
        {
          std::lock_guard lock(mutex_);
          idle_.clear();
        }
        if (!reused || attempt > 0) throw;
      }
    }
  }

  // WithSession, and again when the transaction lost a deadlock with another
  // instance's (rows inserted or counted in another order): it stored nothing.
  template <typename Work>
  std::invoke_result_t<Work&, Session&> Retrying(Work&& work) {
    for (int attempt = 1;; ++attempt) {
      try {
        return WithSession(work);
      } catch (const QueryFailed& error) {
        if (attempt >= kDeadlockTries || (error.state != "40P01" && error.state != "40001")) throw;
      }
    }
  }

  // Inside a transaction: counts added, registers raised to their maximum
  // (an upsert each, so that instances writing the same day merge), for
  // links that exist and for unknown codes. Rows of one key are summed
  // first: an upsert may not touch a row twice.
  static void WriteTallies(Session& session, const Tallies& tallies) {
    if (!tallies.counts.empty()) {
      std::vector<std::string_view> codes, kinds, names;
      std::vector<int64_t> days, counts;
      for (const TallyRow& row : tallies.counts) {
        codes.push_back(row.code);
        days.push_back(row.day);
        kinds.push_back(row.kind);
        names.push_back(row.name);
        counts.push_back(row.count);
      }
      session.ExecuteParams(
          "INSERT INTO day_tallies(code, day, kind, name, count)"
          " SELECT v.code, v.day, v.kind, v.name, sum(v.n) FROM unnest($1::text[], $2::int8[], $3::text[],"
          " $4::text[], $5::int8[]) AS v(code, day, kind, name, n)"
          " WHERE v.code = '' OR EXISTS (SELECT 1 FROM links WHERE links.code = v.code)"
          " GROUP BY v.code, v.day, v.kind, v.name ORDER BY v.code, v.day, v.kind, v.name"
          " ON CONFLICT (code, day, kind, name) DO UPDATE SET count = day_tallies.count + excluded.count",
          {TextForm(TextArray(codes)), TextForm(IntegerArray(days)), TextForm(TextArray(kinds)),
           TextForm(TextArray(names)), TextForm(IntegerArray(counts))},
          PGRES_COMMAND_OK);
    }
    if (!tallies.registers.empty()) {
      std::vector<std::string_view> codes;
      std::vector<int64_t> days, indexes, ranks;
      for (const RegisterRow& row : tallies.registers) {
        codes.push_back(row.code);
        days.push_back(row.day);
        indexes.push_back(row.index);
        ranks.push_back(row.rank);
      }
      session.ExecuteParams(
          "INSERT INTO day_registers(code, day, reg, rank)"
          " SELECT v.code, v.day, v.reg, max(v.rank) FROM unnest($1::text[], $2::int8[], $3::int4[], $4::int2[])"
          " AS v(code, day, reg, rank) WHERE EXISTS (SELECT 1 FROM links WHERE links.code = v.code)"
          " GROUP BY v.code, v.day, v.reg ORDER BY v.code, v.day, v.reg"
          " ON CONFLICT (code, day, reg) DO UPDATE SET rank = greatest(day_registers.rank, excluded.rank)",
          {TextForm(TextArray(codes)), TextForm(IntegerArray(days)), TextForm(IntegerArray(indexes)),
           TextForm(IntegerArray(ranks))},
          PGRES_COMMAND_OK);
    }
  }

  // Inside a transaction: a link's address ("" when absent).
  static std::string AddressOf(Session& session, std::string_view key) {
    const Result found =
        session.ExecuteParams("SELECT address FROM links WHERE code = $1::text", {Bytes(key)}, PGRES_TUPLES_OK);
    return PQntuples(found.get()) == 0 ? std::string() : std::string(Value(found.get(), 0, 0));
  }

  int64_t Now() const { return options_.now ? options_.now() : int64_t(std::time(nullptr)); }
  // Codes freed after this time are held back; none when there is no quarantine.
  int64_t HeldAfter() const {
    return options_.codeQuarantine > 0 ? Now() - options_.codeQuarantine : std::numeric_limits<int64_t>::max();
  }

  static constexpr std::size_t kMaxIdle = 8;
  const std::string address_;
  const StoreOptions options_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Session>> idle_;
  Clock::duration backoff_{};
  Clock::time_point nextAttempt_{};
};

}  // namespace

bool IsPostgresAddress(std::string_view database) {
  return database.starts_with("postgresql://") || database.starts_with("postgres://");
}

std::unique_ptr<Store> OpenPostgresStore(const std::string& connection, const StoreOptions& options) {
  return std::make_unique<PostgresStore>(connection, options);
}

int PostgresSchemaVersion() { return kSchemaVersion; }

}  // namespace snipora::service
