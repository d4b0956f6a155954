#pragma once
// The classic plain-text shortening API that scripts and older tools speak:
// GET /api-create.php?url=U, and /create.php with format=simple or
// format=json (the form's route, pages_door.h, answers those with the
// shapes here). The creation is the form's own: the same role, rate limit,
// address checks and one code per address; only the answer differs.
#include <optional>
#include <string_view>
#include <vector>

#include "service/app/door.h"
#include "service/app/operations.h"
#include "service/core/request.h"

namespace snipora::service {

// format=simple: the short address alone; format=json: {"shorturl": ...}.
enum class PlainFormat { kSimple, kJsonObject };
// The format /create.php's fields ask for; nothing (the program's page) for
// none, or any other value.
std::optional<PlainFormat> PlainFormatOf(const std::vector<Field>& fields);

// The classic services' error numbers in format=json: 1 the long address
// (or the query), 2 the short code asked for, 3 the rate limit, 4 anything
// else.
enum PlainError { kPlainAddress = 1, kPlainCode = 2, kPlainRate = 3, kPlainOther = 4 };
// A refusal: "Error: " and the sentence, or {"errorcode","errormessage"}.
Reply PlainRefused(PlainFormat format, int status, int number, std::string_view message);
// A creation's answer in that format.
Reply PlainCreation(PlainFormat format, const CreationOutcome& outcome);

class PlainDoor final : public Door {
 public:
  explicit PlainDoor(Operations& operations) : operations_(operations) {}
  // 401 as plain text.
  Reply KeyRefused(const Call& call, Admission admission) const override;

  // GET /api-create.php?url=U&alias=A
  std::optional<Reply> Create(Call& call);

 private:
  Operations& operations_;
};

}  // namespace snipora::service
