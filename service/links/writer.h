#pragma once
// The one thread that writes the store. Creations wait in a queue; the writer
// takes every waiting one (up to a batch) into one transaction, so that
// fifty clients creating at once share a commit instead of waiting for fifty
// (group commit). Each creation's answer is called only after its commit, and
// only then is the code in the read cache. The clicks counted in the cache
// are written on the same thread, in one transaction every flush interval,
// with their counts per day (the day of the flush): a redirect never writes.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "service/base/metrics.h"
#include "service/base/settings.h"
#include "service/links/read_cache.h"
#include "service/links/visit_counts.h"
#include "service/store/store.h"

namespace snipora::service {

struct Creation {
  std::string address;  // checked already
  std::string alias;    // empty: a random code; else valid and not reserved
  std::string owner;    // the name of the key that asked; "" for none
  // kept with a new link; an address stored before keeps its own
  std::string title;
  std::vector<std::string> tags;
  std::optional<int64_t> expires;
  std::optional<int64_t> maxClicks;
  std::string domain;  // the link's ("": the default)
};

struct Created {
  enum Outcome {
    kCreated,        // stored now
    kKnown,          // the address had this code already
    kAliasTaken,     // the alias is another address's code, or a deleted link's still held back
    kAddressHasCode, // an alias was asked for an address that has another code
    kFailed,         // the store failed or the writer has stopped
  } outcome = kFailed;
  std::string code;  // kCreated, kKnown, kAddressHasCode: the address's code
  int64_t created = 0;  // kCreated: the time it was stored with
};

// The writer's options (--batch, --click-flush-ms, --gather-us), by
// default at the option table's defaults.
struct WriterSettings {
  explicit WriterSettings(const Settings& settings = Settings());
  std::size_t maxBatch;
  std::chrono::milliseconds clickFlushInterval;
  // While fewer creations wait than the last batch held, the writer waits up
  // to this long for them: clients answered by one commit come back together,
  // and one commit for all of them beats two for halves. A lone client waits
  // for nobody (its last batch was 1).
  std::chrono::microseconds gatherWindow;
  // Where random codes come from; null: RandomCode() (tests give their own).
  std::function<std::string()> newCode;
  // The analytics written with a flush of clicks once this long has passed
  // since they were last (--analytics-flush-ms), and at stop; null: none.
  VisitCounts* visits = nullptr;
  std::chrono::milliseconds tallyFlushInterval;
  // Told the clicks of each flush once taken (the velocity watch), on the
  // writer's thread; null: nobody.
  std::function<void(const std::vector<ClickCount>&)> clicksTaken;
};

class LinkWriter {
 public:
  LinkWriter(Store& store, LinkCache& cache, Metrics& metrics, WriterSettings settings = WriterSettings());
  ~LinkWriter();  // Stop()
  LinkWriter(const LinkWriter&) = delete;
  LinkWriter& operator=(const LinkWriter&) = delete;

  // `answer` runs on the writer thread once the creation is committed (or
  // failed); after Stop it runs at once with kFailed.
  void Submit(Creation creation, std::function<void(const Created&)> answer);
  // Commits what is queued, writes the pending clicks, ends the thread.
  void Stop();
  // Why creations fail now, as the last commit's failure said: a full disk
  // or a read-only database (kOther: they do not, or for another cause). A
  // stored creation clears it, and so does time: kTroubleHeld after the
  // last such failure it is forgotten, so that an instance no one sends
  // creations to any more is tried again.
  StoreCause CreationTrouble() const;
  static constexpr std::chrono::seconds kTroubleHeld{5};

 private:
  struct Waiting {
    Creation creation;
    std::function<void(const Created&)> answer;
  };
  void Run();
  void Commit(std::deque<Waiting>& batch);
  std::string NewCode() const;
  // `final`: the last, at stop (the analytics written whatever the time).
  void FlushClicks(bool final = false);
  // The analytics counted since the last flush, the day's salt read first
  // when the day is new (nothing when it cannot be read).
  Tallies TakeTallies(int64_t today);
  // Writes one flush; false (logged) when the store failed.
  bool WriteClicks(const std::vector<ClickCount>& counts, const ClickFlush& flush);

  Store& store_;
  LinkCache& cache_;
  Metrics& metrics_;
  const WriterSettings settings_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Waiting> queue_;
  bool stopping_ = false;
  // A flush that failed, perhaps after its commit: written again as it was,
  // with its id, before any other (so it counts once either way).
  struct Unsettled {
    std::vector<ClickCount> counts;
    ClickFlush flush;  // its tallies the ones below
    Tallies tallies;
  };
  std::optional<Unsettled> unsettled_;
  // the salt of saltDay_, as the store has it
  int64_t saltDay_ = -1;
  std::chrono::steady_clock::time_point nextTallies_{};
  HashKey salt_{};
  // the last commit's cause of failure, and when (steady clock, ns)
  std::atomic<StoreCause> trouble_{StoreCause::kOther};
  std::atomic<int64_t> troubleAt_{0};
  std::thread thread_;
};

}  // namespace snipora::service
