#pragma once
// The blocking download of one HTTP or HTTPS resource into a byte set.
#include "runtime/byte_set.h"
#include "runtime/text.h"

namespace snipora {

// The body of the resource at `url` (used as given: nothing is escaped), as far
// as it was received and at most 16 MiB (kFetchLimit), with no header bytes; the
// empty byte set when nothing was received. The status is not examined: an
// error page's body comes back like any other. Redirections are followed.
// Blocks the calling thread until the transfer has ended. All fetches share one
// internet session, opened by the first and closed when the process ends.
Bytes FetchUrl(TextView url);

}  // namespace snipora
