#include "service/links/change_feed.h"

#include <string>

#include "service/base/log.h"

namespace snipora::service {
namespace {

// A number not seen this long after a later one is taken for a rolled-back
// transaction's.
constexpr auto kGapPatience = std::chrono::seconds(10);
constexpr int kBatch = 1000;

}  // namespace

ChangeFeed::ChangeFeed(Store& store, std::function<bool(const ChangeNote&)> apply, std::chrono::milliseconds interval)
    : store_(store), apply_(std::move(apply)), intervalMs_(interval.count()), floor_(store.LastChange()) {
  thread_ = std::thread([this] { Run(); });
}

ChangeFeed::~ChangeFeed() { Stop(); }

void ChangeFeed::Wake() {
  std::lock_guard lock(mutex_);
  woken_ = true;
  wake_.notify_one();
}

void ChangeFeed::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    wake_.notify_one();
  }
  if (thread_.joinable()) thread_.join();
}

void ChangeFeed::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    wake_.wait_for(lock, std::chrono::milliseconds(intervalMs_.load()), [this] { return woken_ || stopping_; });
    if (stopping_) return;
    woken_ = false;
    lock.unlock();
    Poll();
    lock.lock();
  }
}

void ChangeFeed::Poll() {
  std::vector<ChangeNote> notes;
  try {
    notes = store_.ChangesSince(floor_, kBatch);
    if (failing_) Log(LogLevel::kInfo, "changes are read again");
    failing_ = false;
  } catch (const StoreError& error) {
    if (!failing_) Log(LogLevel::kWarning, std::string("changes not read, tried again: ") + error.what());
    failing_ = true;
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  for (const ChangeNote& note : notes) {
    if (seen_.contains(note.seq)) continue;
    if (!apply_(note)) break;  // this one and the later ones again next time
    seen_.insert(note.seq);
    missing_.erase(note.seq);
  }
  if (seen_.empty()) return;
  for (int64_t seq = floor_ + 1; seq < *seen_.rbegin(); ++seq)
    if (!seen_.contains(seq)) missing_.emplace(seq, now);
  // the floor rises over what was seen and what was waited for long enough
  while (!seen_.empty() || !missing_.empty()) {
    const int64_t next = floor_ + 1;
    if (seen_.erase(next)) {
      floor_ = next;
    } else if (const auto gap = missing_.find(next); gap != missing_.end() && now - gap->second >= kGapPatience) {
      missing_.erase(gap);
      floor_ = next;
    } else {
      break;
    }
  }
}

}  // namespace snipora::service
