#include "service/core/json_body.h"

namespace snipora::service {
namespace {

// The deepest nesting of the text's arrays and objects, counted outside
// strings; stops counting past `limit`.
std::size_t NestingDepth(std::string_view text, std::size_t limit) {
  std::size_t depth = 0, deepest = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;  // the escaped byte cannot end the string
      else if (c == '"')
        inString = false;
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
      if (deepest > limit) return deepest;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

}  // namespace

std::optional<Json> ParseJsonBody(std::string_view body) {
  if (NestingDepth(body, kMaxJsonDepth) > kMaxJsonDepth) return std::nullopt;
  Json value = Json::parse(body.begin(), body.end(), nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded()) return std::nullopt;
  return value;
}

std::string JsonText(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

const std::string* StringMember(const Json& object, std::string_view name) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(name);
  if (found == object.end() || !found->is_string()) return nullptr;
  return found->get_ptr<const std::string*>();
}

}  // namespace snipora::service
