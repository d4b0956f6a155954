#pragma once
// What the local service answers: its pages, the status picture, and the
// HTTP head around them.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace snipora::test {

// The short address stands between these two, without its scheme, exactly as
// the program expects to find it.
inline constexpr char kShortStartMarker[] = "</b><br><small>[<a href=\"http://";
inline constexpr char kShortEndMarker[] = "\" target=\"_blank\">Open in new window</a>]</small></blockquote>";

// What stands between the markers of `page`, or "" when they are not both there
// in that order: how a client of the service finds the short address.
std::string ShortAddressIn(std::string_view page);

struct Answer {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;  // besides Content-Length and Connection
  std::string body;
};

// The page for a new or known mapping: `shortAddress` is host and code.
std::string CreatedPage(std::string_view shortAddress, std::string_view address);
// A plain page with a title and one line of text (both escaped here).
std::string MessagePage(int status, std::string_view text);
// A 16 x 16 GIF: a green dot on white.
const std::string& StatusImage();

// An address as a Location value: bytes that a header line cannot carry
// (controls, space, bytes above 0x7E) become %XX.
std::string LocationValue(std::string_view address);
std::string HtmlEscape(std::string_view text);
const char* ReasonPhrase(int status);

// The status line and headers, ending with the blank line; Content-Length is
// given unless `contentLength` is negative.
std::string AnswerHead(const Answer& answer, long long contentLength);

}  // namespace snipora::test
