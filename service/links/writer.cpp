#include "service/links/writer.h"

#include <sys/random.h>

#include <algorithm>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

#include "service/base/log.h"
#include "service/links/codes.h"

namespace snipora::service {
namespace {

// A collision of random codes is rare (62^7 codes); a few fresh tries settle it.
constexpr int kCodeTries = 8;

void RandomBytes(unsigned char* bytes, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = getrandom(bytes + got, size - got, 0);
    if (n <= 0) throw std::runtime_error("getrandom failed");
    got += std::size_t(n);
  }
}

// 128 random bits as hex: a flush's id, unique across instances.
std::string FlushId() {
  unsigned char bytes[16] = {};
  RandomBytes(bytes, sizeof bytes);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id;
  for (unsigned char byte : bytes) id += {kHex[byte >> 4], kHex[byte & 15]};
  return id;
}

}  // namespace

WriterSettings::WriterSettings(const Settings& settings)
    : maxBatch(settings.maxBatch),
      clickFlushInterval(settings.clickFlushMs),
      gatherWindow(settings.gatherMicroseconds),
      tallyFlushInterval(settings.analyticsFlushMs) {}

LinkWriter::LinkWriter(Store& store, LinkCache& cache, Metrics& metrics, WriterSettings settings)
    : store_(store), cache_(cache), metrics_(metrics), settings_(settings), thread_([this] { Run(); }) {}

LinkWriter::~LinkWriter() { Stop(); }

void LinkWriter::Submit(Creation creation, std::function<void(const Created&)> answer) {
  {
    std::lock_guard lock(mutex_);
    if (!stopping_) {
      queue_.push_back({std::move(creation), std::move(answer)});
      wake_.notify_one();
      return;
    }
  }
  answer(Created{});
}

void LinkWriter::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    wake_.notify_one();
  }
  if (thread_.joinable()) thread_.join();
}

void LinkWriter::Run() {
  auto nextFlush = std::chrono::steady_clock::now() + settings_.clickFlushInterval;
  std::size_t lastBatch = 1;
  for (;;) {
    std::deque<Waiting> batch;
    bool last = false;
    {
      std::unique_lock lock(mutex_);
      wake_.wait_until(lock, nextFlush, [this] { return !queue_.empty() || stopping_; });
      const std::size_t expected = std::min(lastBatch, settings_.maxBatch);
      if (!queue_.empty() && queue_.size() < expected && settings_.gatherWindow.count() > 0)
        wake_.wait_for(lock, settings_.gatherWindow, [&] { return queue_.size() >= expected || stopping_; });
      if (!queue_.empty()) lastBatch = std::min(queue_.size(), settings_.maxBatch);
      while (!queue_.empty() && batch.size() < settings_.maxBatch) {
        batch.push_back(std::move(queue_.front()));
        queue_.pop_front();
      }
      last = stopping_ && queue_.empty();
    }
    if (!batch.empty()) Commit(batch);
    if (last || std::chrono::steady_clock::now() >= nextFlush) {
      FlushClicks(last);
      nextFlush = std::chrono::steady_clock::now() + settings_.clickFlushInterval;
    }
    if (last) return;
  }
}

