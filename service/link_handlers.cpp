// Following and making short addresses: redirects, QR codes and creations
// (the form, the API and the plain-text API, plain_handlers.cpp).
#include "service/application.h"

#include <ctime>
#include <string>
#include <vector>

#include "service/codes.h"
#include "service/core/address_form.h"
#include "service/core/json_body.h"
#include "service/core/pages.h"
#include "service/core/request.h"
#include "service/log.h"
#include "service/qr_code.h"
#include "service/replies.h"

namespace snipora::service {

void Application::LogStoreFailure(std::string_view what, const StoreError& error) {
  Log(LogLevel::kError, std::string(what) + ": the store failed: " + error.what());
  Metrics::Add(parts_.metrics.storeErrors);
}

Application::Found Application::FindLink(std::string_view code, bool click, std::string_view what) {
  const int64_t now = std::time(nullptr);
  const std::shared_ptr<const DenyList> denied = parts_.denyList();
  const DenyList& deny = *denied;
  Found found{parts_.cache.Find(code, click, now, deny)};
  if (found.resolved.state != Resolved::kMiss) return found;
  const uint64_t readAt = parts_.cache.epoch();
  std::optional<Link> link;
  if (!FromStore(std::string(what) + " of " + std::string(code), [&] { link = parts_.store.FindCode(code); })) {
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
  const std::string text = ShortAddress(code);
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
  const std::optional<Json> body = ParseJsonBody(call.http.body);
  if (!body || !body->is_object()) return ApiError(400, "bad_json", "The body is not a JSON object of strings.");
  // url and alias as strings; any other kind is as if absent, other members are ignored
  const std::string* url = StringMember(*body, "url");
  const std::string* alias = StringMember(*body, "alias");
  return Create(call, Answer::kApi, url ? *url : "", alias ? *alias : "");
}

std::string Application::ShortAddress(std::string_view code) const {
  return "http://" + parts_.settings.publicHost + "/" + std::string(code);
}

std::optional<Reply> Application::CreateLink(Call& call, CreationAsk ask, CreationShape shape) {
  // HEAD is how link checkers and previews look: it creates nothing, and
  // neither the rate limit nor the creation metrics count it
  const bool head = call.http.method == "HEAD";
  call.http.kind = RequestKind::kCreation;
  CreationOutcome outcome;
  const auto refuse = [&](CreationOutcome::Kind kind) {
    if (!head)
      Metrics::Add(kind == CreationOutcome::kRateLimited ? parts_.metrics.rateLimited : parts_.metrics.refused);
    outcome.kind = kind;
    return shape(outcome);
  };
  if (!head && !parts_.rateLimit.Allow(call.http.client)) return refuse(CreationOutcome::kRateLimited);
  const std::shared_ptr<const DenyList> denied = parts_.denyList();
  // equivalent spellings of an address are stored, found and answered as one
  StoredForm check = AcceptAddress(ask.url, ownHosts_, *denied);
  if (check.refusal != Refusal::kAccepted) {
    outcome.refusal = check.refusal;
    return refuse(CreationOutcome::kAddressRefused);
  }
  outcome.address = std::move(check.address);
  if (!ask.alias.empty() && (!IsValidCode(ask.alias) || IsReservedCode(ask.alias)))
    return refuse(CreationOutcome::kAliasInvalid);
  if (!TitleFits(ask.title) || !TagsFit(ask.tags)) return refuse(CreationOutcome::kDetailsTooLong);
  if (head) return HeadOfCreation(call, std::move(outcome), ask.alias, shape);
  // the answer once the code is known: counted here, whichever door shapes it
  const auto settle = [this](CreationOutcome settled, const Created& created) {
    switch (created.outcome) {
      case Created::kCreated:
      case Created::kKnown:
        settled.kind = created.outcome == Created::kCreated ? CreationOutcome::kCreated : CreationOutcome::kKnown;
        settled.code = created.code;
        settled.shortAddress = ShortAddress(created.code);
        settled.created = created.created;
        Metrics::Add(created.outcome == Created::kCreated ? parts_.metrics.creations : parts_.metrics.known);
        break;
      case Created::kAliasTaken:
      case Created::kAddressHasCode:
        settled.kind =
            created.outcome == Created::kAliasTaken ? CreationOutcome::kAliasTaken : CreationOutcome::kAddressHasCode;
        settled.code = created.code;
        Metrics::Add(parts_.metrics.refused);
        break;
      case Created::kFailed:
        // the writer logged the failure once
        settled.kind = CreationOutcome::kStoreFailed;
        Metrics::Add(parts_.metrics.storeErrors);
        break;
    }
    return settled;
  };
  // An address stored before is found by the writer, in the transaction
  // that would store it (and answered without a write): a look-up here
  // first cost every new address a read of its own, more than the wait it
  // saved the rare known one.
  std::function<void(std::function<Reply()>)> complete = call.http.Defer();
  Creation creation{outcome.address, std::move(ask.alias), call.caller ? call.caller->name : "",
                    std::move(ask.title), std::move(ask.tags), ask.expires, ask.maxClicks};
  parts_.writer.Submit(std::move(creation), [settle, outcome = std::move(outcome), shape = std::move(shape),
                                             complete = std::move(complete)](const Created& created) mutable {
    CreationOutcome settled = settle(std::move(outcome), created);
    const auto make = [settled = std::move(settled), shape = std::move(shape)] {
      Reply reply = shape(settled);
      AddPageHeaders(reply);
      return reply;
    };
    // A new link's answer is made at once, on the writer's thread. Any other
    // may read the stored link (a door answering a known address with its
    // row), which the writer never waits for: it is made on the transport's.
    if (created.outcome != Created::kCreated) return complete(make);
    std::optional<Reply> reply;
    try {
      reply = make();
    } catch (...) {
      // a door's fault must not end the writer: the transport makes the
      // answer again, and answers its failure
      return complete(make);
    }
    complete([reply = std::move(*reply)]() mutable { return std::move(reply); });
  });
  return std::nullopt;
}

Reply Application::HeadOfCreation(Call& call, CreationOutcome outcome, std::string_view alias,
                                  const CreationShape& shape) {
  std::optional<std::string> code;
  if (!FromStore("HEAD of a creation", [&] { code = parts_.store.FindAddress(outcome.address); })) {
    outcome.kind = CreationOutcome::kStoreFailed;
    return shape(outcome);
  }
  if (!code) {
    // only GET (or POST) makes the link; the answer changes once it does
    Reply reply = Page(call.language, 405, &PageTexts::methodTitle, &PageTexts::method);
    reply.headers.push_back({"Allow", MethodNames(call.methods & ~unsigned(kHead))});
    reply.headers.push_back({"Cache-Control", "no-store"});
    return reply;
  }
  // as the writer settles a known address
  outcome.kind = !alias.empty() && *code != alias ? CreationOutcome::kAddressHasCode : CreationOutcome::kKnown;
  if (outcome.kind == CreationOutcome::kKnown) outcome.shortAddress = ShortAddress(*code);
  outcome.code = std::move(*code);
  return shape(outcome);
}

int Application::StatusOf(const CreationOutcome& outcome) {
  switch (outcome.kind) {
    case CreationOutcome::kCreated: return 201;
    case CreationOutcome::kKnown: return 200;
    case CreationOutcome::kRateLimited: return 429;
    case CreationOutcome::kAddressRefused:
      return outcome.refusal == Refusal::kTooLong ? 414 : outcome.refusal == Refusal::kDeniedHost ? 403 : 400;
    case CreationOutcome::kAliasInvalid:
    case CreationOutcome::kDetailsTooLong: return 400;
    case CreationOutcome::kAliasTaken:
    case CreationOutcome::kAddressHasCode: return 409;
    case CreationOutcome::kStoreFailed: break;
  }
  return 503;
}

std::string Application::TextOf(const CreationOutcome& outcome) {
  switch (outcome.kind) {
    case CreationOutcome::kCreated:
    case CreationOutcome::kKnown: return "Shortened.";
    case CreationOutcome::kRateLimited: return "Too many creations from your address; try again in a minute.";
    case CreationOutcome::kAddressRefused: return RefusalText(outcome.refusal);
    case CreationOutcome::kAliasInvalid:
      return "A short code of your choice is 1 to 32 letters, digits, - or _, and not a name this service uses "
             "itself.";
    case CreationOutcome::kDetailsTooLong:
      return "A title is at most 1000 bytes; tags are at most 50, of at most 200 bytes each.";
    case CreationOutcome::kAliasTaken: return "That short code belongs to another address.";
    case CreationOutcome::kAddressHasCode: return "This address has the short code " + outcome.code + " already.";
    case CreationOutcome::kStoreFailed: break;
  }
  return "The address could not be stored; nothing was lost, try again.";
}

std::string_view Application::ApiCodeOf(const CreationOutcome& outcome) {
  using Outcome = CreationOutcome;
  switch (outcome.kind) {
    case Outcome::kCreated:
    case Outcome::kKnown: return "";
    case Outcome::kRateLimited: return "rate_limited";
    case Outcome::kAddressRefused: return "address_refused";
    case Outcome::kAliasInvalid: return "alias_invalid";
    case Outcome::kDetailsTooLong: return "details_too_long";
    case Outcome::kAliasTaken: return "alias_taken";
    case Outcome::kAddressHasCode: return "address_has_code";
    case Outcome::kStoreFailed: break;
  }
  return "store_unavailable";
}

std::optional<Reply> Application::Create(Call& call, Answer answer, const std::string& url,
                                         const std::string& alias) {
  const Language language = call.language;
  return CreateLink(call, {url, alias}, [this, language, answer](const CreationOutcome& outcome) {
    return CreationReply(language, answer, outcome);
  });
}

Reply Application::CreationReply(Language language, Answer answer, const CreationOutcome& outcome) {
  const PageTexts& texts = TextsFor(language);
  const int status = StatusOf(outcome);
  Reply reply;
  if (outcome.kind == CreationOutcome::kCreated || outcome.kind == CreationOutcome::kKnown) {
    switch (answer) {
      case Answer::kText:
      case Answer::kTextJson: return TextCreated(answer, outcome.shortAddress);
      case Answer::kApi:
        return Reply{status, kJson,
                     JsonText(Json::object({{"code", outcome.code},
                                            {"short", outcome.shortAddress},
                                            {"url", outcome.address}})) +
                         "\n",
                     {}};
      case Answer::kPage:
        // the program reads the short address without its scheme
        return Reply{200, kHtml,
                     CreatedPage(language, parts_.settings.publicHost + "/" + outcome.code, outcome.address), {}};
    }
  }
  if (answer == Answer::kApi) {
    reply = ApiError(status, ApiCodeOf(outcome), TextOf(outcome));
  } else if (answer != Answer::kPage) {
    reply = TextRefused(answer, status, ApiCodeOf(outcome), TextOf(outcome));
  } else {
    std::string pageText;
    switch (outcome.kind) {
      case CreationOutcome::kRateLimited: pageText = texts.tooMany; break;
      case CreationOutcome::kAddressRefused: pageText = RefusalPageText(language, outcome.refusal); break;
      case CreationOutcome::kAliasInvalid: pageText = texts.aliasInvalid; break;
      case CreationOutcome::kAliasTaken: pageText = texts.aliasTaken; break;
      case CreationOutcome::kAddressHasCode:
        pageText = std::string(texts.hasCodeBefore) + outcome.code + std::string(texts.hasCodeAfter);
        break;
      default: break;
    }
    reply = outcome.kind == CreationOutcome::kStoreFailed
                ? Page(language, 503, &PageTexts::notShortened, &PageTexts::notStored)
                : Page(language, status, texts.notShortened, pageText);
  }
  if (outcome.kind == CreationOutcome::kRateLimited) return RetryLater(std::move(reply), "60");
  if (outcome.kind == CreationOutcome::kStoreFailed) return RetryLater(std::move(reply));
  return reply;
}

}  // namespace snipora::service
