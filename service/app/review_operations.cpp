// An admin's verdict on a link under review (a threat feed's quarantine):
// released, or taken down. Neither deletes it.
#include <string>

#include "service/app/operations.h"
#include "service/base/log.h"

namespace snipora::service {

Managed Operations::ReleaseLink(Call& call, std::string_view code) {
  Managed managed = ManagedLink(call, code, "releasing");
  if (managed.problem != Problem::kNone || managed.link->quarantine.empty()) return managed;
  const std::string key = LinkKey(*managed.link);
  try {
    parts_.store.ReleaseLink(key, call.caller->name);
    managed.link = parts_.store.FindCode(key);
  } catch (const StoreError& error) {
    // as FromStore logs and counts it (operations.cpp)
    Log(LogLevel::kError, "releasing " + key + ": the store failed: " + error.what());
    Metrics::Add(parts_.metrics.storeErrors);
    return {std::nullopt, Problem::kStoreFailed};
  }
  // this instance answers with the release from here on; the others within a second
  parts_.cache.Drop(key);
  if (!managed.link) return {std::nullopt, Problem::kNotFound};
  return managed;
}

Managed Operations::TakeDownLink(Call& call, std::string_view code) {
  const Managed managed = ManagedLink(call, code, "taking down");
  if (managed.problem != Problem::kNone) return managed;
  LinkChange change;
  change.disabled = true;
  change.privateNote = "taken down" + (managed.link->quarantine.empty() ? "" : " (" + managed.link->quarantine + ")");
  return EditLink(call, code, std::move(change));
}

}  // namespace snipora::service
