#include "service/app/door.h"

#include "service/app/replies.h"

namespace snipora::service {

Reply Door::KeyRefused(const Call&, Admission admission) const {
  if (admission == Admission::kForbidden) return ApiError(403, "forbidden", kRoleTooSmall);
  return AskForBearerKey(ApiError(401, "unauthorized", kKeyNeeded));
}

void Door::Decorate(Reply& reply) const { AddPageHeaders(reply); }

void Decorate(const Door* door, Reply& reply) {
  if (door)
    door->Decorate(reply);
  else
    AddPageHeaders(reply);
}

Completion Call::Defer() {
  Completion complete = http.Defer();
  return [complete = std::move(complete), door = door](std::function<Reply()> make) {
    complete([make = std::move(make), door] {
      Reply reply = make();
      Decorate(door, reply);
      return reply;
    });
  };
}

}  // namespace snipora::service
