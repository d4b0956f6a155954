#include "service/base/settings.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <stdexcept>
#include <variant>

#include "service/core/allowed_hosts.h"
#include "service/core/forwarded.h"
#include "service/core/own_hosts.h"
#include "service/core/utc_time.h"

namespace snipora::service {
namespace {

// Which runs take an option: the service, and the commands that move links.
enum : unsigned {
  kServe = 1,
  kCopy = 2,
  kExport = 4,
  kImport = 8,
  kKey = 16,
  kLink = 32,
  kBackup = 64,
  kEvery = kServe | kCopy | kExport | kImport | kKey | kLink | kBackup,
};

struct Text {
  std::string Settings::*field;
  const char* metavar;  // what the value is, as --help and the manual page name it
  // what is wrong with a value (empty: nothing); null: any value
  std::string (*check)(const std::string& value) = nullptr;
  // given again, the value is added to the ones before, comma-separated
  bool repeats = false;
};
struct Number {
  uint32_t Settings::*field;
  uint32_t min, max;
};
struct Switch {
  bool Settings::*field;
};
struct ConfigFile {};

struct Option {
  const char* name;
  std::variant<Text, Number, Switch, ConfigFile> value;
  const char* defaultValue;  // "" for none: the option may then be given empty
  unsigned commands;
  const char* help;
};

std::string CheckListen(const std::string& value) {
  return ParseListen(value) ? "" : "takes HOST:PORT (an IP address, [IPv6]:PORT), not '" + value + "'";
}
std::string CheckRanges(const std::string& value) {
  std::string error;
  return AddressRanges::Parse(value, &error) ? "" : "takes IP addresses and CIDR ranges: " + error;
}

std::string CheckOwnHosts(const std::string& value) {
  OwnHosts hosts;
  std::string bad;
  return hosts.AddList(value, &bad) ? "" : "takes host names or IP addresses, comma-separated; '" + bad + "' is none";
}

std::string CheckDomain(const std::string& value) {
  OwnHosts hosts;
  return value.find(',') == std::string::npos && hosts.Add(value)
             ? ""
             : "takes one host name or IP address (HOST[:PORT]), not '" + value + "'";
}

std::string CheckFormat(const std::string& value) {
  return value == "csv" || value == "jsonl" ? "" : "takes csv or jsonl, not '" + value + "'";
}

std::string CheckHosts(const std::string& value) {
  std::string error;
  return AllowedHosts::Parse(value, &error) ? "" : "takes host names and addresses, comma-separated: " + error;
}

std::string CheckIssuer(const std::string& value) {
  return value.starts_with("https://") || value.starts_with("http://")
             ? ""
             : "takes the provider's issuer address (https://...), not '" + value + "'";
}

std::string CheckRole(const std::string& value) {
  return value == "admin" || value == "creator" ? "" : "takes admin or creator, not '" + value + "'";
}
std::string CheckKeyName(const std::string& value) {
  const bool fits = value.size() <= 64 && value.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                                   "0123456789-_.") == std::string::npos;
  return fits ? "" : "takes 1 to 64 letters, digits, '-', '_' or '.', not '" + value + "'";
}

std::string CheckTime(const std::string& value) {
  return ParseTime(value) ? ""
                          : "takes a UTC time from 1970 to 9999 as 2026-12-31T00:00:00Z or seconds since 1970, not '" +
                                value + "'";
}
std::string CheckBoolean(const std::string& value) {
  return value == "true" || value == "false" ? "" : "takes true or false, not '" + value + "'";
}

std::string CheckZone(const std::string& value) {
  const bool fits = !value.empty() && value.size() <= 200 && value.find("..") == std::string::npos &&
                    value.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.") ==
                        std::string::npos;
  return fits ? "" : "takes a DNS zone (letters, digits, '-', '_' and dots), not '" + value + "'";
}

// One --webhook value: an http or https address (a comma would split it).
std::string CheckWebhook(const std::string& value) {
  const bool fits = (value.starts_with("http://") || value.starts_with("https://")) && value.size() <= 2000 &&
                    value.find_first_of(", \t\r\n") == std::string::npos;
  return fits ? "" : "takes an http:// or https:// address without commas or spaces, not '" + value + "'";
}

// One --threat-feed value: NAME=URL.
std::string CheckThreatFeed(const std::string& value) {
  std::string error;
  return ParseThreatFeeds(value, &error) ? "" : error;
}

const Option kOptions[] = {
    {"listen", Text{&Settings::listen, "HOST:PORT", CheckListen}, "127.0.0.1:8080", kServe | kImport,
     "HOST:PORT to listen on (IPv4, or [IPv6]:PORT); links to its address are refused, and to every loopback "
     "address and localhost when it is loopback or every address (0.0.0.0, ::)"},
    {"database", Text{&Settings::database, "STORE"}, "snipora.db", kServe | kExport | kImport | kKey | kLink | kBackup,
     "the links: an SQLite file (created when absent), or a PostgreSQL database as postgresql://USER@HOST:PORT/DB "
     "(any libpq connection address; several instances may share it)"},
    {"public-host", Text{&Settings::publicHost, "HOST[:PORT]"}, "localhost:8080", kServe | kImport,
     "HOST[:PORT] of the short addresses handed out (http://HOST[:PORT]/CODE); addresses on HOST (any port) are "
     "refused"},
    {"domain", Text{&Settings::domains, "HOST[:PORT]", CheckDomain, true}, "", kServe | kExport | kImport,
     "a domain the service's links live on, given once for each (the first is the default, where the links made "
     "before several domains stay); a link's code is unique on its domain, and a redirect is looked up on the "
     "domain the request's Host names. Given, --public-host is not used; export and import: the domain of the "
     "CSV's links, and the one an import of another shortener's links puts them on"},
    {"deny-list", Text{&Settings::denyList, "FILE"}, "", kServe | kImport,
     "a file of refused hosts, one a line (subdomains too, # comments): creations refused, links made before "
     "answer 410; read again on SIGHUP"},
    {"threat-feed", Text{&Settings::threatFeeds, "NAME=URL", CheckThreatFeed, true}, "", kServe,
     "a threat feed, given once for each: fetched over http or https every --threat-feed-interval (ETag and "
     "If-Modified-Since), read as a hosts file, one domain a line (||host^ too), one address a line or CSV with a "
     "url column; its version is kept in the store for every instance. Creations to a listed host (its "
     "subdomains too) or address are refused as the deny list refuses them, naming the feed in the log; the URL "
     "holds no raw comma (%2C)"},
    {"threat-feed-interval", Number{&Settings::threatFeedInterval, 1, 86400}, "900", kServe,
     "seconds between fetches of each threat feed; a failed fetch keeps the version before"},
    {"webhook", Text{&Settings::webhooks, "URL", CheckWebhook, true}, "", kServe | kLink,
     "a receiver of the links' events, given once for each: every creation, change, disabling, quarantine, release "
     "and deletion is written to an outbox in the store with the change, and POSTed as JSON signed as Standard "
     "Webhooks sign (webhook-id, webhook-timestamp, webhook-signature), at least once and in order for each link; "
     "retried with back-off for up to a day, then dropped (snipora_webhook_dropped_total)"},
    {"webhook-secret-file", Text{&Settings::webhookSecretFile, "FILE"}, "", kServe,
     "a file holding the webhooks' signing secret: whsec_ and base64 (decoded), or any other bytes (used as they "
     "are, a final line end left out); needed with --webhook"},
    {"reputation-zone", Text{&Settings::reputationZones, "ZONE", CheckZone, true}, "", kServe,
     "a DNS blocklist's zone for domains, given once for each: every public host name is looked up as HOST.ZONE "
     "at start and every hour; a listing (an A record) is logged and shown in /metrics "
     "(snipora_reputation_listings)"},
    {"reputation-resolver", Text{&Settings::reputationResolver, "HOST:PORT", CheckListen}, "", kServe,
     "the DNS server the reputation lookups ask (an IP address and port); none: the first nameserver of "
     "/etc/resolv.conf"},
    {"velocity-limit", Number{&Settings::velocityLimit, 1, 100000000}, "600", kServe,
     "clicks within one UTC minute above which a link younger than a day is flagged for review (logged, "
     "snipora_velocity_flagged_total)"},
    {"velocity-quarantine", Switch{&Settings::velocityQuarantine}, "off", kServe,
     "on: a link flagged for its velocity is quarantined too (410 under review until an admin releases it)"},
    // the loop check
    {"own-hosts", Text{&Settings::ownHosts, "HOSTS", CheckOwnHosts}, "", kServe | kImport,
     "more names of this service, comma-separated (a proxy's own name, another address it is reached by): "
     "addresses on them (any port) are refused, as on the public host"},
    {"client-package", Text{&Settings::clientPackage, "FILE"}, "", kServe,
     "the Windows program's release zip: offered at /download/ under the file's own name (links followed), with a "
     "Snipora.ini added that points it at the public host"},
    {"trusted-proxies", Text{&Settings::trustedProxies, "RANGES", CheckRanges}, "", kServe,
     "reverse proxies (IP addresses and CIDR ranges, comma-separated) whose X-Forwarded-For or Forwarded header "
     "names the client; the limits and the access log then use that address"},
    {"threads", Number{&Settings::threads, 1, 64}, "2", kServe, "threads answering requests (epoll each)"},
    {"creations-per-minute", Number{&Settings::creationsPerMinute, 0, 1000000}, "60", kServe,
     "creations allowed per client address per minute, then 429 (0: no limit)"},
    {"max-connections", Number{&Settings::maxConnections, 1, 100000}, "1000", kServe, "open connections at most"},
    {"per-ip-connections", Number{&Settings::perIpConnections, 0, 100000}, "200", kServe,
     "open connections per client address at most; trusted proxies are not limited (0: no limit)"},
    {"idle-timeout", Number{&Settings::idleTimeout, 1, 3600}, "30", kServe,
     "seconds a connection may stay silent while a request or an answer is under way"},
    {"head-timeout", Number{&Settings::headTimeout, 1, 3600}, "10", kServe,
     "seconds a client has to send a whole request head, from its connection or its previous answer (cuts off "
     "dribbling and idle clients)"},
    {"connection-memory", Number{&Settings::connectionMemory, 4096, 1 << 24}, "32768", kServe,
     "bytes per connection for the request line and headers; a longer head is refused (431 or 414). Up to 32768 "
     "they come from the heap, above from a mapping of their own per connection (slower)"},
    {"max-body", Number{&Settings::maxBodyBytes, 1024, 1 << 24}, "16384", kServe,
     "bytes of a request body (POST, PATCH) at most (413 beyond)"},
    {"batch", Number{&Settings::maxBatch, 1, 100000}, "1024", kServe, "creations committed together at most"},
    {"gather-us", Number{&Settings::gatherMicroseconds, 0, 1000000}, "2000", kServe,
     "microseconds the writer waits for as many creations as its last commit held (0: never waits)"},
    {"click-flush-ms", Number{&Settings::clickFlushMs, 10, 3600000}, "1000", kServe,
     "milliseconds between writes of counted clicks (and their counts per day); the clicks counted since the last "
     "write are lost on a kill or a crash, not on SIGTERM"},
    {"cache-size", Number{&Settings::cacheSize, 0, 100000000}, "1000000", kServe,
     "codes kept in memory for redirects, least recently used out, filled from the store at start while there is "
     "room (about 170 bytes each with 90-byte addresses; 0: every redirect asks the store)"},
    {"code-quarantine-days", Number{&Settings::codeQuarantineDays, 0, 36500}, "365", kServe | kCopy | kImport,
     "days a deleted link's code is held back: no alias nor random code takes it, so old short addresses and "
     "printed QR codes never lead somewhere new (0: given out again at once)"},
    {"analytics", Switch{&Settings::analytics}, "on", kServe,
     "count per link and day the bots, QR visits, different visitors, referring hosts, countries, browsers, "
     "systems and devices besides the clicks (nothing that names a visitor is kept; docs/privacy.md); off: clicks "
     "alone, crawlers and HEAD included as before"},
    {"geoip-database", Text{&Settings::geoipDatabase, "FILE"}, "", kServe,
     "a MaxMind DB file of countries (GeoLite2 Country, DB-IP's country file) the analytics look clients up in; "
     "none: every country is unknown"},
    {"analytics-flush-ms", Number{&Settings::analyticsFlushMs, 10, 3600000}, "10000", kServe,
     "milliseconds between writes of the analytics (with a write of clicks); what was counted since is lost on a "
     "kill or a crash, not on SIGTERM"},
    {"analytics-retention-days", Number{&Settings::analyticsRetentionDays, 0, 36500}, "400", kServe,
     "days the analytics' per-day dimensions and different-visitor registers are kept, removed in the background "
     "after (0: for ever)"},
    {"clicks-retention-days", Number{&Settings::clicksRetentionDays, 0, 36500}, "0", kServe,
     "days the daily click totals (and bot and QR visit totals) are kept, removed in the background after (0: for "
     "ever); a link's total clicks stay"},
    {"stop-timeout", Number{&Settings::stopTimeout, 0, 3600}, "10", kServe,
     "seconds SIGTERM waits for requests in flight and open connections"},
    {"access-log", Switch{&Settings::accessLog}, "on", kServe,
     "one line per request on standard output: on or off"},
    {"open-creation", Switch{&Settings::openCreation}, "on", kServe,
     "on: anyone may create links (the form, /create.php, /api-create.php, POST /api/v1/links); off: creations need a key "
     "(Authorization: Bearer KEY)"},
    // the wire's hardening
    {"request-timeout", Number{&Settings::requestTimeout, 1, 3600}, "30", kServe,
     "seconds a client has to send a whole request, head and body, from its request line; a slower one is cut off "
     "and logged (a large body over a slow link needs more)"},
    {"allowed-hosts", Text{&Settings::allowedHosts, "HOSTS", CheckHosts}, "", kServe,
     "host names a request may be for (HOST[:PORT], comma-separated, the port not compared; * for any), else 421, "
     "/healthz excepted; none: the public host and the listen address, with localhost, 127.0.0.1 and ::1 when that "
     "is a loopback or wildcard address. A name a proxy or a DNS alias reaches the service by must be listed"},
    // the console
    {"session-idle", Number{&Settings::sessionIdle, 60, 31 * 86400}, "28800", kServe,
     "seconds a console session may go unused before it ends (8 hours by default)"},
    {"session-max", Number{&Settings::sessionMax, 60, 366 * 86400}, "604800", kServe,
     "seconds a console session lasts at most from its sign-in, used or not (7 days by default)"},
    {"oidc-issuer", Text{&Settings::oidcIssuer, "URL", CheckIssuer}, "", kServe,
     "the OpenID Connect provider people sign in to the console through (its configuration read from "
     "URL/.well-known/openid-configuration; the redirect address is the public address and /console/callback); "
     "none: a sign-in with an API key alone"},
    {"oidc-client-id", Text{&Settings::oidcClientId, "ID"}, "", kServe,
     "this service's client id at the provider"},
    {"oidc-client-secret-file", Text{&Settings::oidcClientSecretFile, "FILE"}, "", kServe,
     "a file holding the client's secret (its first line), so that the secret is never on a command line"},
    {"oidc-groups-claim", Text{&Settings::oidcGroupsClaim, "NAME"}, "groups", kServe,
     "the ID token's claim that lists the person's groups"},
    {"oidc-admin-group", Text{&Settings::oidcAdminGroup, "GROUP"}, "", kServe,
     "a member of this group signs in as an admin"},
    {"oidc-creator-group", Text{&Settings::oidcCreatorGroup, "GROUP"}, "", kServe,
     "only members of this group (or of the admin group) may sign in; none: everyone the provider signs in is a "
     "creator"},
    {"from", Text{&Settings::from, "STORE|FORMAT"}, "", kCopy | kImport | kBackup,
     "copy: the store to copy from (as --database); restore: the backup file to read; import: the format of "
     "the file, yourls (a mysqldump of yourls_url), shlink (its web client's CSV), kutt (GET /api/v2/links "
     "pages) or snipora (export --format jsonl); none: the four-column CSV"},
    {"format", Text{&Settings::format, "csv|jsonl", CheckFormat}, "csv", kExport,
     "export: csv (code,address,created,clicks of one domain) or jsonl (every link whole, a JSON object a line)"},
    {"dry-run", Switch{&Settings::dryRun}, "off", kImport, "import: say what would be done, and write nothing"},
    {"to", Text{&Settings::to, "STORE"}, "", kCopy | kBackup,
     "copy: the store to copy into (as --database); backup: the file to write"},
    {"output", Text{&Settings::output, "FILE"}, "-", kExport, "export: the CSV file to write (-: standard output)"},
    {"input", Text{&Settings::input, "FILE"}, "-", kImport, "import: the CSV file to read (-: standard input)"},
    {"name", Text{&Settings::keyName, "NAME", CheckKeyName}, "", kKey, "key create: the new key's name"},
    {"role", Text{&Settings::keyRole, "admin|creator", CheckRole}, "creator", kKey,
     "key create: admin (every operation) or creator (creates links and manages its own)"},
    {"reason", Text{&Settings::reason, "TEXT"}, "", kLink, "link disable: why, for operators (the link's private note)"},
    {"public-note", Text{&Settings::publicNote, "TEXT"}, "", kLink,
     "link disable: a sentence shown on the link's 410 page"},
    {"at", Text{&Settings::at, "TIME", CheckTime}, "", kLink,
     "link expire: when, as 2026-12-31T00:00:00Z (UTC) or seconds since 1970"},
    {"created-after", Text{&Settings::createdAfter, "TIME", CheckTime}, "", kLink, "link list: made after this time"},
    {"created-before", Text{&Settings::createdBefore, "TIME", CheckTime}, "", kLink, "link list: made before this time"},
    {"host", Text{&Settings::host, "HOST"}, "", kLink, "link list: links to this host"},
    {"disabled", Text{&Settings::disabled, "true|false", CheckBoolean}, "", kLink, "link list: only disabled (true) or not (false)"},
    {"limit", Number{&Settings::limit, 1, 1000}, "100", kLink, "link list: links shown at most"},
    {"config", ConfigFile{}, "", kEvery,
     "a file of the service's options, one NAME = VALUE a line (# comments); the command line wins over it"},
};

struct CommandName {
  const char* word;  // one word, or two ("key create")
  Command command;
  unsigned bit;
  std::size_t operands = 0;  // words it takes after its options' names
  bool operandsOptional = false;
};
constexpr CommandName kCommands[] = {
    {"copy", Command::kCopy, kCopy},
    {"export", Command::kExport, kExport},
    {"import", Command::kImport, kImport, 1, true},  // [FILE]
    {"backup", Command::kBackup, kBackup},
    {"restore", Command::kRestore, kBackup},
    {"key create", Command::kKeyCreate, kKey},
    {"key list", Command::kKeyList, kKey},
    {"key revoke", Command::kKeyRevoke, kKey, 1},
    {"link show", Command::kLinkShow, kLink, 1},
    {"link list", Command::kLinkList, kLink},
    {"link disable", Command::kLinkDisable, kLink, 1},
    {"link enable", Command::kLinkEnable, kLink, 1},
    {"link expire", Command::kLinkExpire, kLink, 1},
    {"link delete", Command::kLinkDelete, kLink, 1},
    {"link release", Command::kLinkRelease, kLink, 1},
    {"link takedown", Command::kLinkTakedown, kLink, 1},
};

const Option* FindOption(std::string_view name) {
  for (const Option& option : kOptions)
    if (name == option.name) return &option;
  return nullptr;
}

// Sets `option` from `text`; what is wrong, after the option's name, when the
// value is refused (" takes a number from 1 to 64, not 'x'").
std::string Set(const Option& option, Settings& settings, const std::string& text) {
  return std::visit(
      [&](const auto& value) -> std::string {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, Number>) {
          uint32_t number = 0;
          const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), number);
          if (text.empty() || status != std::errc() || end != text.data() + text.size() || number < value.min ||
              number > value.max)
            return " takes a number from " + std::to_string(value.min) + " to " + std::to_string(value.max) +
                   ", not '" + text + "'";
          settings.*(value.field) = number;
        } else if constexpr (std::is_same_v<T, Switch>) {
          if (text != "on" && text != "off") return " takes on or off, not '" + text + "'";
          settings.*(value.field) = text == "on";
        } else if constexpr (std::is_same_v<T, Text>) {
          if (text.empty() && *option.defaultValue) return " needs a value";
          if (value.check && !text.empty())
            if (std::string why = value.check(text); !why.empty()) return " " + why;
          std::string& field = settings.*(value.field);
          field = value.repeats && !field.empty() ? field + "," + text : text;
        }
        return {};
      },
      option.value);
}

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The service's options from a NAME = VALUE file; the first fault, naming
// the file, the line and the option.
std::string ReadConfigFile(const std::string& path, Settings& settings) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "cannot read the configuration file " + path;
  std::string line;
  for (unsigned number = 1; std::getline(in, line); ++number) {
    std::string_view text = line;
    if (number == 1 && text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a byte-order mark
    text = Trim(text);
    if (text.empty() || text[0] == '#') continue;
    const std::string where = path + ":" + std::to_string(number) + ": ";
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos) return where + "expected NAME = VALUE, not '" + std::string(text) + "'";
    const std::string name(Trim(text.substr(0, eq)));
    const Option* option = FindOption(name);
    if (!option || !(option->commands & kServe) || std::holds_alternative<ConfigFile>(option->value))
      return where + "unknown option '" + name + "'";
    if (std::string error = Set(*option, settings, std::string(Trim(text.substr(eq + 1)))); !error.empty())
      return where + name + error;
  }
  if (in.bad()) return "cannot read the configuration file " + path;
  return {};
}

