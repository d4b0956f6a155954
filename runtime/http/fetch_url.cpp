#include "runtime/http/fetch_url.h"

#include "runtime/http/fetch_session.h"

namespace snipora {

Bytes FetchUrl(TextView url) {
  // The process's one session: opened by the first fetch that gets that far,
  // closed with the other statics when the process ends.
  static FetchSession session;
  return session.Fetch(url);
}

}  // namespace snipora
