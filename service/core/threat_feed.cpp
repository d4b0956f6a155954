#include "service/core/threat_feed.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "service/core/address_form.h"
#include "service/core/csv.h"
#include "service/core/host_form.h"

namespace snipora::service {
namespace {

// How many lines at the head of a feed are looked at for a CSV header.
constexpr std::size_t kHeaderLines = 64;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && Blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && Blank(text.back())) text.remove_suffix(1);
  return text;
}

// Calls `line` with each line of `text`, without its end.
template <class Visit>
void EachLine(std::string_view text, Visit&& line) {
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    line(text.substr(0, newline));
    text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
  }
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  while (!(line = Trim(line)).empty()) {
    std::size_t end = 0;
    while (end < line.size() && !Blank(line[end])) ++end;
    words.push_back(line.substr(0, end));
    line.remove_prefix(end);
  }
  return words;
}

// A host as a link's host is stored; nothing when it is none.
std::optional<std::string> FeedHost(std::string_view text) {
  if (text.starts_with("*.")) text.remove_prefix(2);
  while (!text.empty() && text.back() == '.') text.remove_suffix(1);
  if (text.empty() || text.size() > 253) return std::nullopt;
  std::string host;
  for (char c : text) {
    const char lower = Lower(c);
    const bool ok = (lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9') || lower == '-' ||
                    lower == '.' || lower == '_' || lower == ':' || lower == '[' || lower == ']' ||
                    static_cast<unsigned char>(c) >= 0x80;
    if (!ok) return std::nullopt;
    host += lower;
  }
  if (host.find(':') != std::string::npos && !host.starts_with('[')) host = "[" + host + "]";  // bare IPv6
  // IDNA maps some characters to a dot or to nothing (U+FEFF): matched
  // without its trailing dots, as a link's host is, and none may be left.
  // The entry must be a form a link's host can have (its own stored form);
  // one that keeps changing when stored again is no host, and is skipped.
  for (int round = 0; round < 4; ++round) {
    StoredHost stored = StoredHostOf(host);
    if (stored.refusal != Refusal::kAccepted) return std::nullopt;
    while (!stored.host.empty() && stored.host.back() == '.') stored.host.pop_back();
    if (stored.host.empty()) return std::nullopt;
    if (stored.host == host) return host;
    host = std::move(stored.host);
  }
  return std::nullopt;
}

// Names every hosts file carries for the machine itself: never entries.
bool MachineName(std::string_view host) {
  constexpr std::array<std::string_view, 9> kNames = {
      "localhost", "localhost.localdomain", "local", "broadcasthost", "ip6-localhost",
      "ip6-loopback", "ip6-localnet", "ip6-allnodes", "ip6-allrouters"};
  return std::find(kNames.begin(), kNames.end(), host) != kNames.end();
}

// An address in its stored form; nothing when a creation would refuse it.
std::optional<std::string> FeedUrl(std::string_view text) {
  const StoredForm form = AcceptAddress(Trim(text), OwnHosts{}, DenyList{});
  if (form.refusal != Refusal::kAccepted) return std::nullopt;
  return form.address;
}

// The column named "url" of a CSV header (a "#" comment's text, as URLhaus
// writes it), if the line is one.
std::optional<std::size_t> UrlColumn(std::string_view line) {
  while (!line.empty() && (line.front() == '#' || Blank(line.front()))) line.remove_prefix(1);
  if (line.find(',') == std::string_view::npos) return std::nullopt;
  CsvReader reader;
  reader.Feed(line, true);
  std::string error;
  const std::optional<std::vector<std::string>> fields = reader.Next(&error);
  if (!fields) return std::nullopt;
  for (std::size_t i = 0; i < fields->size(); ++i) {
    std::string name(Trim((*fields)[i]));
    for (char& c : name) c = Lower(c);
    if (name == "url") return i;
  }
  return std::nullopt;
}

void ReadCsv(std::string_view text, std::size_t column, FeedEntries& entries) {
  bool header = true;  // the header line itself, when it is no comment
  EachLine(text, [&](std::string_view line) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == '#') return;
    if (header && UrlColumn(trimmed)) {
      header = false;
      return;
    }
    header = false;
    CsvReader reader;
    reader.Feed(trimmed, true);
    std::string error;
    const std::optional<std::vector<std::string>> fields = reader.Next(&error);
    std::optional<std::string> url;
    if (fields && column < fields->size()) url = FeedUrl((*fields)[column]);
    if (url)
      entries.urls.push_back(std::move(*url));
    else
      ++entries.skipped;
  });
  entries.format = FeedFormat::kCsv;
}

