// Hosts in the one form browsers read them in: every spelling of an IPv4
// address is that address to the deny list, the loop check and the stored
// form; what browsers refuse is refused; the service's own names in any
// spelling are a loop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/core/address_check.h"
#include "service/core/address_form.h"
#include "service/core/host_form.h"

namespace snipora::service {
namespace {

OwnHosts Own(std::string_view host) {
  OwnHosts own;
  EXPECT_TRUE(own.Add(host)) << host;
  return own;
}

// Each is 10.6.6.6 to a browser.
const std::vector<std::string> kSpellingsOf10666 = {
    "10.6.6.6.",                           // one trailing dot
    "168166918",                           // one decimal number
    "0x0a060606", "0XA060606",             // hex, either case
    "012.06.06.06", "0000000012.6.6.6",    // octal parts
    "10.6.1542", "10.394758",              // the last part fills the bytes left
    "0xa.6.0x6.06", "012.0x6.1542",        // mixed
    "[::ffff:10.6.6.6]", "[::FFFF:A06:606]",  // IPv4-mapped IPv6
    "[0:0:0:0:0:ffff:0a06:0606]",
    // IPv4 only once UTS #46 has mapped them: full-width digits and letters,
    // the ideographic full stop
    "１０.６.６.６", "10。6。6。6", "０ｘ０ａ０６０６０６",
};

TEST(HostForm, EverySpellingOfAnAddressIsDeniedLoopedAndStoredAsThatAddress) {
  const DenyList plain = DenyList::FromText("10.6.6.6\n");
  const DenyList spelled = DenyList::FromText("0x0a060606  # written another way\n");
  const DenyList mapped = DenyList::FromText("::ffff:a06:606\n");
  for (const std::string& spelling : kSpellingsOf10666) {
    const std::string address = "http://" + spelling + "/p";
    for (const DenyList* denied : {&plain, &spelled, &mapped})
      EXPECT_EQ(AcceptAddress(address, OwnHosts(), *denied).refusal, Refusal::kDeniedHost) << address;
    EXPECT_EQ(AcceptAddress(address, Own("10.6.6.6:8080"), DenyList()).refusal, Refusal::kOwnAddress) << address;
    EXPECT_EQ(AcceptAddress(address, Own("[::ffff:a06:606]"), DenyList()).refusal, Refusal::kOwnAddress) << address;
    // what the redirect sends and what the store keeps
    EXPECT_EQ(AcceptAddress(address, OwnHosts(), DenyList()).address, "http://10.6.6.6/p") << address;
  }
  // rows stored before in another spelling: the redirect's deny check reads
  // the host CheckAddress gives
  EXPECT_EQ(CheckAddress("http://0x0a060606/p", OwnHosts(), DenyList()).host, "10.6.6.6");
  EXPECT_EQ(CheckAddress("http://[::ffff:a06:606]:81/p", OwnHosts(), DenyList()).host, "10.6.6.6");
}

TEST(HostForm, NearbyAddressesAreOtherAddresses) {
  const DenyList denied = DenyList::FromText("10.6.6.6\n6.6\n");
  const std::pair<std::string, std::string> cases[] = {
      {"168164870", "10.5.254.6"},  // one digit off 10.6.6.6's number
      {"10.6.6.60", "10.6.6.60"},
      {"10.6.6.6.example", "10.6.6.6.example"},   // a name: it ends in a label
      {"[::10.6.6.6]", "[::a06:606]"},            // IPv4-compatible, not mapped
      {"[64:ff9b::10.6.6.6]", "[64:ff9b::a06:606]"},
      {"0x.0x.0x.0xg", "0x.0x.0x.0xg"},          // "0xg" is no number: a name
  };
  for (const auto& [host, stored] : cases) {
    const StoredForm form = AcceptAddress("http://" + host + "/", OwnHosts(), denied);
    EXPECT_EQ(form.refusal, Refusal::kAccepted) << host;
    EXPECT_EQ(form.address, "http://" + stored + "/") << host;
  }
}

TEST(HostForm, WhatBrowsersRefuseAsAHostIsMalformed) {
  for (const char* host : {
           "10.6.6.256", "256.6.6.6", "1.2.65536",  // a part too big for the bytes it fills
           "4294967296", "0x1ffffffff", "99999999999999999999999999",  // over 32 bits, however long
           "1.2.3.4.5",                                                // five parts
           "08.1.1.1", "0x0g.1.1.1", "1.2.3.09",                       // digits the base lacks
           "example.123", "example.0x1", "a..1",                       // a name ending in a number
           "[::ffff:10.6.6.256]", "[::ffff:010.6.6.6]", "[1::2::3]", "[1:2:3:4:5:6:7:8:9]", "[12345::]",
           "[::1.2.3]", "[zz::1]", "[:1]", "[1:]",
           "%31%30.6.6.6", "[::%31]",  // escapes in a host are never read
           "１０.６.６.２５６",         // malformed once IDNA has mapped it
       })
    EXPECT_EQ(AcceptAddress(std::string("http://") + host + "/", OwnHosts(), DenyList()).refusal, Refusal::kMalformed)
        << host;
}

TEST(HostForm, Ipv6IsWrittenCompressedInLowerCaseAndEachFormIsItsOwn) {
  const std::pair<const char*, const char*> cases[] = {
      {"[2001:DB8:0:0:0:0:0:1]", "[2001:db8::1]"},
      {"[2001:db8:0:0:1:0:0:1]", "[2001:db8::1:0:0:1]"},  // the first of two equal runs
      {"[2001:db8:0:1:0:0:0:1]", "[2001:db8:0:1::1]"},    // the longest run
      {"[2001:db8:1:1:1:1:0:1]", "[2001:db8:1:1:1:1:0:1]"},  // one zero is not a run
      {"[1:2:3:4:5:6:7::]", "[1:2:3:4:5:6:7:0]"},
      {"[0:0:0:0:0:0:0:0]", "[::]"},
      {"[1::]", "[1::]"},
      {"[0000:0000::0001]", "[::1]"},
      {"[::1.2.3.4]", "[::102:304]"},
      {"[::ffff:1.2.3.4]", "1.2.3.4"},
      {"0x7f.1", "127.0.0.1"},
      {"example.com", "example.com"},
  };
  for (const auto& [host, canonical] : cases) {
    EXPECT_EQ(CanonicalHost(host), canonical) << host;
    EXPECT_EQ(CanonicalHost(canonical), canonical) << canonical;
  }
}

TEST(OwnHosts, EveryNameOfTheServiceInAnySpellingAndAnyPortIsALoop) {
  OwnHosts own = Own("Snip.Example:8080");
  own.AddLoopback();
  for (const char* address : {
           "http://snip.example/x", "https://SNIP.EXAMPLE.:8443/x", "http://ｓｎｉｐ.example/x",
           "http://localhost:8080/loopA", "http://LOCALHOST./x", "http://app.localhost/x", "http://ｌｏｃａｌｈｏｓｔ/x",
           "http://127.0.0.1:8080/loopB", "http://127.1/x", "http://2130706433/x", "http://0x7f000001/x",
           "http://127.255.255.254/x",  // every loopback address, not 127.0.0.1 alone
           "http://１２７.０.０.１/x", "http://[::1]/x", "http://[0:0:0:0:0:0:0:1]:1/x", "http://[::ffff:7f00:1]/x",
           "http://0.0.0.0/x", "http://0/x", "http://[::]/x",  // a connection from the machine reaches it
       })
    EXPECT_EQ(AcceptAddress(address, own, DenyList()).refusal, Refusal::kOwnAddress) << address;
  for (const char* address : {"http://snip.example.org/x", "http://www.snip.example/x", "http://localhost.example/x",
                              "http://notlocalhost/x", "http://128.0.0.1/x", "http://126.255.255.255/x",
                              "http://[::2]/x", "http://[::ffff:128.0.0.1]/x"})
    EXPECT_EQ(AcceptAddress(address, own, DenyList()).refusal, Refusal::kAccepted) << address;
  // loopback only when the service is there
  EXPECT_EQ(AcceptAddress("http://localhost/x", Own("snip.example"), DenyList()).refusal, Refusal::kAccepted);

  OwnHosts names;
  for (const char* good : {"a.example", "[::1]:80", "::1", "0x7f.1", "例子.cn"}) EXPECT_TRUE(names.Add(good)) << good;
  for (const char* bad : {"", "1.2.3.4.5", "a b", "u@h", "h/x", "h:99999", "[::1"}) EXPECT_FALSE(names.Add(bad)) << bad;
  EXPECT_TRUE(names.Holds("xn--fsqu00a.cn"));  // as the stored form's check sees it
  std::string bad;
  EXPECT_TRUE(names.AddList(" b.example , [::2]:80,,", &bad));
  EXPECT_TRUE(names.Holds("[::2]"));
  EXPECT_FALSE(names.AddList("c.example, 10.6.6.256", &bad));
  EXPECT_EQ(bad, "10.6.6.256");
}

}  // namespace
}  // namespace snipora::service
