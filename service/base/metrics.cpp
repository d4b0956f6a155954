#include "service/base/metrics.h"

#include <cstdio>

namespace snipora::service {

void Histogram::Observe(std::chrono::nanoseconds elapsed) {
  const double seconds = std::chrono::duration<double>(elapsed).count();
  std::size_t i = 0;
  while (i < kLatencyBounds.size() && seconds > kLatencyBounds[i]) ++i;
  buckets_[i].fetch_add(1, std::memory_order_relaxed);
  sumNanoseconds_.fetch_add(uint64_t(elapsed.count()), std::memory_order_relaxed);
}

void Histogram::Print(std::string& out, const char* name, const char* help) const {
  char line[160];
  std::snprintf(line, sizeof line, "# HELP %s %s\n# TYPE %s histogram\n", name, help, name);
  out += line;
  uint64_t cumulative = 0;
  for (std::size_t i = 0; i < buckets_.size(); ++i) {
    cumulative += buckets_[i].load(std::memory_order_relaxed);
    if (i < kLatencyBounds.size())
      std::snprintf(line, sizeof line, "%s_bucket{le=\"%g\"} %llu\n", name, kLatencyBounds[i],
                    static_cast<unsigned long long>(cumulative));
    else
      std::snprintf(line, sizeof line, "%s_bucket{le=\"+Inf\"} %llu\n", name, static_cast<unsigned long long>(cumulative));
    out += line;
  }
  std::snprintf(line, sizeof line, "%s_sum %.9f\n%s_count %llu\n", name,
                double(sumNanoseconds_.load(std::memory_order_relaxed)) / 1e9, name,
                static_cast<unsigned long long>(cumulative));
  out += line;
}

std::string Metrics::Text() const {
  std::string out;
  char line[200];
#define SNIPORA_PRINT_COUNTER(field, name, help)                                                           \
  std::snprintf(line, sizeof line, "# HELP %s %s\n# TYPE %s counter\n%s %llu\n", name, help, name, name, \
                static_cast<unsigned long long>(field.load(std::memory_order_relaxed)));                  \
  out += line;
  SNIPORA_COUNTERS(SNIPORA_PRINT_COUNTER)
#undef SNIPORA_PRINT_COUNTER
#define SNIPORA_PRINT_SNAPSHOT(field, name, type, help)                                                  \
  std::snprintf(line, sizeof line, "# HELP %s %s\n# TYPE %s %s\n%s %llu\n", name, help, name, type, name, \
                static_cast<unsigned long long>(field.load(std::memory_order_relaxed)));                   \
  out += line;
  SNIPORA_SNAPSHOTS(SNIPORA_PRINT_SNAPSHOT)
#undef SNIPORA_PRINT_SNAPSHOT
#define SNIPORA_PRINT_HISTOGRAM(field, name, help) field.Print(out, name, help);
  SNIPORA_HISTOGRAMS(SNIPORA_PRINT_HISTOGRAM)
#undef SNIPORA_PRINT_HISTOGRAM
  return out;
}

}  // namespace snipora::service
