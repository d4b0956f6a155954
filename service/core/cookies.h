#pragma once
// The console's requests as a browser sends them: cookies, and whether a
// request comes from the service's own pages. Platform-neutral.
#include <optional>
#include <string>
#include <string_view>

namespace snipora::service {

// The value of the first cookie called `name` in a Cookie header
// ("a=1; b=2"); none when it has no such cookie.
std::optional<std::string_view> CookieValue(std::string_view header, std::string_view name);

// Whether a request that changes something comes from this origin
// ("https://host:port", as the request's scheme and Host make it): its
// Origin is exactly that, or, without an Origin (or with "null", which the
// pages' Referrer-Policy makes browsers send), Sec-Fetch-Site says
// same-origin. A request with neither is refused: a browser sends at least
// one, and a form from another site must never pass for ours.
bool FromOwnOrigin(const char* origin, const char* fetchSite, std::string_view ownOrigin);

// A value for a query string or a form: every byte but the unreserved ones
// as %XX.
std::string QueryEscape(std::string_view value);

// Bytes compared whole, whatever they hold, so that the time taken tells
// nothing of where they differ (tokens).
bool SameBytes(std::string_view a, std::string_view b);

}  // namespace snipora::service
