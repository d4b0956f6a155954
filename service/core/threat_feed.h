#pragma once
// Threat feeds: lists of hosts and addresses known to be malicious, read in
// the formats they are published in, and one matcher over every feed in
// force. Platform-neutral: the service and the fuzz build compile it alike.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace snipora::service {

// The formats a feed's text is recognised as, by its content.
enum class FeedFormat {
  kEmpty,    // no entry at all
  kHosts,    // a hosts file: "0.0.0.0 host", "127.0.0.1 host"
  kDomains,  // one domain a line, "#" comments, "||host^" too
  kUrls,     // one address a line
  kCsv,      // URLhaus-style CSV with a "url" column (its header may be a "#" comment)
};
const char* FeedFormatName(FeedFormat format);

struct FeedEntries {
  FeedFormat format = FeedFormat::kEmpty;
  // in the stored form of a link's host (lower case, IDNA, an IP address in
  // its one form): each matches itself and its subdomains
  std::vector<std::string> hosts;
  // in the stored form of an address (address_form.h)
  std::vector<std::string> urls;
  std::size_t skipped = 0;  // lines that are neither a comment nor an entry
};
// Reads a feed's text. Lines that are no entry are skipped and counted,
// never fatal: a feed is someone else's file.
FeedEntries ReadFeed(std::string_view text);

// What matched: the feed's name and the entry (a host or an address, as
// stored), for the log and for a release that holds against that entry.
struct ThreatMatch {
  const std::string* feed = nullptr;  // null: no match
  const std::string* entry = nullptr;
  explicit operator bool() const { return feed != nullptr; }
};

// Every feed's entries in hash tables: a host is looked up with each parent
// domain (a handful of lookups), an address once, whatever the feeds' size.
class ThreatMatcher {
 public:
  ThreatMatcher() = default;
  // The first feed listing an entry names its match.
  void Add(std::string feed, const FeedEntries& entries);
  // `host` as CheckAddress gives it, `address` in its stored form.
  ThreatMatch Match(std::string_view host, std::string_view address) const;
  std::size_t size() const { return hosts_.size() + urls_.size(); }
  bool empty() const { return hosts_.empty() && urls_.empty(); }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  using Table = std::unordered_map<std::string, uint32_t, Hash, std::equal_to<>>;
  ThreatMatch Of(const Table::value_type& found) const { return {&feeds_[found.second], &found.first}; }
  std::vector<std::string> feeds_;
  Table hosts_, urls_;
};

}  // namespace snipora::service
