#include "service/link_table.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace snipora::service {

struct LinkTable::Record {
  std::atomic<uint32_t> clicks;
  uint16_t addressLength;
  uint8_t codeLength;
  uint8_t unused;
  const char* code() const { return reinterpret_cast<const char*>(this + 1); }
  std::string_view Code() const { return {code(), codeLength}; }
  std::string_view Address() const { return {code() + codeLength, addressLength}; }
};
static_assert(sizeof(std::atomic<uint32_t>) == 4 && sizeof(uint32_t) + 4 == 8);

namespace {

constexpr std::size_t kBlockBytes = 1 << 20;
constexpr std::size_t kFirstSlots = 1024;

std::size_t HashOf(std::string_view code) { return std::hash<std::string_view>{}(code); }

}  // namespace

LinkTable::LinkTable() : slots_(kFirstSlots, nullptr) {}
LinkTable::~LinkTable() {
  for (Record* record : slots_)
    if (record) record->~Record();
}

LinkTable::Record* LinkTable::Lookup(std::string_view code) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = HashOf(code) & mask;; i = (i + 1) & mask) {
    Record* record = slots_[i];
    if (!record) return nullptr;
    if (record->Code() == code) return record;
  }
}

void LinkTable::Grow() {
  std::vector<Record*> bigger(slots_.size() * 2, nullptr);
  const std::size_t mask = bigger.size() - 1;
  for (Record* record : slots_) {
    if (!record) continue;
    std::size_t i = HashOf(record->Code()) & mask;
    while (bigger[i]) i = (i + 1) & mask;
    bigger[i] = record;
  }
  slots_.swap(bigger);
}

void LinkTable::Insert(std::string_view code, std::string_view address) {
  if (code.empty() || code.size() > 255 || address.size() > 65535) return;  // never made by the service
  std::unique_lock lock(mutex_);
  if (Lookup(code)) return;
  if ((count_ + 1) * 10 > slots_.size() * 7) Grow();

  const std::size_t bytes = (sizeof(Record) + code.size() + address.size() + 7) & ~std::size_t(7);
  if (blocks_.empty() || blockSize_ - blockUsed_ < bytes) {
    blockSize_ = std::max(kBlockBytes, bytes);
    blocks_.push_back(std::make_unique<char[]>(blockSize_));
    blockUsed_ = 0;
  }
  char* at = blocks_.back().get() + blockUsed_;
  blockUsed_ += bytes;
  recordBytes_ += bytes;
  Record* record = new (at) Record{{0}, uint16_t(address.size()), uint8_t(code.size()), 0};
  std::memcpy(at + sizeof(Record), code.data(), code.size());
  std::memcpy(at + sizeof(Record) + code.size(), address.data(), address.size());

  const std::size_t mask = slots_.size() - 1;
  std::size_t i = HashOf(code) & mask;
  while (slots_[i]) i = (i + 1) & mask;
  slots_[i] = record;
  ++count_;
}

std::optional<std::string> LinkTable::Find(std::string_view code) const {
  std::shared_lock lock(mutex_);
  const Record* record = Lookup(code);
  if (!record) return std::nullopt;
  return std::string(record->Address());
}

std::optional<std::string> LinkTable::Follow(std::string_view code) {
  Record* record;
  std::string address;
  {
    std::shared_lock lock(mutex_);
    record = Lookup(code);
    if (!record) return std::nullopt;
    address = record->Address();
  }
  // records never move nor go, so the count outlives the lock
  if (record->clicks.fetch_add(1, std::memory_order_relaxed) == 0) {
    std::lock_guard lock(clickedMutex_);
    clicked_.push_back(record);
  }
  return address;
}

int64_t LinkTable::PendingClicks(std::string_view code) const {
  std::shared_lock lock(mutex_);
  const Record* record = Lookup(code);
  return record ? record->clicks.load(std::memory_order_relaxed) : 0;
}

std::vector<ClickCount> LinkTable::TakeClicks() {
  std::vector<Record*> clicked;
  {
    std::lock_guard lock(clickedMutex_);
    clicked.swap(clicked_);
  }
  std::vector<ClickCount> counts;
  counts.reserve(clicked.size());
  for (Record* record : clicked) {
    // a click after this exchange finds 0 and lists the record again
    const uint32_t clicks = record->clicks.exchange(0, std::memory_order_relaxed);
    if (clicks) counts.push_back({std::string(record->Code()), clicks});
  }
  return counts;
}

std::size_t LinkTable::size() const {
  std::shared_lock lock(mutex_);
  return count_;
}

std::size_t LinkTable::MemoryBytes() const {
  std::shared_lock lock(mutex_);
  return blocks_.size() * kBlockBytes + slots_.size() * sizeof(Record*);
}

}  // namespace snipora::service
