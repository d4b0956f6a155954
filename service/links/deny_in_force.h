#pragma once
// The deny list in force, replaced whole when it is read again (SIGHUP).
// A redirect reads only its generation, one atomic load: the read cache
// keeps each entry's verdict with the generation it was judged at, and asks
// for the list itself (a shared pointer's count touched) only when that has
// changed. Replace() bumps the generation after the new list is in place, so
// every lookup that starts after it returns judges by the new list.
#include <atomic>
#include <cstdint>
#include <memory>

#include "service/core/address_check.h"

namespace snipora::service {

class DenyListInForce {
 public:
  DenyListInForce() : list_(std::make_shared<const DenyList>()) {}
  DenyListInForce(const DenyListInForce&) = delete;
  DenyListInForce& operator=(const DenyListInForce&) = delete;

  void Replace(std::shared_ptr<const DenyList> list) {
    list_.store(std::move(list));
    // 0 is skipped: it stands for "not judged"
    if (generation_.fetch_add(1, std::memory_order_acq_rel) + 1 == 0) generation_.fetch_add(1, std::memory_order_acq_rel);
  }
  std::shared_ptr<const DenyList> Current() const { return list_.load(); }
  // Never 0, which an entry not yet judged holds.
  uint32_t generation() const { return generation_.load(std::memory_order_acquire); }

 private:
  std::atomic<std::shared_ptr<const DenyList>> list_;
  std::atomic<uint32_t> generation_{1};
};

}  // namespace snipora::service
