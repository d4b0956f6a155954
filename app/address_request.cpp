#include "app/address_request.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace snipora::app {
namespace {

constexpr char kRequestQuery[] = "/create.php?source=indexpage&url=";
constexpr char kRequestSuffix[] = "&submit=Make+TinyURL%21&alias=";
static_assert(sizeof kRequestSuffix - 1 == 30);

bool StartsWithIgnoringCase(const char* text, const char* prefix) {
  return FindText(text, prefix, std::nullopt, true) == 1;
}

bool Unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

// GBK to UTF-8; bytes that are not GBK become U+FFFD rather than vanish.
std::string ToUtf8(const char* gbk) {
  const int length = static_cast<int>(std::strlen(gbk));
  if (length == 0) return {};
  const int wide = MultiByteToWideChar(936, 0, gbk, length, nullptr, 0);
  std::wstring utf16(std::size_t(wide), L'\0');
  MultiByteToWideChar(936, 0, gbk, length, utf16.data(), wide);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string utf8(std::size_t(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

}  // namespace

Text WholeAddress(TextView typed) {
  if (StartsWithIgnoringCase(typed.c_str(), "http://") || StartsWithIgnoringCase(typed.c_str(), "https://"))
    return ToText(typed);
  return JoinText("http://", typed);
}

Text EscapeQueryValue(TextView gbk) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  for (unsigned char c : ToUtf8(gbk.c_str())) {
    if (Unreserved(c)) {
      escaped += static_cast<char>(c);
    } else {
      escaped += '%';
      escaped += kHex[c >> 4];
      escaped += kHex[c & 15];
    }
  }
  return TextFromBytes(escaped.data(), escaped.size());
}

Text ShorteningRequest(TextView serviceHost, TextView typed) {
  return JoinText("http://", serviceHost, kRequestQuery, EscapeQueryValue(WholeAddress(typed)), kRequestSuffix);
}

}  // namespace snipora::app
