// Writes the seed corpora of the fuzz targets: real files from the tests'
// own generators, and the requests and pages the program really exchanges.
//
//   make_seeds <folder>      (one sub-folder per target)
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "tests/runtime/picture/sample_pictures.h"
#include "tests/support/local_service/service_answers.h"

using namespace snipora::test;
namespace fs = std::filesystem;

namespace {

fs::path root;

void Write(const std::string& target, const std::string& name, const void* bytes, std::size_t size) {
  const fs::path folder = root / target;
  fs::create_directories(folder);
  std::ofstream(folder / name, std::ios::binary).write(static_cast<const char*>(bytes), std::streamsize(size));
}
void Write(const std::string& target, const std::string& name, const ByteVector& file) {
  Write(target, name, file.data(), file.size());
}
void Write(const std::string& target, const std::string& name, const std::string& text) {
  Write(target, name, text.data(), text.size());
}

Pixels Gradient(int width, int height, bool translucent = false) {
  Pixels p{width, height, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t alpha = translucent ? uint32_t(x * 255 / width) : 255;
      p.argb.push_back(alpha << 24 | uint32_t(x * 255 / width) << 16 | uint32_t(y * 255 / height) << 8 |
                       uint32_t((x + y) * 7 & 0xFF));
    }
  return p;
}

std::vector<uint8_t> Indices(std::size_t count, int colours) {
  std::vector<uint8_t> indices(count);
  for (std::size_t i = 0; i < count; ++i) indices[i] = uint8_t(i * 5 % colours);
  return indices;
}

void PictureSeeds() {
  const std::vector<uint32_t> palette = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
  Write("bitmap_header", "24bit.bmp", BitmapFile24(Gradient(5, 3)));
  Write("bitmap_header", "8bit-top-down.bmp", BitmapFile8TopDown(5, 3, palette, Indices(15, 4)));

  Write("gif_structure", "87a.gif", GifFile(5, 3, palette, Indices(15, 4)));
  Write("gif_structure", "89a-transparent.gif", GifFile(7, 4, palette, Indices(28, 4), 1));
  Write("gif_structure", "status.gif", StatusImage());

  Write("icon_directory", "dib32.ico", IconFile({{Gradient(16, 16, true), 32}}));
  Write("icon_directory", "dib24-two-sizes.ico", IconFile({{Gradient(16, 16), 24}, {Gradient(32, 32), 24}}));
  Write("icon_directory", "png.ico", IconFile({{Gradient(8, 8, true), 32, true}}));
  Write("icon_directory", "cursor.cur", IconFile({{Gradient(16, 16, true), 32}}, true));

  PcxSample vga{.width = 7, .height = 3, .bitsPerPixel = 8, .planes = 1, .bytesPerLine = 8, .lines = Indices(24, 40)};
  vga.vgaPalette = std::vector<uint32_t>(256, 0xFF204060);
  Write("pcx", "8bit-vga.pcx", PcxFile(vga));
  PcxSample rgb{.width = 5, .height = 3, .bitsPerPixel = 8, .planes = 3, .bytesPerLine = 6, .lines = Indices(54, 200)};
  Write("pcx", "24bit.pcx", PcxFile(rgb));
  PcxSample ega{.width = 9,
                .height = 2,
                .bitsPerPixel = 1,
                .planes = 4,
                .bytesPerLine = 2,
                .version = 2,
                .headerPalette = {palette.begin(), palette.end()},
                .lines = Indices(16, 256)};
  Write("pcx", "4-planes.pcx", PcxFile(ega));
  PcxSample mono{.width = 12,
                 .height = 2,
                 .bitsPerPixel = 1,
                 .planes = 1,
                 .bytesPerLine = 2,
                 .raw = true,
                 .lines = Indices(4, 256)};
  Write("pcx", "mono-raw.pcx", PcxFile(mono));

  Write("jpeg", "colour.jpg", JpegFile(Gradient(19, 11), JpegKind::Colour, 90));
  Write("jpeg", "grey.jpg", JpegFile(Gradient(9, 7), JpegKind::Grey, 80));
  Write("jpeg", "progressive.jpg", JpegFile(Gradient(17, 9), JpegKind::Progressive, 75));
  Write("jpeg", "cmyk.jpg", JpegFile(Gradient(8, 8), JpegKind::Cmyk, 90));

  // the format recogniser sees the first bytes of every kind, PNG included
  fs::create_directories(root / "picture_format");
  for (const auto& folder : {"bitmap_header", "gif_structure", "icon_directory", "pcx", "jpeg"})
    for (const auto& entry : fs::directory_iterator(root / folder))
      fs::copy_file(entry.path(),
                    root / "picture_format" / (std::string(folder) + "-" + entry.path().filename().string()),
                    fs::copy_options::overwrite_existing);
  Write("picture_format", "image.png", PngFile(Gradient(4, 4, true)));
}

void TextSeeds() {
  const std::string page = CreatedPage("snip.invalid/Ab3", "http://example.com/a?b=1");
  Write("short_address", "created.html", page);
  Write("short_address", "message.html", MessagePage(404, "No such short address."));
  Write("short_address", "gbk.html", std::string("\xC7\xEB\xD4\xDA") + page);  // GBK text before the markers

  // text_primitives: flags, start and count (little-endian), a split point, then the bytes
  auto arguments = [](uint8_t flags, int32_t start, int32_t count, uint8_t split) {
    std::string a(1, char(flags));
    for (int32_t v : {start, count})
      for (int i = 0; i < 4; ++i) a += char(uint32_t(v) >> (8 * i));
    return a + char(split);
  };
  Write("text_primitives", "find-marker", arguments(0, 0, 5, 200) + page + "</b><br><small>");
  Write("text_primitives", "find-ignoring-case", arguments(3, 2, 3, 128) + "xxabcxABC");
  Write("text_primitives", "gbk",
        arguments(1, 3, 10, 100) + "\xC7\xEB\xD4\xDA\xB4\xCB\xCA\xE4\xC8\xEB\xC4\xFA\xB5\xC4\xCD\xF8\xD6\xB7" + "\xC7");
  Write("text_primitives", "bytes-with-zeros", arguments(2, 5, 8, 50) + std::string("ab\0cd\1\2\3\4\5\6\7", 12));

  for (const char* value : {"500", "1000000", "102399", " 77", "-5", "0", "+12", "99999999999999999999999"})
    Write("read_size", std::string("length-") + value, std::string(value));

  const std::string agent = "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\nAccept: */*\r\n\r\n";
  Write("request_head", "origin-form",
        "GET /create.php?source=indexpage&url=http%3A%2F%2Fexample.com&submit=Make+TinyURL%21&alias= HTTP/1.0\r\n"
        "Host: 127.0.0.1:8080\r\n" +
            agent);
  Write("request_head", "absolute-form",
        "GET http://snip.invalid:80/create.php?source=indexpage&url=http%3A%2F%2Fa%20b HTTP/1.0\r\n" + agent);
  Write("request_head", "status-image", "GET http://status.snipora.invalid/online.gif?id=10001 HTTP/1.0\r\n\r\n");
  Write("request_head", "lf-only", "POST /x HTTP/1.1\nHost: h\n\n");

  Write("service_request", "program-form",
        "/create.php?source=indexpage&url=http%3A%2F%2Fexample.com%2Fa%3Fb%3D1&submit=Make+TinyURL%21&alias=");
  Write("service_request", "absolute-form-alias",
        "http://snip.invalid/create.php?source=indexpage&url=https%3A%2F%2F%E4%B8%AD.example&alias=my-link");
  Write("service_request", "credentials", "/create.php?url=http%3A%2F%2Fuser%3Apw%40www.spam.example%3A8080%2F");
  Write("service_request", "json", R"({"url": "http://[::1]:80/\u4e2d\ud83d\ude00", "alias": null, "n": 1})");
  Write("service_request", "json-change",
        R"({"expires":"2026-12-31T00:00:00Z","max_clicks":5,"disabled":false,"public_note":"\u00e9 \"q\"",)"
        R"("url":"http://e.com/","url":"http://f.example/","x":[1.5e3,-0,{"y":[true,null]}]})");
  Write("service_request", "json-deepest", std::string(32, '[') + "\"[{\\\"\"" + std::string(32, ']'));
  Write("service_request", "iso-time", "2030-01-02T03:04:05.678-05:30");
  Write("service_request", "bad-escape", "/create.php?url=http%3A%2F%2Fe.com%2F%G1");
  Write("service_request", "idna-host",
        "http://XN--FSQU00A.CN:80/%e8%b7%af?q=\xE4\xB8\xAD#\xE2\x80\xAE%E4%B8");
  Write("service_request", "mapped-host", "https://\xEF\xBD\x85x.com\xE3\x80\x82" "cn.:443/a b%zz\\\xFF");
  // the spellings of one IPv4 address browsers read, and ones they refuse
  for (const auto& [name, host] : std::initializer_list<std::pair<const char*, const char*>>{
           {"ipv4-decimal", "168166918"}, {"ipv4-hex", "0X0a060606."}, {"ipv4-octal", "012.06.06.06"},
           {"ipv4-short", "10.6.1542"}, {"ipv4-mixed", "0xa.6.0x6.06"}, {"ipv4-overflow", "0x1ffffffff"},
           {"ipv4-five-parts", "1.2.3.4.5"}, {"ipv4-bad-octal", "08.1.1.1"},
           {"ipv4-full-width", "\xEF\xBC\x91\xEF\xBC\x90\xE3\x80\x82" "6.6.6"},
           {"ipv6-mapped", "[::ffff:10.6.6.6]"}, {"ipv6-mapped-hex", "[::FFFF:A06:606]"},
           {"ipv6-runs", "[0:0:1:0:0:0:0:1]"}, {"ipv6-embedded", "[64:ff9b::10.6.6.6]"}})
    Write("service_request", name, std::string("http://") + host + ":8080/p");

  // service_head: heads a client or a proxy sends, and every way of framing
  // a body twice that the service refuses
  const std::string post = "POST /api/v1/links HTTP/1.1\r\nHost: snip.invalid:8080\r\n";
  const std::string chunk = "\r\n\r\n5\r\nhello\r\n0\r\n\r\n";
  Write("service_head", "program",
        "GET /create.php?source=indexpage&url=http%3A%2F%2Fe.com%2F HTTP/1.0\r\nHost: 127.0.0.1:8080\r\n" + agent);
  Write("service_head", "absolute-form",
        "GET http://user:pw@SNIP.invalid./yourls-api.php?signature=k&Signature=&api%4Bey=x&key HTTP/1.1\r\n"
        "Host: [::1]:80\r\n\r\n");
  Write("service_head", "chunked", post + "Transfer-Encoding: chunked" + chunk);
  Write("service_head", "two-lengths", post + "Content-Length: 5\r\nContent-Length: 40\r\n\r\nhelloGET /metrics");
  Write("service_head", "space-before-colon", post + "Content-Length : 5\r\n\r\nhello");
  Write("service_head", "folded", post + "Transfer-Encoding:\r\n chunked" + chunk);
  Write("service_head", "encoding-and-length", post + "Content-Length: 3\r\nTransfer-Encoding: chunked" + chunk);
  Write("service_head", "no-host", "GET /healthz HTTP/1.1\r\n\r\n");
  Write("service_head", "two-hosts", "GET /healthz HTTP/1.1\r\nHost: snip.invalid\r\nhost: 127.0.0.1\r\n\r\n");
  Write("service_head", "gzip-chunked", post + "Transfer-Encoding: gzip, chunked" + chunk);
  Write("service_head", "identity", post + "Transfer-Encoding: identity\r\n\r\nhello");
  Write("service_head", "xchunked", post + "Transfer-Encoding: xchunked" + chunk);
  Write("service_head", "http10-chunked", "POST /x HTTP/1.0\nTransfer-Encoding: Chunked\n\n");

  Write("service_csv", "export",
        "\x03code,address,created,clicks\r\nab3dE9x,\"http://e.com/?q=\"\"a,b\"\"\",2026-12-09T16:36:10Z,12\r\n"
        "multi,\"http://e.com/\r\nline\",1700000000,0\r\nlast,http://e.com/,0,0");
  Write("service_csv", "malformed", "\x01a,b\"c\nd,\"e\"f\n\"open,g\r\n");
  Write("service_threat_feed", "hosts", "# list\n127.0.0.1 localhost\n0.0.0.0 Phish.Example a.b\n::1 x\n");
  Write("service_threat_feed", "domains", "! adblock\n||bad.example^$third-party\n@@||ok.example^\n*.w.example\nb\xC3\xBC" "cher.example\n");
  Write("service_threat_feed", "urls", "HTTP://E.com:80/a b#frag\nhttps://[::1]:8443/?q=%41\nftp://x/\n");
  Write("service_threat_feed", "csv",
        "# id,dateadded,url,url_status\n\"1\",\"2026-12-01\",\"http://mal.example/bin\",\"online\"\n\"2\",\"open\n");
  // an answer listing snip.invalid.dbl.test at 127.0.1.2, the question's name pointed to
  Write("service_dns_answer", "listed",
        std::string("\x12\x34\x81\x80\x00\x01\x00\x01\x00\x00\x00\x00"
                    "\x04snip\x07invalid\x03" "dbl\x04test\x00\x00\x01\x00\x01"
                    "\xc0\x0c\x00\x01\x00\x01\x00\x00\x00\x3c\x00\x04\x7f\x00\x01\x02", 55));
  Write("service_dns_answer", "nxdomain", std::string("\x12\x34\x81\x83\x00\x00\x00\x00\x00\x00\x00\x00", 12));
  Write("service_yourls_dump", "dump",
        "-- MySQL dump\n/*!40101 SET NAMES utf8mb4 */;\nINSERT INTO `yourls_url` VALUES ('a1','http://e.com/?q=it\\'s',"
        "'T\\n\\0\\Z\\%','2019-03-04 05:06:07','10.0.0.1',12),('b2','http://e.com/','','0000-00-00 00:00:00',NULL,0);\n"
        "INSERT INTO yourls_url (`url`,`keyword`) VALUES (0x687474703a2f2f652e636f6d2f,_binary 'c3');\n");
  Write("service_shlink_csv", "export",
        "createdAt,domain,shortCode,shortUrl,longUrl,title,tags,visits\r\n2024-05-06T07:08:09+02:00,s.example,abc,"
        "https://s.example/abc,\"https://e.com/?a=1,2\",\"A, \"\"b\"\"\",x|y,4\r\n");
  Write("service_link_lines", "export",
        "{\"domain\":\"s.example\",\"code\":\"a\",\"address\":\"http://e.com/\",\"created\":\"2026-01-01T00:00:00Z\","
        "\"clicks\":3,\"tags\":[\"x\"],\"state\":\"disabled\",\"expires\":null,\"daily\":{\"2026-01-01\":3}}\n"
        "{\"data\":[{\"address\":\"k\",\"target\":\"http://e.com/\",\"domain\":null,\"visit_count\":null}]}\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds <folder>\n");
    return 2;
  }
  root = argv[1];
  PictureSeeds();
  TextSeeds();
  return 0;
}
