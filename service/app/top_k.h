#pragma once
// The first k items of a stream in an order no store query gives, kept
// while the stream passes: a heap of at most k whose front is the last of
// those kept, so each item costs one comparison with it (and log k when it
// is kept). The lists of the other shorteners' APIs, which count everything
// a key may see and page in their own order (Shlink's, Kutt's), keep their
// page so.
#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace snipora::service {

template <class T, class Before>
class FirstInOrder {
 public:
  // `before(a, b)`: a comes before b. The order must be total (ties broken,
  // by a code say) for the first k to be one set.
  FirstInOrder(std::size_t k, Before before) : k_(k), before_(std::move(before)) {}

  // Keeps `item` when it is among the first k seen so far.
  void Offer(T item) {
    if (k_ == 0) return;
    if (kept_.size() == k_) {
      if (!before_(item, kept_.front())) return;
      std::pop_heap(kept_.begin(), kept_.end(), before_);
      kept_.back() = std::move(item);
    } else {
      kept_.push_back(std::move(item));
    }
    std::push_heap(kept_.begin(), kept_.end(), before_);
  }

  // What was kept, the first first.
  std::vector<T> Take() && {
    std::sort_heap(kept_.begin(), kept_.end(), before_);
    return std::move(kept_);
  }

 private:
  const std::size_t k_;
  Before before_;
  std::vector<T> kept_;
};

}  // namespace snipora::service
