#include "tests/support/local_service/service_answers.h"

#include <cstdint>

namespace snipora::test {
namespace {

// Codes of 8 bits (minimum code size 7) need no compression: a clear code
// ahead of every run of at most 100 pixels keeps the table from growing wider.
std::string MakeStatusImage() {
  constexpr int kSize = 16;
  constexpr unsigned char kClear = 128, kEnd = 129;
  std::string gif = "GIF89a";
  auto word = [&gif](int value) {
    gif.push_back(char(value & 0xFF));
    gif.push_back(char(value >> 8));
  };
  word(kSize);
  word(kSize);
  gif += std::string("\x91\x00\x00", 3);  // global table of 4 colours, background 0
  gif += std::string("\xFF\xFF\xFF" "\x2E\xB8\x4A" "\x1B\x7A\x2F" "\x00\x00\x00", 12);
  gif.push_back('\x2C');
  word(0);
  word(0);
  word(kSize);
  word(kSize);
  gif.push_back('\0');
  gif.push_back('\x07');

  std::string codes;
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      if ((y * kSize + x) % 100 == 0) codes.push_back(char(kClear));
      const int dx = 2 * x - 15, dy = 2 * y - 15, d = dx * dx + dy * dy;
      codes.push_back(char(d <= 120 ? 1 : d <= 196 ? 2 : 0));
    }
  }
  codes.push_back(char(kEnd));
  for (std::size_t at = 0; at < codes.size(); at += 255) {
    const std::string block = codes.substr(at, 255);
    gif.push_back(char(block.size()));
    gif += block;
  }
  gif.push_back('\0');
  gif.push_back('\x3B');
  return gif;
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&#39;"; break;
      default: escaped.push_back(c);
    }
  }
  return escaped;
}

std::string CreatedPage(std::string_view shortAddress, std::string_view address) {
  const std::string shortText = HtmlEscape(shortAddress);
  std::string page =
      "<!DOCTYPE html>\n<html>\n<head><meta charset=\"utf-8\"><title>Snip: short address made</title></head>\n"
      "<body>\n<h1>Snip</h1>\n<p>The long address</p>\n<blockquote><b>";
  page += HtmlEscape(address);
  page += "</b></blockquote>\n<p>now has a short address:</p>\n<blockquote><b>http://";
  page += shortText;
  page += kShortStartMarker;
  page += shortText;
  page += kShortEndMarker;
  page += "\n<p><a href=\"/\">Make another</a></p>\n</body>\n</html>\n";
  return page;
}

std::string MessagePage(int status, std::string_view text) {
  const std::string title = std::to_string(status) + " " + ReasonPhrase(status);
  return "<!DOCTYPE html>\n<html>\n<head><title>" + title + "</title></head>\n<body>\n<h1>" + title +
         "</h1>\n<p>" + HtmlEscape(text) + "</p>\n</body>\n</html>\n";
}

const std::string& StatusImage() {
  static const std::string image = MakeStatusImage();
  return image;
}

std::string LocationValue(std::string_view address) {
  static const char hex[] = "0123456789ABCDEF";
  std::string value;
  for (const char ch : address) {
    const auto c = static_cast<unsigned char>(ch);
    if (c > 0x20 && c < 0x7F) {
      value.push_back(ch);
    } else {
      value.push_back('%');
      value.push_back(hex[c >> 4]);
      value.push_back(hex[c & 15]);
    }
  }
  return value;
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Unknown";
  }
}

std::string AnswerHead(const Answer& answer, long long contentLength) {
  std::string head = "HTTP/1.0 " + std::to_string(answer.status) + " " + ReasonPhrase(answer.status) + "\r\n";
  for (const auto& [name, value] : answer.headers) head += name + ": " + value + "\r\n";
  if (contentLength >= 0) head += "Content-Length: " + std::to_string(contentLength) + "\r\n";
  head += "Connection: close\r\n\r\n";
  return head;
}

std::string ShortAddressIn(std::string_view page) {
  const std::string_view start(kShortStartMarker), end(kShortEndMarker);
  const auto from = page.find(start);
  if (from == std::string_view::npos) return {};
  const auto to = page.find(end, from + start.size());
  if (to == std::string_view::npos) return {};
  return std::string(page.substr(from + start.size(), to - from - start.size()));
}

}  // namespace snipora::test
