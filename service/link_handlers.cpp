// Following and making short addresses: redirects, QR codes and creations
// (the form, the API and the plain-text API, plain_handlers.cpp).
#include "service/application.h"

#include <ctime>
#include <string>
#include <vector>

#include "service/codes.h"
#include "service/core/address_form.h"
#include "service/core/pages.h"
#include "service/core/request.h"
#include "service/log.h"
#include "service/qr_code.h"
#include "service/replies.h"

namespace snipora::service {

Application::Found Application::FindLink(std::string_view code, bool click, std::string_view what) {
  const int64_t now = std::time(nullptr);
  const std::shared_ptr<const DenyList> denied = parts_.denyList();
  const DenyList& deny = *denied;
  Found found{parts_.cache.Find(code, click, now, deny)};
  if (found.resolved.state != Resolved::kMiss) return found;
  const uint64_t readAt = parts_.cache.epoch();
  std::optional<Link> link;
  try {
    link = parts_.store.FindCode(code);
  } catch (const StoreError& error) {
    Log(LogLevel::kError, std::string(what) + " of " + std::string(code) + ": the store failed: " + error.what());
    Metrics::Add(parts_.metrics.storeErrors);
    found.storeFailed = true;
    return found;
  }
  if (link) found.resolved = parts_.cache.Insert(code, LifeOf(*link), click, now, deny, readAt);
  return found;
}

std::optional<Reply> Application::Redirect(Call& call) {
  const std::string_view code = call.capture;
  Found found;
  if (IsValidCode(code)) {
    call.http.kind = RequestKind::kRedirect;
    // HEAD is how link checkers and previews look: not a click
    found = FindLink(code, call.http.method == "GET", "redirect");
    if (found.storeFailed)
      return RetryLater(Page(call.language, 503, &PageTexts::unavailableTitle, &PageTexts::unavailable));
  }
  switch (found.resolved.state) {
    case Resolved::kMiss:
      Metrics::Add(parts_.metrics.notFound);
      return Page(call.language, 404, &PageTexts::notFoundTitle, &PageTexts::notFound);
    case Resolved::kGone:
      Metrics::Add(parts_.metrics.gone);
      return Reply{410, kHtml, GonePage(call.language, found.resolved.publicNote), {}};
    case Resolved::kLive:
      break;
  }
  Metrics::Add(parts_.metrics.redirects);
  return Reply{301, kHtml, {}, {{"Location", LocationValue(found.resolved.address)}}};
}

// A short address's QR code. The code is looked up as a redirect does, with
// no click counted; the image is drawn afresh, and the ETag lets browsers
// and proxies keep it (a code's short address never changes).
std::optional<Reply> Application::QrCode(Call& call) {
  const std::string_view code = call.capture;
  const std::optional<std::vector<Field>> fields = ParseForm(call.query);
  if (!fields) return Bad("The query has a malformed %-escape.");
  std::string why;
  const std::optional<QrOptions> options = ReadQrOptions(*fields, &why);
  if (!options) return Bad("This QR code cannot be drawn: " + why);
  Found found;
  if (IsValidCode(code)) {
    found = FindLink(code, false, "QR code");
    if (found.storeFailed)
      return RetryLater(
          Page(503, "Unavailable", "The store of short addresses does not answer; try again in a moment."));
  }
  if (found.resolved.state == Resolved::kMiss) {
    Metrics::Add(parts_.metrics.notFound);
    return Page(404, "Not found", "There is no short address here.");
  }
  if (found.resolved.state == Resolved::kGone) {
    Metrics::Add(parts_.metrics.gone);
    return Reply{410, kHtml, GonePage(call.language, found.resolved.publicNote), {}};
  }
  const std::string text = "http://" + parts_.settings.publicHost + "/" + std::string(code);
  Reply reply{200, QrContentType(options->format), {}, {{"ETag", QrEtag(code, text, *options)},
                                                        {"Cache-Control", "public, max-age=86400"}}};
  const char* match = call.http.Header("If-None-Match");
  if (match && EtagMatches(match, reply.headers.front().second)) {
    reply.status = 304;
    return reply;
  }
  std::optional<QrImage> image = DrawQrCode(text, *options);
  if (!image) return Page(500, "Not drawn", "The QR code of this short address could not be drawn.");
  reply.body = std::move(image->bytes);
  return reply;
}



std::optional<Reply> Application::FormCreate(Call& call) {
  call.http.kind = RequestKind::kCreation;
  if (call.http.bodyTooLarge) return Page(call.language, 413, &PageTexts::tooLargeTitle, &PageTexts::tooLarge);
  const bool post = call.http.method == "POST";
  const std::optional<std::vector<Field>> fields = ParseForm(post ? std::string_view(call.http.body) : call.query);
  if (!fields) return Page(call.language, 400, &PageTexts::badTitle, &PageTexts::badEscape);
  if (const std::string* lang = FindField(*fields, "lang"))
    call.language = LanguageNamed(*lang).value_or(call.language);
  const std::string* url = FindField(*fields, "url");
  const std::string* alias = FindField(*fields, "alias");
  return Create(call, FormAnswer(*fields), url ? *url : "", alias ? *alias : "");
}

std::optional<Reply> Application::ApiCreate(Call& call) {
  call.http.kind = RequestKind::kCreation;
  if (call.http.bodyTooLarge) return ApiError(413, "too_large", "The body is larger than this service accepts.");
  const std::optional<std::vector<Field>> fields = ParseJsonObject(call.http.body);
  if (!fields) return ApiError(400, "bad_json", "The body is not a JSON object of strings.");
  const std::string* url = FindField(*fields, "url");
  const std::string* alias = FindField(*fields, "alias");
  return Create(call, Answer::kApi, url ? *url : "", alias ? *alias : "");
}

// A refused creation: the API's English text (as JSON, or as the plain-text
// API's error), or a page in the request's language.
Reply Application::Refused(Language language, Answer answer, int status, std::string_view code,
                           std::string_view apiText, std::string_view pageText) {
  Metrics::Add(parts_.metrics.refused);
  if (answer == Answer::kApi) return ApiError(status, code, apiText);
  if (answer != Answer::kPage) return TextRefused(answer, status, code, apiText);
  return Page(language, status, TextsFor(language).notShortened, pageText);
}

std::optional<Reply> Application::Create(Call& call, Answer answer, const std::string& url,
                                         const std::string& alias) {
  const Language language = call.language;
  const PageTexts& texts = TextsFor(language);
  if (!parts_.rateLimit.Allow(call.http.client)) {
    Metrics::Add(parts_.metrics.rateLimited);
    return RetryLater(
        Refused(language, answer, 429, "rate_limited", "Too many creations from your address; try again in a minute.",
                texts.tooMany),
        "60");
  }
  const std::shared_ptr<const DenyList> denied = parts_.denyList();
  // equivalent spellings of an address are stored, found and answered as one
  const StoredForm check = AcceptAddress(url, ownHost_, *denied);
  if (check.refusal != Refusal::kAccepted) {
    const int status = check.refusal == Refusal::kTooLong      ? 414
                       : check.refusal == Refusal::kDeniedHost ? 403
                                                               : 400;
    return Refused(language, answer, status, "address_refused", RefusalText(check.refusal),
                   RefusalPageText(language, check.refusal));
  }
  if (!alias.empty() && (!IsValidCode(alias) || IsReservedCode(alias)))
    return Refused(language, answer, 400, "alias_invalid",
                   "A short code of your choice is 1 to 32 letters, digits, - or _, and not a name this service "
                   "uses itself.",
                   texts.aliasInvalid);
  const std::string& address = check.address;
  // an address stored before is answered from its committed row at once
  try {
    if (std::optional<std::string> code = parts_.store.FindAddress(address))
      return CreationReply(language, answer, address,
                           {alias.empty() || alias == *code ? Created::kKnown : Created::kAddressHasCode, *code});
  } catch (const StoreError& error) {
    Log(LogLevel::kError, "creation: looking up the address failed: " + std::string(error.what()));
    return CreationReply(language, answer, address, Created{});
  }
  std::function<void(Reply)> complete = call.http.Defer();
  parts_.writer.Submit({address, alias, call.caller ? call.caller->name : ""},
                       [this, language, answer, address, complete](const Created& created) {
    Reply reply = CreationReply(language, answer, address, created);
    AddPageHeaders(reply);
    complete(std::move(reply));
  });
  return std::nullopt;
}

Reply Application::CreationReply(Language language, Answer answer, const std::string& address,
                                 const Created& created) {
  const PageTexts& texts = TextsFor(language);
  switch (created.outcome) {
    case Created::kCreated:
    case Created::kKnown: {
      Metrics::Add(created.outcome == Created::kCreated ? parts_.metrics.creations : parts_.metrics.known);
      const std::string shortAddress = parts_.settings.publicHost + "/" + created.code;
      const bool api = answer == Answer::kApi;
      const int status = created.outcome == Created::kCreated && api ? 201 : 200;
      if (answer == Answer::kText || answer == Answer::kTextJson) return TextCreated(answer, "http://" + shortAddress);
      if (api)
        return Reply{status, kJson,
                     "{\"code\":" + JsonString(created.code) + ",\"short\":" + JsonString("http://" + shortAddress) +
                         ",\"url\":" + JsonString(address) + "}\n",
                     {}};
      return Reply{status, kHtml, CreatedPage(language, shortAddress, address), {}};
    }
    case Created::kAliasTaken:
      return Refused(language, answer, 409, "alias_taken", "That short code belongs to another address.",
                     texts.aliasTaken);
    case Created::kAddressHasCode:
      return Refused(language, answer, 409, "address_has_code",
                     "This address has the short code " + created.code + " already.",
                     std::string(texts.hasCodeBefore) + created.code + std::string(texts.hasCodeAfter));
    case Created::kFailed:
      break;
  }
  // the writer logged the failure of its transaction once
  Metrics::Add(parts_.metrics.storeErrors);
  constexpr std::string_view kNotStored = "The address could not be stored; nothing was lost, try again.";
  switch (answer) {
    case Answer::kApi:
      return RetryLater(ApiError(503, "store_unavailable", kNotStored));
    case Answer::kText:
    case Answer::kTextJson:
      return RetryLater(TextRefused(answer, 503, "store_unavailable", kNotStored));
    case Answer::kPage:
      break;
  }
  return RetryLater(Page(language, 503, &PageTexts::notShortened, &PageTexts::notStored));
}

}  // namespace snipora::service
