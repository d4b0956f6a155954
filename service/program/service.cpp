#include "service/program/service.h"

#include <sys/random.h>

#include <algorithm>
#include <ctime>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "service/app/webhook_signature.h"
#include "service/base/log.h"
#include "service/core/host_form.h"
#include "service/store/open_store.h"

namespace snipora::service {
namespace {

// How often the log of changes is read where the store cannot tell of a
// change (SQLite, shared with the command line): four times a second keeps
// "within a second" with room.
constexpr auto kChangePoll = std::chrono::milliseconds(250);
// Where it can (PostgreSQL's notifications), the log is still read this
// often, for a notification missed while the listening connection was down.
constexpr auto kChangePollBesideNotes = std::chrono::seconds(1);
// The start-up fill of the cache stops after this many codes found no room:
// with 16 shards that is most of them full, and reading on would only cost
// the store.
constexpr std::size_t kFullFindsToStopFill = 64;
// How often a stop looks whether the transport is idle yet, and how long it
// gives the answers of the writer's last commits to be sent.
constexpr auto kIdlePoll = std::chrono::milliseconds(10);
constexpr auto kLastAnswersGrace = std::chrono::seconds(1);

AddressRanges TrustedProxies(const std::string& text) {
  std::string error;
  std::optional<AddressRanges> ranges = AddressRanges::Parse(text, &error);
  if (!ranges) throw std::runtime_error("--trusted-proxies " + error);
  return std::move(*ranges);
}

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The download of each domain names that domain, so the program it holds
// shortens on the domain it came from.
std::vector<ClientPackage> BuildClientPackages(const Settings& settings) {
  std::vector<ClientPackage> packages;
  if (settings.clientPackage.empty()) return packages;
  const Domains domains(settings);
  for (const Domain& domain : domains.all())
    packages.push_back(BuildClientPackage(settings.clientPackage, domain.host));
  return packages;
}

// The day's salt as the store has it (the writer reads it again each new
// day); a salt of this instance's own while the store does not answer.
std::pair<int64_t, HashKey> StartingSalt(Store& store) {
  const int64_t day = int64_t(std::time(nullptr)) / 86400;
  HashKey salt{};
  if (getrandom(salt.data(), salt.size(), 0) != ssize_t(salt.size())) throw std::runtime_error("getrandom failed");
  try {
    const std::string kept = store.DaySalt(day, {reinterpret_cast<const char*>(salt.data()), salt.size()});
    if (kept.size() == salt.size()) std::copy(kept.begin(), kept.end(), salt.begin());
  } catch (const StoreError& error) {
    Log(LogLevel::kWarning, std::string("the day's salt not read at start: ") + error.what());
  }
  return {day, salt};
}

std::vector<ThreatFeedSource> ThreatFeedsOf(const Settings& settings) {
  std::string error;
  std::optional<std::vector<ThreatFeedSource>> feeds = ParseThreatFeeds(settings.threatFeeds, &error);
  if (!feeds) throw std::runtime_error("--threat-feed " + error);
  return std::move(*feeds);
}

// The webhooks' signing key from --webhook-secret-file.
std::string WebhookKeyOf(const Settings& settings) {
  if (settings.webhookSecretFile.empty()) throw std::runtime_error("--webhook needs --webhook-secret-file");
  std::ifstream file(settings.webhookSecretFile, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  if (!file) throw std::runtime_error("--webhook-secret-file " + settings.webhookSecretFile + " could not be read");
  std::optional<std::string> key = WebhookKey(text.str());
  if (!key || key->empty())
    throw std::runtime_error("--webhook-secret-file " + settings.webhookSecretFile +
                             " holds no secret (whsec_ takes base64 after it)");
  return std::move(*key);
}

// The public hosts that are names (a blocklist of domains has no IP addresses).
std::unique_ptr<ReputationWatch> ReputationWatchOf(const Settings& settings, Metrics& metrics) {
  if (settings.reputationZones.empty()) return nullptr;
  std::vector<std::string> hosts, zones;
  const Domains domains(settings);
  for (const Domain& domain : domains.all())
    if (!domain.name.empty() && !IsIpHost(domain.name)) hosts.push_back(domain.name);
  for (std::size_t start = 0; start < settings.reputationZones.size();) {
    const std::size_t comma = std::min(settings.reputationZones.find(',', start), settings.reputationZones.size());
    zones.push_back(settings.reputationZones.substr(start, comma - start));
    start = comma + 1;
  }
  DnsServer resolver = SystemDnsServer();
  if (const std::optional<ListenAddress> given = ParseListen(settings.reputationResolver))
    resolver = {given->host, given->port};
  return std::make_unique<ReputationWatch>(std::move(hosts), std::move(zones), std::move(resolver), metrics);
}

}  // namespace

Service::Service(Settings settings, std::unique_ptr<Store> store, std::FILE* log)
    : settings_(std::move(settings)),
      trustedProxies_(TrustedProxies(settings_.trustedProxies)),
      clientPackages_(BuildClientPackages(settings_)),
      store_(store ? std::move(store) : OpenStore(settings_.database, StoreOptionsOf(settings_))),
      cache_(settings_.cacheSize),
      log_(log ? std::make_unique<AccessLog>(log) : nullptr),
      rateLimit_(settings_.creationsPerMinute) {
  if (const std::string error = ReloadDenyList(); !error.empty()) throw std::runtime_error(error);
  keys_.Replace(store_->ListKeys());
  threatFeeds_ = std::make_unique<ThreatFeeds>(ThreatFeedsOf(settings_), std::chrono::seconds(settings_.threatFeedInterval),
                                               *store_, metrics_, threats_);
  // the versions stored before: in force before any fetch
  threatFeeds_->Reload();
  changes_ = std::make_unique<ChangeFeed>(
      *store_,
      [this](const ChangeNote& note) {
        if (note.kind == "link") {
          cache_.Drop(note.name);
        } else if (note.kind == "key") {
          try {
            keys_.Replace(store_->ListKeys());
          } catch (const StoreError& error) {
            Log(LogLevel::kError, std::string("keys not read again, tried at the next read: ") + error.what());
            return false;
          }
        } else if (note.kind == "feed") {
          return threatFeeds_->Reload();
        }
        return true;
      },
      kChangePoll);
  listener_ = store_->Listen([this] { changes_->Wake(); });
  if (listener_) changes_->SetInterval(kChangePollBesideNotes);
  velocity_ = std::make_unique<VelocityWatch>(settings_.velocityLimit, settings_.velocityQuarantine, *store_, metrics_);
  WriterSettings writing(settings_);
  writing.clicksTaken = [this](const std::vector<ClickCount>& counts) { velocity_->Observe(counts); };
  if (settings_.analytics) {
    if (!settings_.geoipDatabase.empty()) countries_ = std::make_unique<CountryLookup>(settings_.geoipDatabase);
    const auto [day, salt] = StartingSalt(*store_);
    visits_ = std::make_unique<VisitCounts>(countries_.get(), day, salt);
    writing.visits = visits_.get();
  }
  writer_ = std::make_unique<LinkWriter>(*store_, cache_, metrics_, std::move(writing));
  operations_ = std::make_unique<Operations>(Operations::Parts{settings_, *store_, cache_, *writer_, metrics_,
                                                                rateLimit_, keys_,
                                                                clientPackages_,
                                                                denyList_, threats_, visits_.get()});
  if (settings_.analyticsRetentionDays > 0 || settings_.clicksRetentionDays > 0) {
    RetentionSettings keep;
    keep.dimensionDays = settings_.analyticsRetentionDays;
    keep.totalDays = settings_.clicksRetentionDays;
    retention_ = std::make_unique<TallyRetention>(*store_, keep);
  }
  doors_ = OpenEveryDoor(*operations_);
  application_ = std::make_unique<Application>(*operations_, doors_.routes);
  server_ = std::make_unique<HttpTransport>(settings_, trustedProxies_, metrics_, log_.get(), *application_);
  threatFeeds_->Start();
  reputation_ = ReputationWatchOf(settings_, metrics_);
  if (reputation_) {
    reputation_->OnListed([this](const std::string& host, const std::string& zone) {
      try {
        store_->AddEvent("domain.listed", host, zone);
      } catch (const StoreError& error) {
        Log(LogLevel::kError, std::string("webhooks: domain.listed not written: ") + error.what());
      }
    });
    reputation_->Start();
  }
  if (const std::vector<std::string> urls = Webhooks(settings_); !urls.empty()) {
    webhooks_ = std::make_unique<WebhookDelivery>(urls, WebhookKeyOf(settings_), *store_, metrics_,
                                                  [this](const std::string& key) {
                                                    const KeyParts parts = SplitLinkKey(key);
                                                    return operations_->ShortAddress(parts.domain, parts.code);
                                                  });
    webhooks_->Start();
  }
  // With SQLite and a cache as large as the store, no redirect then reads the
  // database; with PostgreSQL an instance starts with as many codes as fit.
  if (settings_.cacheSize > 0)
    warmer_ = std::thread([this] {
      try {
        const auto start = std::chrono::steady_clock::now();
        std::size_t full = 0;  // codes that found their shard full
        store_->ForEachLink([&](const Link& link) {
          if (!cache_.InsertIfRoom(LinkKey(link), LifeOf(link))) ++full;
          return warming_.load(std::memory_order_relaxed) && full < kFullFindsToStopFill;
        });
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        // from here on redirects of the stored codes that fitted read no database
        Log(LogLevel::kInfo, "cache filled from the store: " + std::to_string(cache_.size()) + " codes in " +
                                 std::to_string(took.count()) + " ms");
      } catch (const StoreError& error) {
        Log(LogLevel::kWarning, std::string("the cache was not filled at start: ") + error.what());
      }
      filled_ = true;
      filled_.notify_all();
    });
  else
    filled_ = true;
}

Service::~Service() { Stop(); }

std::string Service::ReloadDenyList() {
  auto list = std::make_shared<DenyList>();
  if (!settings_.denyList.empty()) {
    const std::optional<std::string> text = ReadFile(settings_.denyList);
    if (!text) return "cannot read the deny list " + settings_.denyList;
    *list = DenyList::FromText(*text);
  }
  denyList_.Replace(std::move(list));
  return {};
}

void Service::FlushLog() {
  if (log_) log_->Flush();
}

void Service::Stop() {
  if (stopped_) return;
  stopped_ = true;
  const auto waitIdle = [this](std::chrono::steady_clock::time_point until) {
    while (server_->Busy() && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(kIdlePoll);
  };
  operations_->SetStopping();
  retention_.reset();
  threatFeeds_->Stop();
  if (reputation_) reputation_->Stop();
  if (webhooks_) webhooks_->Stop();
  warming_ = false;
  if (warmer_.joinable()) warmer_.join();
  server_->Quiesce();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(settings_.stopTimeout);
  waitIdle(until);
  // answers every creation still queued; the connections they resume are sent
  writer_->Stop();
  waitIdle(std::max(until, std::chrono::steady_clock::now() + kLastAnswersGrace));
  server_->Stop();
  listener_.reset();
  changes_->Stop();
  FlushLog();
}

}  // namespace snipora::service
