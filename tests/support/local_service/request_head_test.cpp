#include "tests/support/local_service/request_head.h"

#include <gtest/gtest.h>

using namespace snipora::test;

namespace {

TEST(ParseRequestHead, OriginForm) {
  const auto head = ParseRequestHead("GET /create.php?url=a&b=c HTTP/1.0\r\nHost: snip.invalid\r\n\r\n");
  ASSERT_TRUE(head.has_value());
  EXPECT_EQ(head->method, "GET");
  EXPECT_EQ(head->target, "/create.php?url=a&b=c");
  EXPECT_EQ(head->version, "HTTP/1.0");
  EXPECT_EQ(head->host, "snip.invalid");
  EXPECT_EQ(head->path, "/create.php");
  EXPECT_EQ(head->query, "url=a&b=c");
  EXPECT_FALSE(head->absolute);
}

TEST(ParseRequestHead, AbsoluteFormAsAProxyGetsIt) {
  auto head = ParseRequestHead("GET http://snip.invalid:80/Ab3?x=1 HTTP/1.0\r\nHost: other\r\n\r\n");
  ASSERT_TRUE(head.has_value());
  EXPECT_TRUE(head->absolute);
  EXPECT_EQ(head->host, "snip.invalid:80");
  EXPECT_EQ(head->path, "/Ab3");
  EXPECT_EQ(head->query, "x=1");

  head = ParseRequestHead("GET HTTP://Status.Snipora.Invalid?id=1 HTTP/1.1\n\n");
  ASSERT_TRUE(head.has_value());
  EXPECT_EQ(head->host, "Status.Snipora.Invalid");
  EXPECT_EQ(head->path, "/");
  EXPECT_EQ(head->query, "id=1");
}

TEST(ParseRequestHead, FragmentAndMissingHostHeader) {
  const auto head = ParseRequestHead("GET /a#b?c HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(head.has_value());
  EXPECT_EQ(head->path, "/a");
  EXPECT_EQ(head->query, "");
  EXPECT_EQ(head->host, "");
}

TEST(ParseRequestHead, MalformedLinesAreRefused) {
  for (const char* bad : {"", "GET\r\n\r\n", "GET /\r\n\r\n", "get / HTTP/1.0\r\n\r\n", "GET / FTP/1.0\r\n\r\n",
                          "GET  HTTP/1.0\r\n\r\n", "GET a/b HTTP/1.0\r\n\r\n", "GET * HTTP/1.0\r\n\r\n",
                          "GET http:// HTTP/1.0\r\n\r\n", "GET http:///x HTTP/1.0\r\n\r\n",
                          "CONNECT snip.invalid:443 HTTP/1.1\r\n\r\n", "GET / x HTTP/1.0\r\n\r\n",
                          "ABCDEFGHIJKLMNOPQ / HTTP/1.0\r\n\r\n"})
    EXPECT_FALSE(ParseRequestHead(bad).has_value()) << bad;
}

TEST(FindHeadEnd, BlankLineEndsTheHead) {
  EXPECT_EQ(FindHeadEnd("GET / HTTP/1.0\r\nHost: a\r\n"), std::string::npos);
  EXPECT_EQ(FindHeadEnd("GET / HTTP/1.0\r\n\r\nbody"), 18u);
  EXPECT_EQ(FindHeadEnd("GET / HTTP/1.0\n\nbody"), 16u);
  EXPECT_EQ(FindHeadEnd(""), std::string::npos);
}

TEST(CannotBeHttp, OnlyCapitalsAndASpaceMayStartARequest) {
  EXPECT_FALSE(CannotBeHttp(""));
  EXPECT_FALSE(CannotBeHttp("GE"));
  EXPECT_FALSE(CannotBeHttp("GET /"));
  EXPECT_TRUE(CannotBeHttp(std::string("\x16\x03\x01\x02\x00", 5)));  // a TLS handshake
  EXPECT_TRUE(CannotBeHttp(" GET /"));
  EXPECT_TRUE(CannotBeHttp("get /"));
  EXPECT_TRUE(CannotBeHttp("GET\r\n"));
  EXPECT_TRUE(CannotBeHttp("ABCDEFGHIJKLMNOPQ"));
  EXPECT_FALSE(CannotBeHttp("ABCDEFGHIJKLMNOP"));
}

TEST(QueryValue, FormDecoding) {
  const std::string query = "source=indexpage&url=http%3A%2F%2Fa.invalid%2F%E4%B8%AD+x%26y%3D1&submit=Make+It%21&alias=";
  EXPECT_EQ(QueryValue(query, "url"), std::optional<std::string>("http://a.invalid/\xE4\xB8\xAD x&y=1"));
  EXPECT_EQ(QueryValue(query, "submit"), std::optional<std::string>("Make It!"));
  EXPECT_EQ(QueryValue(query, "alias"), std::optional<std::string>(""));
  EXPECT_EQ(QueryValue(query, "missing"), std::nullopt);
  EXPECT_EQ(QueryValue("url", "url"), std::optional<std::string>(""));
  EXPECT_EQ(QueryValue("", "url"), std::nullopt);
  EXPECT_EQ(QueryValue("u%72l=a&url=b", "url"), std::optional<std::string>("a"));  // the first, keys decoded
}

TEST(PercentDecode, MalformedEscapesStayAsTheyAre) {
  EXPECT_EQ(PercentDecode("%zz%4%", true), "%zz%4%");
  EXPECT_EQ(PercentDecode("a%00b", false), std::string("a\0b", 3));
  EXPECT_EQ(PercentDecode("a+b%2B", false), "a+b+");
  EXPECT_EQ(PercentDecode("a+b%2B", true), "a b+");
}

}  // namespace