std::string ArgumentOf(const Option& option) {
  return std::visit(
      [&](const auto& value) -> std::string {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, Number>) return "NUMBER";
        else if constexpr (std::is_same_v<T, Switch>) return "on|off";
        else if constexpr (std::is_same_v<T, ConfigFile>) return "FILE";
        else return value.metavar;
      },
      option.value);
}

std::string CommandsOf(const Option& option) {
  std::string names;
  for (const CommandName& command : kCommands)
    if (option.commands & command.bit) names += std::string(names.empty() ? "" : ", ") + command.word;
  return names;
}

}  // namespace

const char kCommandsHelp[] =
    "Moving links:\n"
    "  snipora-service copy --from STORE --to STORE\n"
    "  snipora-service export [--database STORE] [--output FILE|-] [--format csv|jsonl] [--domain HOST]\n"
    "  snipora-service import [--database STORE] [--input FILE|-]\n"
    "                         [--public-host HOST] [--listen HOST:PORT] [--own-hosts HOSTS]\n"
    "  snipora-service import --from yourls|shlink|kutt|snipora FILE [--domain HOST] [--dry-run]\n"
    "copy moves every link with its code, creation time, clicks, owner and life (disabled, notes,\n"
    "expiry, max_clicks), and the codes of deleted links, between two stores (each an SQLite\n"
    "path or a postgresql:// address); export writes CSV (code,address,created,clicks; created as\n"
    "YYYY-MM-DDTHH:MM:SSZ), import reads it, checking every row before storing any. A link already\n"
    "there is left as it is, so running either again changes nothing; a code or address that is\n"
    "another link's there, or a code held back there after a deletion (--code-quarantine-days), is\n"
    "reported and skipped, and the exit status is then 1. export and import take the store from\n"
    "--config FILE too. import refuses a link to the service's own names, as a creation does: give\n"
    "it the service's --config, or its --public-host, --listen and --own-hosts.\n"
    "Backups of the store --database or --config names:\n"
    "  snipora-service backup --to FILE      a consistent copy of an SQLite store while it serves\n"
    "  snipora-service restore --from FILE   a backup into an empty SQLite store\n"
    "A PostgreSQL store is backed up with pg_dump (see operating.md).\n"
    "export --format jsonl writes every link whole (domain, code, address, times, clicks and their days,\n"
    "title, tags, notes, state, owner), one JSON object a line; import --from snipora reads it back.\n"
    "import --from reads another shortener's export: each link keeps its code, title, tags, time and\n"
    "clicks, on its own domain, or on --domain HOST where the export names none (YOURLS, Kutt's own);\n"
    "a code there already for another address, and an address a creation would refuse, are listed and\n"
    "not imported; a second run, or one resumed after an interruption, adds nothing twice. For export\n"
    "and import, --domain on the command line names the domain of their links; the --config file's\n"
    "domain lines are the service's. Links on another domain are named DOMAIN/CODE by link show, link\n"
    "disable, link enable, link expire and link delete.\n"
    "Keys of the API (Authorization: Bearer KEY), in the store --database or --config names:\n"
    "  snipora-service key create --name NAME [--role admin|creator]   prints the new key, once\n"
    "  snipora-service key list\n"
    "  snipora-service key revoke NAME\n"
    "Links, in the same store; each change reaches the running instances within a second:\n"
    "  snipora-service link show CODE                     the link as JSON\n"
    "  snipora-service link list [--created-after TIME] [--created-before TIME] [--host HOST]\n"
    "                            [--disabled true|false] [--limit N]\n"
    "  snipora-service link disable CODE [--reason TEXT] [--public-note TEXT]   answers 410 from then on\n"
    "  snipora-service link enable CODE\n"
    "  snipora-service link release CODE   out of review, never put back by the same feed entry\n"
    "  snipora-service link takedown CODE  disabled, its reason for review kept in its private note\n"
    "  snipora-service link expire CODE --at TIME\n"
    "  snipora-service link delete CODE\n";

