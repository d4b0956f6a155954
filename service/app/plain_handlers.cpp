// The classic plain-text shortening API that scripts and older tools speak:
// GET /api-create.php?url=U, and /create.php with format=simple or
// format=json. The creation is the form's own (Create): the same role, rate
// limit, address checks and one code per address; only the answer differs.
#include "service/app/application.h"

#include <string>
#include <vector>

#include "service/core/json_body.h"
#include "service/core/request.h"
#include "service/app/replies.h"

namespace snipora::service {
namespace {

constexpr char kText[] = "text/plain; charset=utf-8";

// The classic services' error numbers in format=json: 1 the long address,
// 2 the short code asked for, 3 the rate limit, 4 anything else.
struct ErrorNumber {
  std::string_view code;  // the service's own API code
  int number;
};
constexpr ErrorNumber kErrorNumbers[] = {
    {"address_refused", 1}, {"bad_query", 1},        {"alias_invalid", 2},
    {"alias_taken", 2},     {"address_has_code", 2}, {"rate_limited", 3},
};

int ErrorNumberOf(std::string_view code) {
  for (const ErrorNumber& entry : kErrorNumbers)
    if (entry.code == code) return entry.number;
  return 4;
}

}  // namespace

// The classic plain-text services' formats; any other value, or none, is the
// program's page.
Application::Answer Application::FormAnswer(const std::vector<Field>& fields) {
  const std::string* format = FindField(fields, "format");
  if (!format) return Answer::kPage;
  if (*format == "simple") return Answer::kText;
  if (*format == "json") return Answer::kTextJson;
  return Answer::kPage;
}

// The short address alone: no newline after it, as the classic services send
// it, so a script can paste the body as it comes.
Reply Application::TextCreated(Answer answer, const std::string& shortAddress) {
  if (answer == Answer::kTextJson) return Reply{200, kJson, JsonText(Json::object({{"shorturl", shortAddress}})), {}};
  return Reply{200, kText, shortAddress, {}};
}

Reply Application::TextRefused(Answer answer, int status, std::string_view code, std::string_view message) {
  if (answer == Answer::kTextJson)
    return Reply{status, kJson,
                 JsonText(Json::object({{"errorcode", ErrorNumberOf(code)}, {"errormessage", message}})), {}};
  return Reply{status, kText, "Error: " + std::string(message), {}};
}

std::optional<Reply> Application::PlainCreate(Call& call) {
  call.http.kind = RequestKind::kCreation;
  const std::optional<std::vector<Field>> fields = ParseForm(call.query);
  if (!fields) {
    Metrics::Add(parts_.metrics.refused);
    return TextRefused(Answer::kText, 400, "bad_query", "The query has a malformed %-escape.");
  }
  const std::string* url = FindField(*fields, "url");
  const std::string* alias = FindField(*fields, "alias");
  return Create(call, Answer::kText, url ? *url : "", alias ? *alias : "");
}

}  // namespace snipora::service
