#include "service/app/redirect_visit.h"

namespace snipora::service {
namespace {

bool Says1(const char* value) { return value && value[0] == '1' && value[1] == '\0'; }

std::string_view HeaderText(const HttpRequest& http, const char* name) {
  const char* value = http.Header(name);
  return value ? std::string_view(value) : std::string_view();
}

}  // namespace

void RedirectVisit::Read(const Call& call, bool counting) {
  counting_ = counting;
  const bool get = call.http.method == "GET";
  if (!counting) {
    click_ = get;
    return;
  }
  const HttpRequest& http = call.http;
  visit_.client = http.client;
  visit_.userAgent = HeaderText(http, "User-Agent");
  visit_.families = FamiliesOf(visit_.userAgent);
  visit_.bot = visit_.families.bot || !get;
  visit_.quiet = Says1(http.Header("DNT")) || Says1(http.Header("Sec-GPC"));
  visit_.qr = call.query == kQrMarker;
  visit_.referrer = visit_.bot || visit_.quiet ? std::string_view() : ReferrerHost(http.Header("Referer"), host_);
  click_ = !visit_.bot;
}

void RedirectVisit::Count(Operations& operations, const Call& call, std::string_view code, const Found& found) {
  if (!counting_ || found.storeFailed || !call.onDomain) return;
  VisitCounts& visits = *operations.visits();
  Metrics& metrics = operations.metrics();
  switch (found.resolved.state) {
    case Resolved::kMiss:
      Metrics::Add(metrics.unknownCodeVisits);
      visits.CountUnknown(code);
      return;
    case Resolved::kGone: return;
    case Resolved::kLive: break;
  }
  if (visit_.bot) {
    Metrics::Add(metrics.botVisits);
  } else {
    Metrics::Add(metrics.clicks);
    if (visit_.qr && !visit_.quiet) Metrics::Add(metrics.qrVisits);
  }
  // on the default domain the key is the code; on another FindLink built it
  visits.Count(call.domain->stored.empty() ? code : std::string_view(found.key), visit_);
}

}  // namespace snipora::service
