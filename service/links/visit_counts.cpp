#include "service/links/visit_counts.h"

#include <algorithm>
#include <tuple>

namespace snipora::service {

void TopNames::Offer(std::string_view name) {
  ++total_;
  for (Counter& counter : counters_)
    if (counter.name == name) {
      ++counter.count;
      return;
    }
  if (counters_.size() < k_) {
    counters_.push_back({std::string(name), 1, 0});
    return;
  }
  if (counters_.empty()) return;
  Counter& least = *std::min_element(counters_.begin(), counters_.end(),
                                     [](const Counter& a, const Counter& b) { return a.count < b.count; });
  least.name.assign(name);
  least.error = least.count;
  ++least.count;
}

void TopNames::AppendRows(std::string_view code, int64_t day, std::string_view kind,
                          std::vector<TallyRow>& rows) const {
  uint64_t sure = 0;
  for (const Counter& counter : counters_) {
    const uint32_t count = counter.count - counter.error;
    if (count == 0) continue;
    sure += count;
    rows.push_back({std::string(code), day, std::string(kind), counter.name, int64_t(count)});
  }
  if (total_ > sure) rows.push_back({std::string(code), day, std::string(kind), std::string(kOtherName),
                                     int64_t(total_ - sure)});
}

std::size_t TopNames::HeapBytes() const {
  std::size_t bytes = counters_.capacity() * sizeof(Counter);
  for (const Counter& counter : counters_)
    if (counter.name.capacity() > 15) bytes += counter.name.capacity() + 1;
  return bytes;
}

VisitCounts::VisitCounts(const CountryLookup* countries, int64_t day, const HashKey& salt)
    : countries_(countries), shards_(std::make_unique<Shard[]>(kShards)), unknownDay_(day) {
  for (std::size_t i = 0; i < kShards; ++i) {
    shards_[i].day = day;
    shards_[i].salt = salt;
  }
}

void VisitCounts::Count(std::string_view key, const Visit& visit) {
  if (visit.quiet && !visit.bot) return;  // the read cache counted the click
  // what needs no lock first: the country, the referring host is given
  const CountryCode country = visit.bot || !countries_ ? kNoCountry : countries_->Find(visit.client);
  Shard& shard = shards_[TransparentHash{}(key) % kShards];
  std::lock_guard lock(shard.mutex);
  auto found = shard.days.find(key);
  if (found == shard.days.end()) found = shard.days.emplace(std::string(key), LinkDay{}).first;
  LinkDay& counts = found->second;
  if (visit.bot) {
    ++counts.bots;
    return;
  }
  ++counts.counted;
  if (visit.qr) ++counts.qr;
  ++counts.browsers[std::size_t(visit.families.browser)];
  ++counts.systems[std::size_t(visit.families.system)];
  ++counts.devices[std::size_t(visit.families.device)];
  auto place = std::find_if(counts.countries.begin(), counts.countries.end(),
                            [&](const auto& entry) { return entry.first == country; });
  if (place == counts.countries.end()) {
    counts.countries.emplace_back(country, 1);
  } else {
    ++place->second;
  }
  counts.referrers.Offer(visit.referrer);
  KeyedHash hash(shard.salt);
  hash.Add(visit.client);
  hash.Add(std::string_view("\n", 1));
  hash.Add(visit.userAgent);
  counts.visitors.AddHash(hash.Finish());
}

void VisitCounts::CountUnknown(std::string_view code) {
  std::lock_guard lock(unknownMutex_);
  ++unknownTotal_;
  unknown_.Offer(code);
}

void VisitCounts::AppendRows(const std::string& code, int64_t day, const LinkDay& counts, Tallies& out) {
  std::vector<TallyRow>& rows = out.counts;
  const auto add = [&](std::string_view kind, std::string_view name, uint32_t count) {
    if (count) rows.push_back({code, day, std::string(kind), std::string(name), int64_t(count)});
  };
  add(kTallyBots, kTotalName, counts.bots);
  add(kTallyQr, kTotalName, counts.qr);
  if (counts.counted == 0) return;
  for (std::size_t i = 0; i < counts.browsers.size(); ++i) add(kTallyBrowser, kBrowserNames[i], counts.browsers[i]);
  for (std::size_t i = 0; i < counts.systems.size(); ++i) add(kTallySystem, kSystemNames[i], counts.systems[i]);
  for (std::size_t i = 0; i < counts.devices.size(); ++i) add(kTallyDevice, kDeviceNames[i], counts.devices[i]);
  for (const auto& [country, count] : counts.countries) add(kTallyCountry, CountryName(country), count);
  counts.referrers.AppendRows(code, day, kTallyReferrer, rows);
  for (const Register& reg : counts.visitors.Registers()) out.registers.push_back({code, day, reg.index, reg.rank});
}

Tallies VisitCounts::Take(int64_t day, const HashKey& salt) {
  std::vector<std::pair<Days, int64_t>> taken(kShards);
  for (std::size_t i = 0; i < kShards; ++i) {
    std::lock_guard lock(shards_[i].mutex);
    taken[i].first.swap(shards_[i].days);
    taken[i].second = shards_[i].day;
    shards_[i].day = day;
    shards_[i].salt = salt;
  }
  // in key order (each link's rows in one order), so that instances writing
  // at once take their rows' locks in one order; the links sorted, not the
  // many rows
  std::vector<std::tuple<const std::string*, int64_t, const LinkDay*>> links;
  for (const auto& [days, takenDay] : taken)
    for (const auto& [code, counts] : days) links.emplace_back(&code, takenDay, &counts);
  std::sort(links.begin(), links.end(), [](const auto& a, const auto& b) {
    return std::tie(*std::get<0>(a), std::get<1>(a)) < std::tie(*std::get<0>(b), std::get<1>(b));
  });
  Tallies out;
  {
    std::lock_guard lock(unknownMutex_);
    if (unknownTotal_) {
      out.counts.push_back({std::string(kUnknownCodes), unknownDay_, std::string(kTallyUnknown),
                            std::string(kTotalName), int64_t(unknownTotal_)});
      unknown_.AppendRows(kUnknownCodes, unknownDay_, kTallyUnknown, out.counts);
    }
    unknownTotal_ = 0;
    unknown_ = TopNames(kTopUnknownCodes);
    unknownDay_ = day;
  }
  for (const auto& [code, takenDay, counts] : links) AppendRows(*code, takenDay, *counts, out);
  return out;
}

std::size_t VisitCounts::MemoryBytes() const {
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < kShards; ++i) {
    std::lock_guard lock(shards_[i].mutex);
    const Days& days = shards_[i].days;
    // a node: the pair, the next pointer and the cached hash; the buckets
    bytes += days.bucket_count() * sizeof(void*);
    for (const auto& [code, counts] : days) {
      bytes += sizeof(std::pair<const std::string, LinkDay>) + 2 * sizeof(void*);
      if (code.capacity() > 15) bytes += code.capacity() + 1;
      bytes += counts.countries.capacity() * sizeof(counts.countries[0]);
      bytes += counts.referrers.HeapBytes() + counts.visitors.HeapBytes();
    }
  }
  return bytes;
}

std::size_t VisitCounts::Links() const {
  std::size_t links = 0;
  for (std::size_t i = 0; i < kShards; ++i) {
    std::lock_guard lock(shards_[i].mutex);
    links += shards_[i].days.size();
  }
  return links;
}

}  // namespace snipora::service
