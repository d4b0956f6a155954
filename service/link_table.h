#pragma once
// Every stored code and its address in memory, so that a redirect reads no
// database; and the clicks counted since the last flush. Compact: each link
// is one record in large blocks that never move (an 8-byte header, the code,
// the address), found through an open-addressing table of record pointers.
// Lookups share a lock; an insertion takes it alone.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "service/store.h"

namespace snipora::service {

class LinkTable {
 public:
  LinkTable();
  ~LinkTable();
  LinkTable(const LinkTable&) = delete;
  LinkTable& operator=(const LinkTable&) = delete;

  // Adds a code (an existing code keeps its first address).
  void Insert(std::string_view code, std::string_view address);
  std::optional<std::string> Find(std::string_view code) const;
  // Find, and one click more for the code when it is there.
  std::optional<std::string> Follow(std::string_view code);
  // Clicks counted for the code since they were last taken.
  int64_t PendingClicks(std::string_view code) const;
  // The counted clicks of every code that has any, setting them back to 0.
  std::vector<ClickCount> TakeClicks();

  std::size_t size() const;
  // Bytes held by records and the slot table.
  std::size_t MemoryBytes() const;

 private:
  struct Record;
  Record* Lookup(std::string_view code) const;  // under mutex_
  void Grow();

  mutable std::shared_mutex mutex_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t blockUsed_ = 0;
  std::size_t blockSize_ = 0;
  std::size_t recordBytes_ = 0;
  std::vector<Record*> slots_;
  std::size_t count_ = 0;

  std::mutex clickedMutex_;
  std::vector<Record*> clicked_;
};

}  // namespace snipora::service
