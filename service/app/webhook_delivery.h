#pragma once
// The webhooks' delivery: a thread of its own takes due events from the
// store's outbox (claimed with a lease, so that of several instances one
// sends each), POSTs each signed to its receiver with short time-outs, and
// removes it once answered 2xx. A failure is tried again with a doubling
// wait; an event still failing a day after its change is dropped, logged and
// counted. Requests never wait for any of it: they only write the outbox.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "service/base/metrics.h"
#include "service/store/store.h"

namespace snipora::service {

struct WebhookTiming {
  std::chrono::milliseconds poll{500};   // between looks at the outbox when idle
  long timeoutSeconds = 5;               // of one POST, connecting included
  int64_t firstRetry = 5;                // seconds before the second attempt; doubling
  int64_t longestRetry = 6 * 3600;       // the wait's bound
  int64_t giveUpAfter = 24 * 3600;       // seconds after the change
  int batch = 4;                         // events claimed at once
  int64_t lease = 30;                    // seconds: longer than a batch's POSTs
};

class WebhookDelivery {
 public:
  // `shortAddress` makes a link's short address from its key.
  WebhookDelivery(std::vector<std::string> urls, std::string key, Store& store, Metrics& metrics,
                  std::function<std::string(const std::string&)> shortAddress, WebhookTiming timing = {});
  ~WebhookDelivery();  // Stop()
  WebhookDelivery(const WebhookDelivery&) = delete;
  WebhookDelivery& operator=(const WebhookDelivery&) = delete;
  void Start();  // nothing without receivers
  void Stop();

  // The JSON an event is sent as (the same on every attempt).
  static std::string Body(const OutboxEvent& event, const std::string& shortAddress);

 private:
  void Run();
  // One claimed batch delivered; false when there was none (or the store failed).
  bool DeliverDue();
  void Deliver(const OutboxEvent& event, int64_t now);

  const std::vector<std::string> urls_;
  const std::string key_;
  Store& store_;
  Metrics& metrics_;
  const std::function<std::string(const std::string&)> shortAddress_;
  const WebhookTiming timing_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace snipora::service
