#pragma once
// Every option of snipora-service and its commands, as one table
// (settings.cpp): its name, default, bounds, which commands take it and what
// it means. The command line and the --config file are read through it,
// --help prints it, and the manual page and the packaged configuration file
// are generated from it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace snipora::service {

// What one run of the program does: serve (no command word), or one of the
// commands that move links or manage keys.
enum class Command {
  kServe,
  kCopy,
  kExport,
  kImport,
  kBackup,
  kRestore,
  kKeyCreate,
  kKeyList,
  kKeyRevoke,
  kLinkShow,
  kLinkList,
  kLinkDisable,
  kLinkEnable,
  kLinkExpire,
  kLinkDelete,
  kLinkRelease,
  kLinkTakedown,
};

struct Settings {
  Settings();  // every option at its default, as the table declares it

  // the service
  std::string listen;
  std::string database;
  std::string publicHost;
  std::string domains;  // --domain, each given, comma-separated; "": the public host alone
  std::string denyList;
  std::string threatFeeds;  // --threat-feed, each given, comma-separated (ParseThreatFeeds)
  uint32_t threatFeedInterval;
  std::string webhooks;           // --webhook, each given, comma-separated (Webhooks)
  std::string webhookSecretFile;
  std::string reputationZones;     // --reputation-zone, each given, comma-separated
  std::string reputationResolver;  // ADDRESS:PORT; "": the system's
  uint32_t velocityLimit;
  bool velocityQuarantine;
  std::string clientPackage;
  std::string trustedProxies;
  uint32_t threads;
  uint32_t creationsPerMinute;
  uint32_t maxConnections;
  uint32_t perIpConnections;
  uint32_t idleTimeout;
  uint32_t headTimeout;
  uint32_t connectionMemory;
  uint32_t maxBodyBytes;
  uint32_t maxBatch;
  uint32_t gatherMicroseconds;
  uint32_t clickFlushMs;
  uint32_t stopTimeout;
  uint32_t cacheSize;
  uint32_t codeQuarantineDays;
  // analytics (links/visit_counts.h)
  bool analytics;
  std::string geoipDatabase;
  uint32_t analyticsRetentionDays, clicksRetentionDays, analyticsFlushMs;
  bool accessLog;
  bool openCreation;
  // the wire's hardening: whole requests in time, the names answered for
  uint32_t requestTimeout;
  std::string allowedHosts;  // "": the public host and the listen address
  // the console's sessions: seconds idle, and in all, before one ends
  uint32_t sessionIdle;
  uint32_t sessionMax;
  // signing in through an OpenID Connect provider ("" issuer: none)
  std::string oidcIssuer, oidcClientId, oidcClientSecretFile;
  std::string oidcGroupsClaim, oidcAdminGroup, oidcCreatorGroup;

  // the loop check's names besides the public host and the listen address
  // (the service and import)
  std::string ownHosts;

  // the commands on keys
  std::string keyName;
  std::string keyRole;

  // the commands on links
  std::string reason, publicNote, at;
  std::string createdAfter, createdBefore, host, disabled;
  uint32_t limit;

  // the commands that move links
  std::string from, to;
  std::string input, output;
  std::string format;        // export: csv or jsonl
  std::string importDomain;  // export and import: --domain on their command line
  bool dryRun;
};

struct ParsedCommandLine {
  Command command = Command::kServe;
  Settings settings;
  std::vector<std::string> operands;  // the words after a command that takes some ("key revoke NAME")
  bool help = false;
  std::string error;  // non-empty: the command line or the configuration file was wrong
};
// The arguments after the program's name: an optional command word, then
// --NAME VALUE or --NAME=VALUE. --config FILE reads `name = value` lines
// first; what the command line says wins.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);
std::string HelpText();

// The table as documentation (the manual page, the configuration file).
struct OptionDoc {
  std::string name;
  std::string argument;      // what the value is: "NUMBER", "on|off", ...
  std::string defaultValue;  // "" for none
  std::string help;
  bool inConfigFile;         // an option of the service, read from --config too
  std::string commands;      // the commands that take it besides the service: "export, import"
};
std::vector<OptionDoc> DescribeOptions();
// The commands that move links, with their options, as --help prints them.
extern const char kCommandsHelp[];

// --webhook's values, in the order given (their place is an outbox event's
// target).
std::vector<std::string> Webhooks(const Settings& settings);

// --threat-feed's values: NAME=URL each, comma-separated; nothing (and why
// in `error`) when one is malformed or a name is given twice.
struct ThreatFeedSource {
  std::string name, url;
};
std::optional<std::vector<ThreatFeedSource>> ParseThreatFeeds(const std::string& text, std::string* error = nullptr);

struct ListenAddress {
  std::string host;  // an IPv4 or IPv6 literal
  uint16_t port = 0;
};
// "HOST:PORT" or "[V6]:PORT".
std::optional<ListenAddress> ParseListen(const std::string& text);

}  // namespace snipora::service
