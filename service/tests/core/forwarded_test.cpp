// Who a request speaks for behind a proxy: the trusted ranges, and the walk
// over X-Forwarded-For and Forwarded that a forged header must not fool.
#include <gtest/gtest.h>

#include "service/core/forwarded.h"

namespace snipora::service {
namespace {

AddressRanges Ranges(std::string_view text) {
  std::string error;
  std::optional<AddressRanges> ranges = AddressRanges::Parse(text, &error);
  EXPECT_TRUE(ranges) << text << ": " << error;
  return ranges ? *ranges : AddressRanges();
}

TEST(TrustedProxies, RangesHoldTheirAddressesOnlyInEitherFamily) {
  const AddressRanges ranges = Ranges("10.0.0.0/8, 192.168.1.7 fd00::/8,::1 172.16.0.0/12");
  for (const char* in : {"10.0.0.1", "10.255.255.255", "192.168.1.7", "::ffff:10.1.2.3", "fd12::5", "::1",
                         "172.31.255.255"})
    EXPECT_TRUE(ranges.Contains(in)) << in;
  for (const char* out : {"11.0.0.1", "192.168.1.8", "fe80::1", "::2", "172.32.0.0", "9.255.255.255", "", "x",
                          "10.0.0.1:80"})
    EXPECT_FALSE(ranges.Contains(out)) << out;
  // a range whose length leaves part of a byte
  EXPECT_TRUE(Ranges("100.64.0.0/10").Contains("100.127.0.1"));
  EXPECT_FALSE(Ranges("100.64.0.0/10").Contains("100.128.0.1"));
  EXPECT_TRUE(Ranges("0.0.0.0/0").Contains("8.8.8.8"));
  EXPECT_FALSE(Ranges("0.0.0.0/0").Contains("2001:db8::1"));

  std::string error;
  for (const char* bad : {"10.0.0.0/33", "::/129", "10.0.0.0/", "10.0.0/8", "example.org", "10.0.0.1/8x", "1.2.3.4/-1"}) {
    EXPECT_FALSE(AddressRanges::Parse(bad, &error)) << bad;
    EXPECT_NE(error.find(bad), std::string::npos) << error;
  }
  EXPECT_TRUE(Ranges("").empty());
}

TEST(TrustedProxies, TheClientIsTheRightMostUntrustedHopAndNeverAForgery) {
  const AddressRanges proxies = Ranges("127.0.0.1, 10.0.0.0/8");
  // not from a trusted peer: the headers are anyone's to write
  EXPECT_EQ(ForwardedClient("203.0.113.9", "1.2.3.4", "for=5.6.7.8", proxies), "203.0.113.9");
  EXPECT_EQ(ForwardedClient("203.0.113.9", "1.2.3.4", "", AddressRanges()), "203.0.113.9");
  // a client's forged entry stays to the left of what the proxies appended
  EXPECT_EQ(ForwardedClient("127.0.0.1", "6.6.6.6, 198.51.100.7, 10.1.1.1", "", proxies), "198.51.100.7");
  EXPECT_EQ(ForwardedClient("127.0.0.1", " 198.51.100.7 ", "", proxies), "198.51.100.7");
  // only proxies on the way: the furthest
  EXPECT_EQ(ForwardedClient("127.0.0.1", "10.0.0.5, 10.0.0.6", "", proxies), "10.0.0.5");
  // no header, or one that cannot be read where it matters: the peer itself
  EXPECT_EQ(ForwardedClient("127.0.0.1", "", "", proxies), "127.0.0.1");
  EXPECT_EQ(ForwardedClient("127.0.0.1", "198.51.100.7, unknown", "", proxies), "127.0.0.1");
  EXPECT_EQ(ForwardedClient("127.0.0.1", ",", "", proxies), "127.0.0.1");
  // addresses in their canonical text, ports taken off
  EXPECT_EQ(ForwardedClient("127.0.0.1", "2001:DB8:0:0::1", "", proxies), "2001:db8::1");
  EXPECT_EQ(ForwardedClient("127.0.0.1", "198.51.100.7:4711", "", proxies), "198.51.100.7");
  EXPECT_EQ(ForwardedClient("127.0.0.1", "::ffff:198.51.100.7", "", proxies), "198.51.100.7");

  // Forwarded (RFC 7239) when there is no X-Forwarded-For
  EXPECT_EQ(ForwardedClient("127.0.0.1", "", "for=6.6.6.6, for=\"[2001:db8::7]:4711\";proto=http;by=10.0.0.1",
                            proxies),
            "2001:db8::7");
  EXPECT_EQ(ForwardedClient("127.0.0.1", "", "proto=https;For=198.51.100.7, for=10.2.2.2", proxies), "198.51.100.7");
  EXPECT_EQ(ForwardedClient("127.0.0.1", "", "for=_hidden", proxies), "127.0.0.1");
  EXPECT_EQ(ForwardedClient("127.0.0.1", "", "for=\"[2001:db8::7", proxies), "127.0.0.1");
  // X-Forwarded-For is what the proxy is set up to write when both come
  EXPECT_EQ(ForwardedClient("127.0.0.1", "198.51.100.7", "for=6.6.6.6", proxies), "198.51.100.7");
}

}  // namespace
}  // namespace snipora::service
