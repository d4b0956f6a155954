#pragma once
// Turning what the user typed into the shortening service's request, and the
// service's page into the short address.
#include "app/short_address.h"
#include "runtime/text.h"

namespace snipora::app {

// The address as the service must see it: typed with "http://" or
// "https://" (any case) it stands as it is, otherwise "http://" goes first.
Text WholeAddress(TextView typed);

// A GBK text as a query value: converted to UTF-8, every byte but A-Z a-z 0-9
// - . _ ~ written as %XX (upper-case hex).
Text EscapeQueryValue(TextView gbk);

// The service's request address on `serviceHost` (a host, or host:port) for
// what the user typed.
Text ShorteningRequest(TextView serviceHost, TextView typed);

}  // namespace snipora::app
