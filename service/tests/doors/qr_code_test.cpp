// The QR code of a short address over real sockets: both formats scanned back
// with zbarimg at every error-correction level, the whole-pixel module rule,
// refused parameters, unknown codes, ETag revalidation and HEAD.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>

#include "service/core/pages.h"
#include "service/store/sqlite_store.h"
#include "service/tests/support/http_client.h"

namespace snipora::service {
namespace {

using test::Exchange;
using test::Get;
using test::Response;

// What a command printed on standard output; "" when it failed.
std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[256];
  while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, got);
  return pclose(pipe) == 0 ? out : "";
}

bool Have(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// A PNG's width and height from its header; 0s when it is not one.
struct PngHead {
  uint32_t width = 0, height = 0;
  int depth = 0, colour = -1;
};
PngHead ReadPngHead(const std::string& bytes) {
  PngHead head;
  if (bytes.size() < 26 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || bytes.compare(12, 4, "IHDR") != 0)
    return head;
  auto word = [&](std::size_t at) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
  };
  head.width = word(16);
  head.height = word(20);
  head.depth = static_cast<unsigned char>(bytes[24]);
  head.colour = static_cast<unsigned char>(bytes[25]);
  return head;
}

// The SVG's side in modules (its viewBox) and in pixels (its width).
std::pair<int, int> SvgSides(const std::string& svg) {
  std::smatch found;
  const std::regex pattern(R"re(width="(\d+)" height="\1" viewBox="0 0 (\d+) \2")re");
  if (!std::regex_search(svg, found, pattern)) return {0, 0};
  return {std::stoi(found[2]), std::stoi(found[1])};
}

class QrCode : public testing::Test {
 protected:
  void SetUp() override {
    Settings settings = test::TestSettings(dir_);
    service_ = std::make_unique<Service>(settings, OpenSqliteStore(settings.database), nullptr);
    port_ = service_->port();
    ASSERT_NE(port_, 0);
  }
  // The code of `address`, under `alias` when given.
  std::string Shorten(const std::string& address, const std::string& alias = "") {
    const std::string page = Get(port_, test::CreateTarget(address, alias)).body;
    const std::size_t start = page.find(kStartMarker);
    const std::size_t end = page.find(kEndMarker);
    if (start == std::string::npos || end == std::string::npos) return "";
    const std::string cut = page.substr(start + kStartMarker.size(), end - start - kStartMarker.size());
    return cut.substr(cut.find('/') + 1);
  }
  // What zbarimg reads from `bytes` (an SVG drawn to a PNG first; a PNG
  // enlarged `times` without smoothing first: zbar does not read a code of one
  // pixel a module).
  std::string Scan(const std::string& bytes, bool svg, int times = 1) {
    const std::string file = dir_.File(svg ? "qr.svg" : "qr.png");
    std::ofstream(file, std::ios::binary) << bytes;
    const std::string png = dir_.File("scanned.png");
    std::remove(png.c_str());
    std::string command = "cp '" + file + "' '" + png + "'";
    if (svg)
      command = Have("rsvg-convert") ? "rsvg-convert -o '" + png + "' '" + file + "'"
                                     : "convert '" + file + "' '" + png + "'";
    else if (times > 1)
      command = "convert '" + file + "' -scale " + std::to_string(times * 100) + "% '" + png + "'";
    if (std::system((command + " 2>/dev/null").c_str()) != 0) return "(not converted: " + command + ")";
    return Output("zbarimg --raw -q '" + png + "' 2>/dev/null");
  }

  test::TempDir dir_;
  std::unique_ptr<Service> service_;
  uint16_t port_ = 0;
};

TEST_F(QrCode, BothFormatsScanBackToTheShortAddressAtEveryLevel) {
  ASSERT_TRUE(Have("zbarimg")) << "zbarimg (zbar-tools) is needed";
  // mixed case: a code read back upper-cased would lead elsewhere
  const std::string code = Shorten("http://example.com/scan", "Scan_Me-qR9");
  ASSERT_EQ(code, "Scan_Me-qR9");
  for (const char* level : {"L", "M", "Q", "H"}) {
    for (const char* format : {"png", "svg"}) {
      const Response image =
          Get(port_, "/" + code + "/qr-code?format=" + format + "&errorCorrection=" + level + "&size=256");
      ASSERT_EQ(image.status, 200) << format << " " << level;
      EXPECT_EQ(image.Header("Content-Type"), std::string(format) == "png" ? "image/png" : "image/svg+xml");
      EXPECT_EQ(Scan(image.body, std::string(format) == "svg"), "http://snip.invalid/" + code + "?qr\n")
          << format << " " << level;
    }
  }
  // the defaults: SVG, scannable
  const Response plain = Get(port_, "/" + code + "/qr-code");
  ASSERT_EQ(plain.status, 200);
  EXPECT_EQ(plain.Header("Content-Type"), "image/svg+xml");
  EXPECT_NE(plain.body.find("shape-rendering=\"crispEdges\""), std::string::npos);
  EXPECT_EQ(SvgSides(plain.body).second, 300 / SvgSides(plain.body).first * SvgSides(plain.body).first);
  EXPECT_EQ(Scan(plain.body, true), "http://snip.invalid/" + code + "?qr\n");
}

