#pragma once
// What the service writes: its HTML pages, JSON values and the Location of a
// redirect. Platform-neutral.
#include <string>
#include <string_view>

namespace snipora::service {

// The desktop program cuts the short address (host and code, no scheme) from
// between these two, byte for byte; nothing else on a page may contain them.
inline constexpr std::string_view kStartMarker = "</b><br><small>[<a href=\"http://";
inline constexpr std::string_view kEndMarker = "\" target=\"_blank\">Open in new window</a>]</small></blockquote>";

// The page of a created (or known) short address: `shortAddress` is
// "HOST/CODE", `address` the long one.
std::string CreatedPage(std::string_view shortAddress, std::string_view address);
// A small page for an error or refusal: a title and one sentence, no markers.
std::string MessagePage(std::string_view title, std::string_view text);
// The browser's form at "/", posting to the creation path; with a download
// name, it offers the Windows program at /download/NAME too.
std::string HomePage(std::string_view publicHost, std::string_view downloadName = {});

std::string HtmlEscape(std::string_view text);
// A JSON string literal, quotes included; bytes are passed as they are
// except the ones JSON must escape.
std::string JsonString(std::string_view text);
// An address as a Location value: bytes a header line cannot carry (controls,
// space, bytes above 0x7E) become %XX; the rest stays, so an escaped address
// keeps its escapes.
std::string LocationValue(std::string_view address);

}  // namespace snipora::service
