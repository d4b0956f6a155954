#pragma once
// The door people and the desktop program come through: the browser's form
// (/), the program's form (/create.php, a page with the short address
// between its markers; format=simple|json answers as the plain-text API,
// plain_door.h), the redirects (/CODE), their QR codes (/CODE/qr-code), the
// pages' files (/static/NAME) and the Windows program (/download/NAME).
#include <optional>

#include "service/app/door.h"
#include "service/app/operations.h"

namespace snipora::service {

class PagesDoor final : public Door {
 public:
  explicit PagesDoor(Operations& operations) : operations_(operations) {}
  // A page (or, for format=simple|json, the plain-text API's refusal).
  Reply KeyRefused(const Call& call, Admission admission) const override;

  std::optional<Reply> Home(Call& call);
  std::optional<Reply> FormCreate(Call& call);
  std::optional<Reply> Static(Call& call);
  std::optional<Reply> Download(Call& call);
  std::optional<Reply> Redirect(Call& call);
  std::optional<Reply> QrCode(Call& call);

 private:
  // A code that leads nowhere now, answered alike for its redirect and its
  // QR code: nothing when it is live.
  std::optional<Reply> NotLive(const Call& call, const Found& found);
  Reply CreationPage(Language language, const CreationOutcome& outcome) const;

  Operations& operations_;
};

}  // namespace snipora::service