TEST_F(QrCode, EveryModuleIsTheLargestWholeNumberOfPixelsThatFits) {
  const std::string code = Shorten("http://example.com/size");
  ASSERT_FALSE(code.empty());
  for (const int margin : {0, 4, 16}) {
    for (const int size : {64, 100, 300, 301, 1024}) {
      const std::string query = "?size=" + std::to_string(size) + "&margin=" + std::to_string(margin);
      const Response svg = Get(port_, "/" + code + "/qr-code" + query);
      const auto [modules, svgPixels] = SvgSides(svg.body);
      ASSERT_GT(modules, 0) << svg.body;
      const Response png = Get(port_, "/" + code + "/qr-code" + query + "&format=png");
      const PngHead head = ReadPngHead(png.body);
      // 1-bit grey, square, as large as whole modules allow within the size
      EXPECT_EQ(head.depth, 1);
      EXPECT_EQ(head.colour, 0);
      EXPECT_EQ(head.width, head.height);
      EXPECT_EQ(int(head.width), size / modules * modules) << query;
      EXPECT_EQ(svgPixels, int(head.width)) << query;
    }
  }
  // the quiet zone is in modules: 16 on each side
  const int narrow = SvgSides(Get(port_, "/" + code + "/qr-code?margin=0").body).first;
  const int wide = SvgSides(Get(port_, "/" + code + "/qr-code?margin=16").body).first;
  EXPECT_EQ(wide - narrow, 32);

  // too dense for the size asked: one pixel a module, larger than asked, and still readable
  const std::string dense = Shorten("http://example.com/dense", std::string(32, 'd'));
  ASSERT_EQ(dense, std::string(32, 'd'));
  const std::string query = "/" + dense + "/qr-code?format=png&size=64&margin=16&errorCorrection=H";
  const Response big = Get(port_, query);
  const int modules = SvgSides(Get(port_, "/" + dense + "/qr-code?size=64&margin=16&errorCorrection=H").body).first;
  ASSERT_GT(modules, 64);
  EXPECT_EQ(int(ReadPngHead(big.body).width), modules);
  EXPECT_EQ(Scan(big.body, false, 4), "http://snip.invalid/" + dense + "?qr\n");
}

TEST_F(QrCode, BadParametersAreRefusedWithASmallPage) {
  const std::string code = Shorten("http://example.com/bad");
  ASSERT_FALSE(code.empty());
  for (const char* query :
       {"format=gif", "format=PNG", "format=", "size=63", "size=1025", "size=abc", "size=-1", "size=+300", "size=",
        "size=300px", "size=99999999999999999999", "margin=17", "margin=-1", "margin=1.5", "errorCorrection=X",
        "errorCorrection=m", "errorCorrection=", "size=%G1"}) {
    const Response refused = Get(port_, "/" + code + "/qr-code?" + query);
    EXPECT_EQ(refused.status, 400) << query;
    EXPECT_EQ(refused.Header("Content-Type"), "text/html; charset=utf-8") << query;
    EXPECT_NE(refused.body.find("</html>"), std::string::npos) << query;
  }
  // at the bounds, and with fields it does not know (a language, say), it draws
  for (const char* query : {"size=64&margin=0", "size=1024&margin=16", "lang=en&errorCorrection=H"})
    EXPECT_EQ(Get(port_, "/" + code + "/qr-code?" + query).status, 200) << query;
}

