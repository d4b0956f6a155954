#include "service/app/velocity_watch.h"

#include <ctime>
#include <optional>
#include <utility>

#include "service/base/log.h"

namespace snipora::service {
namespace {

constexpr int64_t kYoungSeconds = 86400;

}  // namespace

VelocityWatch::VelocityWatch(uint32_t limitPerMinute, bool quarantine, Store& store, Metrics& metrics,
                             std::function<int64_t()> now)
    : limit_(limitPerMinute), quarantine_(quarantine), store_(store), metrics_(metrics), now_(std::move(now)) {}

void VelocityWatch::Observe(const std::vector<ClickCount>& counts) {
  const int64_t now = now_ ? now_() : int64_t(std::time(nullptr));
  if (now / 60 != minute_) {
    minute_ = now / 60;
    thisMinute_.clear();
    std::erase_if(judged_, [&](const auto& entry) { return entry.second <= now - kYoungSeconds; });
  }
  for (const ClickCount& count : counts) {
    int64_t& clicks = thisMinute_[count.code];
    clicks += count.clicks;
    if (clicks > limit_ && !judged_.contains(count.code)) Judge(count.code, clicks, now);
  }
}

void VelocityWatch::Judge(const std::string& key, int64_t clicks, int64_t now) {
  std::optional<Link> link;
  try {
    link = store_.FindCode(key);
  } catch (const StoreError& error) {
    Log(LogLevel::kError, "velocity of " + key + " not judged, tried at its next clicks: " + error.what());
    return;
  }
  judged_[key] = now;
  if (!link || link->created <= now - kYoungSeconds) return;
  Metrics::Add(metrics_.velocityFlagged);
  Log(LogLevel::kWarning, "link " + key + " flagged for review: " + std::to_string(clicks) +
                              " clicks within a minute, " + std::to_string(now - link->created) +
                              " s after it was made");
  if (!quarantine_) return;
  try {
    const std::string reason = "velocity: more than " + std::to_string(limit_) + " clicks a minute";
    const std::vector<QuarantineAsk> ask = {{key, reason}};
    Metrics::Add(metrics_.quarantined, store_.QuarantineLinks(ask).size());
  } catch (const StoreError& error) {
    judged_.erase(key);  // judged again at its next clicks
    Log(LogLevel::kError, "link " + key + " not quarantined: " + error.what());
  }
}

}  // namespace snipora::service