// A line of a hosts file, a list of domains or a list of addresses.
void ReadLine(std::string_view line, FeedEntries& entries) {
  line = Trim(line);
  if (line.empty() || line.front() == '#' || line.front() == '!' || line.front() == '[') return;
  const auto note = [&](FeedFormat format) {
    if (entries.format == FeedFormat::kEmpty) entries.format = format;
  };
  if (line.find("://") != std::string_view::npos) {
    // "#" is the address's fragment here, not a comment
    if (std::optional<std::string> url = FeedUrl(line)) {
      entries.urls.push_back(std::move(*url));
      note(FeedFormat::kUrls);
    } else {
      ++entries.skipped;
    }
    return;
  }
  line = Trim(line.substr(0, line.find('#')));
  if (line.starts_with("@@")) return;  // an exception of an adblock list: nothing to block
  if (line.starts_with("||")) {
    line.remove_prefix(2);
    line = line.substr(0, line.find_first_of("^$/"));
    if (std::optional<std::string> host = FeedHost(line)) {
      entries.hosts.push_back(std::move(*host));
      note(FeedFormat::kDomains);
    } else {
      ++entries.skipped;
    }
    return;
  }
  const std::vector<std::string_view> words = Words(line);
  if (words.size() >= 2) {
    // a hosts file's line: an address, then the names sent to it
    const std::optional<std::string> address = FeedHost(words[0]);
    if (!address || !IsIpHost(*address)) {
      ++entries.skipped;
      return;
    }
    note(FeedFormat::kHosts);
    for (std::size_t i = 1; i < words.size(); ++i) {
      std::optional<std::string> host = FeedHost(words[i]);
      if (!host) {
        ++entries.skipped;
      } else if (!MachineName(*host) && *host != *address && !IsIpHost(*host)) {
        entries.hosts.push_back(std::move(*host));
      }
    }
    return;
  }
  if (std::optional<std::string> host = FeedHost(line); host && !MachineName(*host)) {
    entries.hosts.push_back(std::move(*host));
    note(FeedFormat::kDomains);
  } else {
    ++entries.skipped;
  }
}

// The host of an address in its stored form.
std::string_view StoredHostPart(std::string_view address) {
  const std::size_t start = address.find("://");
  if (start == std::string_view::npos) return {};
  std::string_view rest = address.substr(start + 3);
  if (rest.starts_with('[')) return rest.substr(0, rest.find(']') + 1);
  return rest.substr(0, rest.find_first_of(":/?#"));
}

}  // namespace

const char* FeedFormatName(FeedFormat format) {
  switch (format) {
    case FeedFormat::kEmpty: return "empty";
    case FeedFormat::kHosts: return "hosts";
    case FeedFormat::kDomains: return "domains";
    case FeedFormat::kUrls: return "urls";
    case FeedFormat::kCsv: return "csv";
  }
  return "empty";
}

FeedEntries ReadFeed(std::string_view text) {
  FeedEntries entries;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::optional<std::size_t> column;
  std::size_t looked = 0;
  EachLine(text, [&](std::string_view line) {
    if (column || looked++ >= kHeaderLines) return;
    column = UrlColumn(Trim(line));
  });
  if (column) {
    ReadCsv(text, *column, entries);
    return entries;
  }
  EachLine(text, [&](std::string_view line) { ReadLine(line, entries); });
  return entries;
}

void ThreatMatcher::Add(std::string feed, const FeedEntries& entries) {
  const uint32_t index = uint32_t(feeds_.size());
  feeds_.push_back(std::move(feed));
  hosts_.reserve(hosts_.size() + entries.hosts.size());
  for (const std::string& host : entries.hosts) hosts_.emplace(host, index);
  urls_.reserve(urls_.size() + entries.urls.size());
  for (const std::string& url : entries.urls) urls_.emplace(url, index);
}

ThreatMatch ThreatMatcher::Match(std::string_view host, std::string_view address) const {
  if (!urls_.empty())
    if (const auto found = urls_.find(address); found != urls_.end()) return Of(*found);
  if (hosts_.empty()) return {};
  if (host.empty()) host = StoredHostPart(address);
  // "evil.example." is evil.example, in a link stored before as in one made now
  while (!host.empty() && host.back() == '.') host.remove_suffix(1);
  if (IsIpHost(host)) {
    const auto found = hosts_.find(host);
    return found == hosts_.end() ? ThreatMatch{} : Of(*found);
  }
  while (!host.empty()) {
    if (const auto found = hosts_.find(host); found != hosts_.end()) return Of(*found);
    const std::size_t dot = host.find('.');
    if (dot == std::string_view::npos) break;
    host.remove_prefix(dot + 1);
  }
  return {};
}

}  // namespace snipora::service
