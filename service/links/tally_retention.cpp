#include "service/links/tally_retention.h"

#include <ctime>
#include <exception>
#include <string>

#include "service/base/log.h"

namespace snipora::service {

TallyRetention::TallyRetention(Store& store, RetentionSettings settings)
    : store_(store), settings_(std::move(settings)), thread_([this] { Run(); }) {}

TallyRetention::~TallyRetention() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

int64_t TallyRetention::removed() const {
  std::lock_guard lock(mutex_);
  return removed_;
}

int64_t TallyRetention::passes() const {
  std::lock_guard lock(mutex_);
  return passes_;
}

bool TallyRetention::Wait(std::chrono::milliseconds pause) {
  std::unique_lock lock(mutex_);
  return !wake_.wait_for(lock, pause, [this] { return stopping_; });
}

bool TallyRetention::Pass() {
  const int64_t today = settings_.today ? settings_.today() : int64_t(std::time(nullptr)) / 86400;
  const std::pair<TallyFamily, int64_t> families[] = {{TallyFamily::kDimensions, settings_.dimensionDays},
                                                      {TallyFamily::kTotals, settings_.totalDays}};
  for (const auto& [family, days] : families) {
    if (days <= 0) continue;
    for (;;) {
      int64_t removed = 0;
      try {
        removed = store_.RemoveTalliesBefore(family, today - days, settings_.stepRows);
      } catch (const std::exception& error) {
        Log(LogLevel::kWarning, std::string("analytics past their retention not removed, tried again later: ") +
                                    error.what());
        return true;
      }
      {
        std::lock_guard lock(mutex_);
        removed_ += removed;
      }
      if (!Wait(settings_.pause)) return false;
      if (removed < settings_.stepRows) break;
    }
  }
  std::lock_guard lock(mutex_);
  ++passes_;
  return true;
}

void TallyRetention::Run() {
  while (Pass() && Wait(settings_.every)) {
  }
}

}  // namespace snipora::service
