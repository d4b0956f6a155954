#include "service/app/reputation_watch.h"

#include <utility>

#include "service/base/log.h"

namespace snipora::service {

ReputationWatch::ReputationWatch(std::vector<std::string> hosts, std::vector<std::string> zones, DnsServer resolver,
                                 Metrics& metrics, std::chrono::seconds interval)
    : hosts_(std::move(hosts)),
      zones_(std::move(zones)),
      resolver_(std::move(resolver)),
      metrics_(metrics),
      interval_(interval) {}

ReputationWatch::~ReputationWatch() { Stop(); }

void ReputationWatch::Start() {
  if (hosts_.empty() || zones_.empty() || thread_.joinable()) return;
  thread_ = std::thread([this] { Run(); });
}

void ReputationWatch::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ReputationWatch::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    CheckAll();
    lock.lock();
    wake_.wait_for(lock, interval_, [this] { return stopping_; });
  }
}

void ReputationWatch::CheckAll() {
  for (const std::string& host : hosts_) {
    for (const std::string& zone : zones_) {
      std::string error;
      const DnsAnswer answer = LookUp(resolver_, host + "." + zone, &error);
      const std::string pair = host + " " + zone;
      if (answer.outcome == DnsAnswer::kFailed) {
        Metrics::Add(metrics_.reputationFailures);
        Log(LogLevel::kWarning, "reputation of " + host + " in " + zone + " not known: " + error);
      } else if (answer.outcome == DnsAnswer::kListed && listed_.insert(pair).second) {
        std::string codes;
        for (const std::string& address : answer.addresses) codes += (codes.empty() ? "" : ", ") + address;
        Log(LogLevel::kWarning, host + " is listed by " + zone + " (" + codes + ")");
        if (listed_callback_) listed_callback_(host, zone);
      } else if (answer.outcome == DnsAnswer::kNotListed && listed_.erase(pair) > 0) {
        Log(LogLevel::kInfo, host + " is no longer listed by " + zone);
      }
    }
  }
  metrics_.reputationListings = listed_.size();
}

}  // namespace snipora::service
