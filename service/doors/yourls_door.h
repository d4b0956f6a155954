#pragma once
// The YOURLS API at /yourls-api.php, as YOURLS clients and upload tools
// speak it: GET with a query, or POST with a urlencoded or multipart form
// (POST fields win over the query's), each action answered as xml, json,
// jsonp or simple text. The actions run through the doors' shared
// operations (CreateLink, FindLink, ManagedLink); only the reading and the
// answers' shapes are YOURLS's here. Keys come as signature=KEY, checked by
// action, so its one route needs no role of the route table's.
#include <optional>

#include "service/app/door.h"
#include "service/app/operations.h"

namespace snipora::service {

class YourlsDoor final : public Door {
 public:
  explicit YourlsDoor(Operations& operations) : operations_(operations) {}

  std::optional<Reply> Api(Call& call);  // GET|HEAD|POST /yourls-api.php

 private:
  struct Request;  // a request's fields, and the format it asked for
  std::optional<Reply> Shorten(Call& call, const Request& request);
  std::optional<Reply> Expand(Call& call, const Request& request);
  std::optional<Reply> UrlStats(Call& call, const Request& request);
  std::optional<Reply> DbStats(Call& call, const Request& request);
  std::optional<Reply> Version(Call& call, const Request& request);

  Operations& operations_;
};

}  // namespace snipora::service