std::optional<std::vector<ThreatFeedSource>> ParseThreatFeeds(const std::string& text, std::string* error) {
  std::vector<ThreatFeedSource> feeds;
  std::size_t start = 0;
  while (start <= text.size() && !text.empty()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const std::string piece = text.substr(start, comma - start);
    start = comma + 1;
    const std::size_t eq = piece.find('=');
    const std::string name = piece.substr(0, eq);
    const std::string url = eq == std::string::npos ? "" : piece.substr(eq + 1);
    const bool nameFits = !name.empty() && name.size() <= 64 &&
                          name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.") ==
                              std::string::npos;
    const bool urlFits = url.starts_with("http://") || url.starts_with("https://");
    if (!nameFits || !urlFits) {
      if (error)
        *error = "takes NAME=URL (NAME of letters, digits, '-', '_' or '.'; an http or https URL), not '" + piece + "'";
      return std::nullopt;
    }
    for (const ThreatFeedSource& before : feeds)
      if (before.name == name) {
        if (error) *error = "names the feed '" + name + "' twice";
        return std::nullopt;
      }
    feeds.push_back({name, url});
  }
  return feeds;
}

Settings::Settings() {
  for (const Option& option : kOptions)
    if (!Set(option, *this, option.defaultValue).empty())
      throw std::logic_error(std::string("the default of --") + option.name + " is refused by its own rule");
}

