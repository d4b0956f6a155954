#pragma once
// A link's tags as both stores keep them: one text column holding a JSON
// array of strings. JSON escapes every byte a database could choke on (a
// NUL, a quote, a comma), and the column stays readable to an operator.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/core/json_body.h"

namespace snipora::service {

// Bytes that are not UTF-8 are kept as U+FFFD, as in every JSON answer.
inline std::string TagsColumn(const std::vector<std::string>& tags) { return JsonText(Json(tags)); }

// The tags a column holds; an edited column that is not such an array gives
// none, and members that are not strings are passed over.
inline std::vector<std::string> TagsOfColumn(std::string_view column) {
  std::vector<std::string> tags;
  const std::optional<Json> value = ParseJsonBody(column);
  if (!value || !value->is_array()) return tags;
  for (const Json& tag : *value)
    if (tag.is_string()) tags.push_back(tag.get<std::string>());
  return tags;
}

}  // namespace snipora::service
