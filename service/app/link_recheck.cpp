#include "service/app/link_recheck.h"

#include <vector>

namespace snipora::service {

std::string QuarantineReason(const ThreatMatch& match) { return "feed " + *match.feed + ": " + *match.entry; }

RecheckFigures RecheckLinks(Store& store, const ThreatMatcher& matcher, const std::atomic<bool>& stop) {
  const auto start = std::chrono::steady_clock::now();
  RecheckFigures figures;
  std::vector<QuarantineAsk> asks;
  const auto flush = [&] {
    figures.quarantined += store.QuarantineLinks(asks).size();
    asks.clear();
  };
  if (!matcher.empty()) {
    store.ForEachLink([&](const Link& link) {
      ++figures.checked;
      // one under review already keeps its first reason
      if (link.quarantine.empty())
        if (const ThreatMatch match = matcher.Match({}, link.address))
          asks.push_back({LinkKey(link), QuarantineReason(match)});
      if (asks.size() >= kRecheckStep) flush();
      return !stop.load(std::memory_order_relaxed);
    });
    flush();
  }
  figures.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  return figures;
}

}  // namespace snipora::service
