#pragma once
// Cutting the short address out of the service's page. The page comes from
// the network; this stands on the text primitives alone, no platform.
#include "runtime/text.h"

namespace snipora::app {

// The short address (without scheme) between the two markers of the page;
// empty when the start marker is missing or no end marker follows it.
Text CutShortAddress(TextView page);

}  // namespace snipora::app
