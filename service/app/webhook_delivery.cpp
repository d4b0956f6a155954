#include "service/app/webhook_delivery.h"

#include <algorithm>
#include <ctime>
#include <utility>

#include "service/app/webhook_signature.h"
#include "service/base/log.h"
#include "service/core/json_body.h"
#include "service/core/utc_time.h"
#include "service/http/webhook_post.h"

namespace snipora::service {

WebhookDelivery::WebhookDelivery(std::vector<std::string> urls, std::string key, Store& store, Metrics& metrics,
                                 std::function<std::string(const std::string&)> shortAddress, WebhookTiming timing)
    : urls_(std::move(urls)),
      key_(std::move(key)),
      store_(store),
      metrics_(metrics),
      shortAddress_(std::move(shortAddress)),
      timing_(timing) {}

WebhookDelivery::~WebhookDelivery() { Stop(); }

void WebhookDelivery::Start() {
  if (urls_.empty() || thread_.joinable()) return;
  thread_ = std::thread([this] { Run(); });
}

void WebhookDelivery::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

std::string WebhookDelivery::Body(const OutboxEvent& event, const std::string& shortAddress) {
  if (event.event.starts_with("domain."))
    return JsonText(Json{{"type", event.event},
                         {"timestamp", IsoUtc(event.at)},
                         {"data", {{"host", event.key}, {"zone", event.actor}}}});
  const KeyParts parts = SplitLinkKey(event.key);
  Json data = {{"code", std::string(parts.code)},
               {"short", shortAddress},
               {"address", event.address},
               {"actor", event.actor}};
  return JsonText(Json{{"type", event.event}, {"timestamp", IsoUtc(event.at)}, {"data", std::move(data)}});
}

void WebhookDelivery::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    const bool more = DeliverDue();
    lock.lock();
    if (!more) wake_.wait_for(lock, timing_.poll, [this] { return stopping_; });
  }
}

bool WebhookDelivery::DeliverDue() {
  const int64_t now = int64_t(std::time(nullptr));
  std::vector<OutboxEvent> events;
  try {
    events = store_.ClaimEvents(now, timing_.lease, timing_.batch);
  } catch (const StoreError& error) {
    Log(LogLevel::kError, std::string("webhooks: the outbox not read, tried again: ") + error.what());
    return false;
  }
  for (const OutboxEvent& event : events) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return false;  // the lease runs out: delivered by the next to claim it
    }
    Deliver(event, now);
  }
  return !events.empty();
}

void WebhookDelivery::Deliver(const OutboxEvent& event, int64_t now) {
  if (event.target < 0 || std::size_t(event.target) >= urls_.size()) {
    // a receiver no longer configured (its place gone): nobody to send it to
    Log(LogLevel::kWarning, "webhooks: event " + std::to_string(event.id) + " for receiver " +
                                std::to_string(event.target) + ", not configured now, dropped");
    Metrics::Add(metrics_.webhooksDropped);
    try {
      store_.EventDone(event.id);
    } catch (const StoreError&) {
    }
    return;
  }
  WebhookPost post;
  post.url = urls_[std::size_t(event.target)];
  post.body = Body(event, event.event.starts_with("domain.") ? std::string() : shortAddress_(event.key));
  post.timeoutSeconds = timing_.timeoutSeconds;
  // the outbox's id: the same on every attempt and from every instance, so a
  // receiver tells an event sent again from a new one
  const std::string id = "msg_" + std::to_string(event.id);
  const int64_t stamp = int64_t(std::time(nullptr));
  post.headers = {{"webhook-id", id},
                  {"webhook-timestamp", std::to_string(stamp)},
                  {"webhook-signature", SignWebhook(key_, id, stamp, post.body)}};
  const WebhookAnswer answer = PostWebhook(post);
  try {
    if (answer.status >= 200 && answer.status < 300) {
      store_.EventDone(event.id);
      Metrics::Add(metrics_.webhooksDelivered);
      return;
    }
    Metrics::Add(metrics_.webhookFailures);
    const std::string why = answer.error.empty() ? "answered HTTP " + std::to_string(answer.status) : answer.error;
    const int64_t wait =
        std::min(timing_.longestRetry, timing_.firstRetry << std::min<int64_t>(event.attempts, 30));
    if (now + wait > event.at + timing_.giveUpAfter) {
      store_.EventDone(event.id);
      Metrics::Add(metrics_.webhooksDropped);
      Log(LogLevel::kError, "webhooks: " + event.event + " of " + event.key + " to " + post.url +
                                " dropped after failing for a day: " + why);
      return;
    }
    store_.EventRetry(event.id, now + wait);
    Log(LogLevel::kWarning, "webhooks: " + event.event + " of " + event.key + " to " + post.url + " failed (" + why +
                                "), tried again in " + std::to_string(wait) + " s");
  } catch (const StoreError& error) {
    // its lease runs out and it is claimed again: at least once
    Log(LogLevel::kError, std::string("webhooks: the outbox not updated: ") + error.what());
  }
}

}  // namespace snipora::service