std::optional<ListenAddress> ParseListen(const std::string& text) {
  std::size_t colon;
  ListenAddress address;
  if (!text.empty() && text[0] == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') return std::nullopt;
    address.host = text.substr(1, close - 1);
    colon = close + 1;
  } else {
    colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    address.host = text.substr(0, colon);
  }
  const std::string port = text.substr(colon + 1);
  unsigned value = 0;
  const auto [end, status] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (port.empty() || status != std::errc() || end != port.data() + port.size() || value > 65535) return std::nullopt;
  address.port = uint16_t(value);
  return address;
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  ParsedCommandLine parsed;
  std::size_t i = 0;
  unsigned bit = kServe;
  const CommandName* found = nullptr;
  if (!arguments.empty() && !arguments[0].starts_with("-")) {
    const std::string two = arguments.size() > 1 ? arguments[0] + " " + arguments[1] : "";
    for (const CommandName& command : kCommands) {
      if (arguments[0] == command.word) found = &command, i = 1;
      if (two == command.word) found = &command, i = 2;
    }
    if (!found) {
      parsed.error = "unknown command '" + (two.empty() ? arguments[0] : two) + "'";
      return parsed;
    }
    parsed.command = found->command;
    bit = found->bit;
  }
  // the command line's values are set after the file's: the command line wins
  std::vector<std::pair<const Option*, std::string>> given;
  std::string config;
  for (; i < arguments.size(); ++i) {
    std::string argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      parsed.help = true;
      continue;
    }
    std::string value;
    bool hasValue = false;
    if (const std::size_t eq = argument.find('='); eq != std::string::npos) {
      value = argument.substr(eq + 1);
      argument = argument.substr(0, eq);
      hasValue = true;
    }
    if (!argument.starts_with("-") && found && parsed.operands.size() < found->operands) {
      parsed.operands.push_back(arguments[i]);
      continue;
    }
    const Option* option = argument.starts_with("--") ? FindOption(argument.substr(2)) : nullptr;
    if (!option || !(option->commands & bit)) {
      parsed.error = argument.starts_with("--") ? "unknown option '" + argument + "'"
                                                : "unexpected argument '" + argument + "'";
      return parsed;
    }
    // a switch alone is on
    if (!hasValue && std::holds_alternative<Switch>(option->value) &&
        (i + 1 >= arguments.size() || (arguments[i + 1] != "on" && arguments[i + 1] != "off"))) {
      value = "on";
      hasValue = true;
    }
    if (!hasValue) {
      if (i + 1 >= arguments.size()) {
        parsed.error = argument + " needs a value";
        return parsed;
      }
      value = arguments[++i];
    }
    if (std::holds_alternative<ConfigFile>(option->value))
      config = value;
    else
      given.emplace_back(option, value);
  }
  if (parsed.help) return parsed;
  if (!config.empty()) {
    parsed.error = ReadConfigFile(config, parsed.settings);
    if (!parsed.error.empty()) return parsed;
  }
  // a list given on the command line takes the file's place
  for (const auto& [option, value] : given)
    if (const Text* text = std::get_if<Text>(&option->value); text && text->repeats && !(bit & (kExport | kImport)))
      parsed.settings.*(text->field) = "";
  for (const auto& [option, value] : given) {
    // export's and import's own domain; the service's come from --config
    if (std::string_view(option->name) == "domain" && (bit & (kExport | kImport))) {
      if (std::string why = CheckDomain(value); !why.empty()) {
        parsed.error = "--domain " + why;
        return parsed;
      }
      parsed.settings.importDomain = value;
      continue;
    }
    if (std::string error = Set(*option, parsed.settings, value); !error.empty()) {
      parsed.error = "--" + std::string(option->name) + error;
      return parsed;
    }
  }
  if (parsed.command == Command::kCopy && (parsed.settings.from.empty() || parsed.settings.to.empty()))
    parsed.error = "copy needs --from and --to";
  if (parsed.command == Command::kBackup && parsed.settings.to.empty()) parsed.error = "backup needs --to";
  if (parsed.command == Command::kRestore && parsed.settings.from.empty()) parsed.error = "restore needs --from";
  if (parsed.command == Command::kKeyCreate && parsed.settings.keyName.empty())
    parsed.error = "key create needs --name";
  if (parsed.command == Command::kLinkExpire && parsed.settings.at.empty()) parsed.error = "link expire needs --at";
  if (found && !found->operandsOptional && parsed.operands.size() < found->operands)
    parsed.error = std::string(found->word) + " needs " + std::to_string(found->operands) + " more word(s)";
  return parsed;
}