void LinkWriter::Commit(std::deque<Waiting>& batch) {
  const auto started = std::chrono::steady_clock::now();
  const int64_t now = std::time(nullptr);
  std::vector<Created> answers(batch.size());
  std::vector<std::size_t> open(batch.size());  // indexes still to settle
  for (std::size_t i = 0; i < batch.size(); ++i) open[i] = i;
  try {
    for (int attempt = 0; attempt < kCodeTries && !open.empty(); ++attempt) {
      std::vector<NewLink> links;
      for (std::size_t i : open) {
        const Creation& creation = batch[i].creation;
        links.push_back({creation.alias.empty() ? NewCode() : creation.alias, creation.address, now, 0,
                         creation.owner, creation.title, creation.tags, creation.expires, creation.maxClicks,
                         creation.domain});
      }
      const std::vector<InsertResult> results = store_.InsertIfAbsent(links);
      trouble_.store(StoreCause::kOther, std::memory_order_relaxed);
      Metrics::Add(metrics_.commits);
      std::vector<std::size_t> retry;
      for (std::size_t k = 0; k < open.size(); ++k) {
        const std::size_t i = open[k];
        const bool alias = !batch[i].creation.alias.empty();
        const InsertResult& result = results[k];
        Created& answer = answers[i];
        switch (result.outcome) {
          case InsertResult::kInserted: {
            // a new link may be born with an end (an expiry, a click limit)
            Link made{result.code, batch[i].creation.address};
            made.expires = batch[i].creation.expires;
            made.maxClicks = batch[i].creation.maxClicks;
            cache_.Insert(LinkKey(batch[i].creation.domain, result.code), LifeOf(made), false, 0, DenyList());
            answer = {Created::kCreated, result.code, now};
            break;
          }
          case InsertResult::kAddressKnown:
            answer = {alias && result.code != batch[i].creation.alias ? Created::kAddressHasCode : Created::kKnown,
                      result.code};
            break;
          case InsertResult::kCodeTaken:
          case InsertResult::kCodeHeld:  // a deleted link's code is not given to another address
            if (alias) {
              answer = {Created::kAliasTaken, {}};
            } else {
              retry.push_back(i);
            }
            break;
        }
      }
      open.swap(retry);
    }
  } catch (const std::exception& error) {
    const auto* failed = dynamic_cast<const StoreError*>(&error);
    troubleAt_.store(std::chrono::steady_clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    trouble_.store(failed ? failed->cause : StoreCause::kOther, std::memory_order_relaxed);
    // each creation answered kFailed is counted as a store error where it is answered
    Log(LogLevel::kError, "creations not stored (" + std::to_string(open.size()) + "): " + error.what());
    for (std::size_t i : open) answers[i] = {Created::kFailed, {}};
    // a failed transaction stored nothing of this round; answers made in
    // earlier rounds were committed and stand
  }
  metrics_.commitSeconds.Observe(std::chrono::steady_clock::now() - started);
  for (std::size_t i = 0; i < batch.size(); ++i) batch[i].answer(answers[i]);
}

StoreCause LinkWriter::CreationTrouble() const {
  const StoreCause cause = trouble_.load(std::memory_order_relaxed);
  if (cause == StoreCause::kOther) return cause;
  const std::chrono::steady_clock::time_point at{
      std::chrono::steady_clock::duration(troubleAt_.load(std::memory_order_relaxed))};
  return std::chrono::steady_clock::now() - at < kTroubleHeld ? cause : StoreCause::kOther;
}

std::string LinkWriter::NewCode() const { return settings_.newCode ? settings_.newCode() : RandomCode(); }

Tallies LinkWriter::TakeTallies(int64_t today) {
  if (!settings_.visits) return {};
  if (saltDay_ != today) {
    // the day's salt is the store's, so that every instance hashes a visitor
    // alike; the first to ask sets it
    HashKey candidate;
    RandomBytes(candidate.data(), candidate.size());
    try {
      const std::string salt = store_.DaySalt(today, {reinterpret_cast<const char*>(candidate.data()), candidate.size()});
      if (salt.size() != salt_.size()) throw std::runtime_error("the day's salt is not 16 bytes");
      std::copy(salt.begin(), salt.end(), salt_.begin());
      saltDay_ = today;
    } catch (const std::exception& error) {
      // the visits stay counted on the day they were, until a salt is had
      Log(LogLevel::kError, std::string("the day's salt not read, analytics kept for the next flush: ") + error.what());
      return {};
    }
  }
  return settings_.visits->Take(today, salt_);
}

void LinkWriter::FlushClicks(bool final) {
  if (unsettled_) {
    if (!WriteClicks(unsettled_->counts, unsettled_->flush)) return;  // the new clicks wait in the cache
    unsettled_.reset();
  }
  const int64_t today = int64_t(std::time(nullptr)) / 86400;
  std::vector<ClickCount> counts = cache_.TakeClicks();
  // the analytics less often: their rows are many more than the clicks'
  Tallies tallies;
  const auto now = std::chrono::steady_clock::now();
  if (final || now >= nextTallies_ || today != saltDay_) {
    tallies = TakeTallies(today);
    nextTallies_ = now + settings_.tallyFlushInterval;
  }
  if (counts.empty() && tallies.empty()) return;
  if (settings_.clicksTaken && !counts.empty()) settings_.clicksTaken(counts);
  // in key order the updates walk the table's pages once, not at random
  std::sort(counts.begin(), counts.end(), [](const ClickCount& a, const ClickCount& b) { return a.code < b.code; });
  ClickFlush flush{FlushId(), today, &tallies};
  if (!WriteClicks(counts, flush)) {
    unsettled_ = Unsettled{std::move(counts), std::move(flush), std::move(tallies)};
    unsettled_->flush.tallies = &unsettled_->tallies;
  }
}

bool LinkWriter::WriteClicks(const std::vector<ClickCount>& counts, const ClickFlush& flush) {
  try {
    store_.AddClicks(counts, flush);
  } catch (const std::exception& error) {
    Log(LogLevel::kError, std::string("clicks not written, tried again at the next flush: ") + error.what());
    Metrics::Add(metrics_.clickFlushErrors);
    return false;
  }
  uint64_t total = 0;
  for (const ClickCount& count : counts) total += uint64_t(count.clicks);
  Metrics::Add(metrics_.clicksFlushed, total);
  return true;
}

}  // namespace snipora::service
