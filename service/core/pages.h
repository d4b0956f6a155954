#pragma once
// What the service writes: its HTML pages and the Location of a redirect
// (JSON: json_body.h). Platform-neutral.
#include <string>
#include <string_view>

#include "service/core/address_check.h"
#include "service/core/language.h"

namespace snipora::service {

// The desktop program cuts the short address (host and code, no scheme) from
// between these two, byte for byte; nothing else on a page may contain them.
inline constexpr std::string_view kStartMarker = "</b><br><small>[<a href=\"http://";
inline constexpr std::string_view kEndMarker = "\" target=\"_blank\">Open in new window</a>]</small></blockquote>";

// The pages people see, in `language`: each links its style sheet and icon
// from /static/, holds no inline script or style, and carries the language
// to the next page (?lang= on links, a hidden field in the form).

// The page of a created (or known) short address: `shortAddress` is
// "HOST/CODE", `address` the long one as stored. The markers stay byte for
// byte whatever the language.
std::string CreatedPage(Language language, std::string_view shortAddress, std::string_view address);
// A small page for an error or refusal: a title and one sentence, no markers.
// Its link home is this host's, or, with `homeHost`, http://HOMEHOST/'s.
std::string MessagePage(Language language, std::string_view title, std::string_view text,
                        std::string_view homeHost = {});
// The browser's form at "/", posting to the creation path; with a download
// name, it offers the Windows program at /download/NAME too.
std::string HomePage(Language language, std::string_view publicHost, std::string_view downloadName = {});
// The page of a short address that was disabled or has expired (410), with
// the reason given for the public when there is one.
std::string GonePage(Language language, std::string_view publicReason);
// The refusal page's sentence for an address refused by CheckAddress.
std::string_view RefusalPageText(Language language, Refusal refusal);

// Every page's start, up to inside its <header> (after the brand), for the
// pages made elsewhere (the console's); then kPageMain, the page, kPageEnd.
std::string PageStart(Language language, std::string_view title, bool copyScript = false);
inline constexpr std::string_view kPageMain = "</header>\n<main>\n";
inline constexpr std::string_view kPageEnd = "</main></div></body></html>\n";

std::string HtmlEscape(std::string_view text);
// An address as a Location value: bytes a header line cannot carry (controls,
// space, bytes above 0x7E) become %XX; the rest stays, so an escaped address
// keeps its escapes.
std::string LocationValue(std::string_view address);
void AppendLocationValue(std::string& out, std::string_view address);  // the same, onto `out`

}  // namespace snipora::service
