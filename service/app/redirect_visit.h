#pragma once
// What a redirect tells the analytics (links/visit_counts.h), read from its
// request: whether it is a click at all (a crawler's or a HEAD is a bot's
// visit), and then, once the code is found, counted on its link or as an
// unknown code. Kept by the request thread, so that reading it allocates
// nothing.
#include <string_view>

#include "service/app/call.h"
#include "service/app/operations.h"
#include "service/core/referrer_host.h"
#include "service/links/visit_counts.h"

namespace snipora::service {

// The query a QR code's short address carries, which the redirect counts
// as a QR visit and otherwise ignores.
inline constexpr std::string_view kQrMarker = "qr";

class RedirectVisit {
 public:
  // Reads the request; with the analytics off (`counting` false) every GET
  // is a click, as before there were analytics.
  void Read(const Call& call, bool counting);
  bool click() const { return click_; }
  // Counts the found code's visit: on its link when live, as unknown when
  // the store has no such code.
  void Count(Operations& operations, const Call& call, std::string_view code, const Found& found);

 private:
  bool counting_ = false, click_ = false;
  Visit visit_;
  char host_[kMaxHost];
};

}  // namespace snipora::service