TEST_F(QrCode, UnknownCodesAreNotFoundAndAnAliasCalledQrCodeStillRedirects) {
  EXPECT_EQ(Get(port_, "/zzzzzzz/qr-code").status, 404);
  EXPECT_EQ(Get(port_, "/zzzzzzz/qr-code?format=png").status, 404);
  EXPECT_EQ(Get(port_, "/a.b/qr-code").status, 404);
  EXPECT_EQ(Get(port_, "/a/b/qr-code").status, 404);
  EXPECT_EQ(Get(port_, "//qr-code").status, 404);
  // in the request's language, as the redirect answers
  const Response chinese = Exchange(port_, "GET /zzzzzzz/qr-code HTTP/1.0\r\nAccept-Language: zh\r\n\r\n");
  EXPECT_EQ(chinese.status, 404);
  EXPECT_NE(chinese.body.find("<html lang=\"zh-CN\">"), std::string::npos) << chinese.body;
  // "/qr-code" is the code qr-code itself, not the picture of an empty one
  ASSERT_EQ(Shorten("http://example.com/alias", "qr-code"), "qr-code");
  const Response redirect = Get(port_, "/qr-code");
  EXPECT_EQ(redirect.status, 301);
  EXPECT_EQ(redirect.Header("Location"), "http://example.com/alias");
  EXPECT_EQ(Get(port_, "/qr-code/qr-code").status, 200);
}

TEST_F(QrCode, AnImageIsNotAClick) {
  const std::string code = Shorten("http://example.com/clicks");
  ASSERT_FALSE(code.empty());
  // once from the store, then from the cache
  for (int i = 0; i < 2; ++i) ASSERT_EQ(Get(port_, "/" + code + "/qr-code").status, 200);
  ASSERT_EQ(Get(port_, "/" + code).status, 301);
  const Response info = Get(port_, "/api/v1/links/" + code);
  EXPECT_NE(info.body.find("\"clicks\":1,"), std::string::npos) << info.body;
}

TEST_F(QrCode, TheETagRevalidatesAndChangesWithEveryOption) {
  const std::string code = Shorten("http://example.com/etag");
  ASSERT_FALSE(code.empty());
  const std::string path = "/" + code + "/qr-code";
  const Response first = Get(port_, path + "?format=png");
  const std::string etag = first.Header("ETag");
  ASSERT_FALSE(etag.empty());
  EXPECT_EQ(etag.front(), '"');
  EXPECT_EQ(first.Header("Cache-Control"), "public, max-age=86400");
  EXPECT_EQ(Get(port_, path + "?format=png").Header("ETag"), etag);
  // the defaults spelt out are the same image
  EXPECT_EQ(Get(port_, path + "?format=png&size=300&margin=4&errorCorrection=M").Header("ETag"), etag);
  std::set<std::string> tags{etag};
  for (const char* other : {"?format=svg", "?format=png&size=301", "?format=png&margin=3",
                            "?format=png&errorCorrection=Q"})
    EXPECT_TRUE(tags.insert(Get(port_, path + other).Header("ETag")).second) << other;
  const std::string otherCode = Shorten("http://example.com/etag2");
  EXPECT_TRUE(tags.insert(Get(port_, "/" + otherCode + "/qr-code?format=png").Header("ETag")).second);

  auto conditional = [&](const std::string& target, const std::string& match, bool head = false) {
    return Exchange(port_, std::string(head ? "HEAD " : "GET ") + target + " HTTP/1.1\r\nHost: snip.invalid\r\n" +
                               "If-None-Match: " + match + "\r\nConnection: close\r\n\r\n",
                    head);
  };
  for (const std::string& match : {etag, "\"x\", W/" + etag, std::string("*")}) {
    const Response unchanged = conditional(path + "?format=png", match);
    EXPECT_EQ(unchanged.status, 304) << match;
    EXPECT_TRUE(unchanged.body.empty());
    EXPECT_EQ(unchanged.Header("ETag"), etag);
  }
  EXPECT_EQ(conditional(path + "?format=png", "\"x\"").status, 200);
  // the tag of another size is not this one's
  EXPECT_EQ(conditional(path + "?format=png&size=301", etag).status, 200);
  // an unknown code has no image to keep
  EXPECT_EQ(conditional("/zzzzzzz/qr-code", "*").status, 404);
}

TEST_F(QrCode, HeadAnswersTheHeadersWithoutTheImage) {
  const std::string code = Shorten("http://example.com/head");
  ASSERT_FALSE(code.empty());
  const std::string target = "/" + code + "/qr-code?format=png&size=200";
  const Response get = Get(port_, target);
  const Response head = Exchange(port_, "HEAD " + target + " HTTP/1.0\r\n\r\n", true);
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.Header("Content-Type"), "image/png");
  EXPECT_EQ(head.Header("Content-Length"), std::to_string(get.body.size()));
  EXPECT_EQ(head.Header("ETag"), get.Header("ETag"));
  EXPECT_TRUE(head.body.empty());
  EXPECT_EQ(Exchange(port_, "HEAD /zzzzzzz/qr-code HTTP/1.0\r\n\r\n", true).status, 404);
}

}  // namespace
}  // namespace snipora::service
