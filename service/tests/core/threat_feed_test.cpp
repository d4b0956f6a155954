// Threat feeds read in each format they are published in, and matched as a
// creation's address is stored: a host with its subdomains (and no other
// host sharing its last letters), an address in its stored form.
#include <gtest/gtest.h>

#include <string>

#include "service/core/address_form.h"
#include "service/core/threat_feed.h"

namespace snipora::service {
namespace {

// What a matcher of one feed says of an address, by its stored form.
std::string Verdict(const ThreatMatcher& matcher, const std::string& address) {
  const StoredForm form = AcceptAddress(address, OwnHosts{}, DenyList{});
  if (form.refusal != Refusal::kAccepted) return "unreadable";
  const ThreatMatch match = matcher.Match({}, form.address);
  return match ? *match.entry : "";
}

ThreatMatcher MatcherOf(const std::string& text, FeedFormat expected) {
  const FeedEntries entries = ReadFeed(text);
  EXPECT_EQ(entries.format, expected) << text;
  ThreatMatcher matcher;
  matcher.Add("test", entries);
  return matcher;
}

TEST(ThreatFeed, EachFormatIsRecognisedByItsContent) {
  // a hosts file: the machine's own names and the sink address are no entries
  const ThreatMatcher hosts = MatcherOf(
      "# blocklist\n127.0.0.1 localhost\n::1 ip6-localhost\n0.0.0.0 0.0.0.0\n0.0.0.0 Phish.Example  # seen 2026\n"
      "127.0.0.1 a.example b.example\n",
      FeedFormat::kHosts);
  EXPECT_EQ(hosts.size(), 3u);
  EXPECT_EQ(Verdict(hosts, "http://login.phish.example/x"), "phish.example");
  EXPECT_EQ(Verdict(hosts, "http://b.example/"), "b.example");
  EXPECT_EQ(Verdict(hosts, "http://localhost/"), "");

  // one domain a line, with the adblock form and its options; exceptions are no entries
  const ThreatMatcher domains = MatcherOf(
      "! title: list\n[Adblock Plus 2.0]\n||bad.example^\n||worse.example^$third-party\n@@||good.example^\n"
      "*.wild.example\nplain.example # note\n",
      FeedFormat::kDomains);
  EXPECT_EQ(domains.size(), 4u);
  EXPECT_EQ(Verdict(domains, "https://cdn.worse.example/a"), "worse.example");
  EXPECT_EQ(Verdict(domains, "http://x.wild.example/"), "wild.example");
  EXPECT_EQ(Verdict(domains, "http://good.example/"), "");

  // one address a line: "#" is a fragment there, not a comment
  const ThreatMatcher urls = MatcherOf("# urls\nhttp://drop.example/payload.exe\nhttp://frag.example/a#b\n",
                                       FeedFormat::kUrls);
  EXPECT_EQ(Verdict(urls, "http://frag.example/a#b"), "http://frag.example/a#b");
  EXPECT_EQ(Verdict(urls, "http://frag.example/a"), "");

  // URLhaus's CSV: the header a comment, the url column wherever it stands
  const ThreatMatcher csv = MatcherOf(
      "################\n# id,dateadded,url,url_status,threat\n"
      "\"1\",\"2026-01-01 00:00:00\",\"http://mal.example/bin.sh\",\"online\",\"malware_download\"\n"
      "\"2\",\"2026-01-01 00:00:00\",\"ftp://mal.example/x\",\"online\",\"x\"\n",
      FeedFormat::kCsv);
  EXPECT_EQ(csv.size(), 1u);
  EXPECT_EQ(Verdict(csv, "http://mal.example/bin.sh"), "http://mal.example/bin.sh");
  EXPECT_EQ(Verdict(csv, "http://mal.example/other"), "");
}

TEST(ThreatFeed, AHostMatchesItsSubdomainsAndNothingThatMerelyEndsLikeIt) {
  const ThreatMatcher matcher = MatcherOf("evil.example\n10.6.6.6\nxn--bcher-kva.example\n", FeedFormat::kDomains);
  EXPECT_EQ(Verdict(matcher, "http://EVIL.example./"), "evil.example");
  EXPECT_EQ(Verdict(matcher, "http://a.b.evil.example:8080/"), "evil.example");
  EXPECT_EQ(Verdict(matcher, "http://notevil.example/"), "");
  EXPECT_EQ(Verdict(matcher, "http://example/"), "");
  // an address in another spelling is the same address; "6.6.6" is no parent of it
  EXPECT_EQ(Verdict(matcher, "http://0x0a060606/"), "10.6.6.6");
  EXPECT_EQ(Verdict(matcher, "http://1.10.6.6.6.example/"), "");
  // an internationalised name in either form
  EXPECT_EQ(Verdict(matcher, "http://www.bücher.example/"), "xn--bcher-kva.example");
}

TEST(ThreatFeed, AnAddressEntryMatchesItsStoredFormInAnySpelling) {
  const ThreatMatcher matcher = MatcherOf("HTTP://Phish.Example:80/login?a=b c\n", FeedFormat::kUrls);
  EXPECT_EQ(Verdict(matcher, "http://phish.example/login?a=b%20c"), "http://phish.example/login?a=b%20c");
  // another path on the host is not listed
  EXPECT_EQ(Verdict(matcher, "http://phish.example/"), "");
}

TEST(ThreatFeed, LinesThatAreNoEntryAreSkippedAndCounted) {
  // the last: a name IDNA maps to nothing (U+FEFF), which would match no link
  const FeedEntries entries =
      ReadFeed("good.example\nnot a host at all\n||\n0.0.0.0 bad!host\n\xff\xfe\n\xef\xbb\xbf\n");
  EXPECT_EQ(entries.hosts, std::vector<std::string>{"good.example"});
  EXPECT_EQ(entries.skipped, 5u);
  EXPECT_EQ(ReadFeed("# only comments\n\n").format, FeedFormat::kEmpty);
  // every entry is a host a link can have: stored again, it is itself
  for (const std::string& host : ReadFeed("7.............................\xef\xbb\xbf T.2.....\xef\xbb\xbf T.2\n").hosts)
    EXPECT_EQ(StoredHostOf(host).host, host);
}

TEST(ThreatFeed, TheFirstFeedListingAnEntryNamesIt) {
  ThreatMatcher matcher;
  matcher.Add("first", ReadFeed("shared.example\n"));
  matcher.Add("second", ReadFeed("shared.example\nonly.example\n"));
  const StoredForm shared = AcceptAddress("http://shared.example/", OwnHosts{}, DenyList{});
  const StoredForm only = AcceptAddress("http://only.example/", OwnHosts{}, DenyList{});
  EXPECT_EQ(*matcher.Match({}, shared.address).feed, "first");
  EXPECT_EQ(*matcher.Match({}, only.address).feed, "second");
}

}  // namespace
}  // namespace snipora::service
