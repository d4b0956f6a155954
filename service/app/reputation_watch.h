#pragma once
// The service's own names on DNS blocklists: each public host (a name, not
// an IP address) looked up in each --reputation-zone at start and every hour,
// on a thread of its own. A listing is logged when it starts and ends, and
// /metrics shows the listings in force.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "service/base/metrics.h"
#include "service/http/dns_lookup.h"

namespace snipora::service {

class ReputationWatch {
 public:
  ReputationWatch(std::vector<std::string> hosts, std::vector<std::string> zones, DnsServer resolver,
                  Metrics& metrics, std::chrono::seconds interval = std::chrono::hours(1));
  ~ReputationWatch();  // Stop()
  ReputationWatch(const ReputationWatch&) = delete;
  ReputationWatch& operator=(const ReputationWatch&) = delete;
  // Called on the watch's thread when a listing starts (before Start).
  void OnListed(std::function<void(const std::string& host, const std::string& zone)> listed) {
    listed_callback_ = std::move(listed);
  }
  void Start();  // nothing without zones or hosts
  void Stop();

 private:
  void Run();
  void CheckAll();

  const std::vector<std::string> hosts_, zones_;
  const DnsServer resolver_;
  Metrics& metrics_;
  const std::chrono::seconds interval_;
  std::set<std::string> listed_;  // "HOST ZONE", the thread's own
  std::function<void(const std::string&, const std::string&)> listed_callback_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace snipora::service