std::string HelpText() {
  std::string text =
      "usage: snipora-service [--OPTION VALUE]...\n"
      "       snipora-service copy|export|import|backup|restore [--OPTION VALUE]...\n"
      "       snipora-service key create|list|revoke [NAME] [--OPTION VALUE]...\n"
      "       snipora-service link show|list|disable|enable|expire|delete [CODE] [--OPTION VALUE]...\n"
      "A URL-shortening service: GET /create.php?url=... answers the short address,\n"
      "GET /CODE redirects to the long one. Options (default in brackets); the\n"
      "service's may also be written in the --config file as NAME = VALUE:\n";
  for (const Option& option : kOptions) {
    if (!(option.commands & kServe)) continue;
    std::string head = "  --" + std::string(option.name);
    head.resize(std::max<std::size_t>(head.size() + 1, 26), ' ');
    text += head + option.help;
    if (!std::holds_alternative<ConfigFile>(option.value))
      text += " [" + std::string(*option.defaultValue ? option.defaultValue : "none") + "]";
    text += "\n";
  }
  text += "  --help                  this text\n"
          "Signals: SIGHUP reads the deny list again; SIGTERM and SIGINT stop accepting,\n"
          "answer the requests in flight and write the counted clicks.\n";
  return text + kCommandsHelp;
}

std::vector<OptionDoc> DescribeOptions() {
  std::vector<OptionDoc> docs;
  for (const Option& option : kOptions)
    docs.push_back({option.name, ArgumentOf(option), option.defaultValue, option.help,
                    (option.commands & kServe) && !std::holds_alternative<ConfigFile>(option.value),
                    CommandsOf(option)});
  return docs;
}

std::vector<std::string> Webhooks(const Settings& settings) {
  std::vector<std::string> urls;
  for (std::size_t start = 0; start < settings.webhooks.size();) {
    const std::size_t comma = std::min(settings.webhooks.find(',', start), settings.webhooks.size());
    if (comma > start) urls.push_back(settings.webhooks.substr(start, comma - start));
    start = comma + 1;
  }
  return urls;
}

}  // namespace snipora::service
