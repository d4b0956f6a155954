#include "service/doors/pages_door.h"

#include <string>
#include <vector>

#include "service/app/outcomes.h"
#include "service/app/qr_code.h"
#include "service/app/redirect_visit.h"
#include "service/app/replies.h"
#include "service/app/static_files.h"
#include "service/core/address_check.h"
#include "service/core/pages.h"
#include "service/core/request.h"
#include "service/doors/plain_door.h"

namespace snipora::service {
namespace {

using Kind = CreationOutcome::Kind;

// What the page of each creation outcome says: the result page, a text of
// the language's own (a PageTexts member), the address's refusal, or the
// code the address has already.
enum class PageText { kResult, kOwn, kRefusal, kHasCode };
struct PageRow {
  Kind outcome;
  PageText text;
  std::string_view PageTexts::*own;  // kOwn; null: no text (the form asks no title nor tags)
};
constexpr PageRow kPages[] = {
    {Kind::kCreated, PageText::kResult, nullptr},
    {Kind::kKnown, PageText::kResult, nullptr},
    {Kind::kRateLimited, PageText::kOwn, &PageTexts::tooMany},
    {Kind::kAddressRefused, PageText::kRefusal, nullptr},
    {Kind::kAliasInvalid, PageText::kOwn, &PageTexts::aliasInvalid},
    {Kind::kDetailsTooLong, PageText::kOwn, nullptr},
    {Kind::kAliasTaken, PageText::kOwn, &PageTexts::aliasTaken},
    {Kind::kAddressHasCode, PageText::kHasCode, nullptr},
    {Kind::kStoreFailed, PageText::kOwn, &PageTexts::notStored},
};
static_assert(CoversEachInOrder(kPages), "the form's pages: one row a creation outcome, in order");

constexpr std::string_view kKeyHoldersOnly = "This service creates links for holders of a key only.";

}  // namespace

Reply PagesDoor::KeyRefused(const Call& call, Admission admission) const {
  if (admission == Admission::kForbidden) return Door::KeyRefused(call, admission);
  // the plain-text formats refuse as they answer: the format is read here
  // only on this rare path
  const std::optional<std::vector<Field>> fields =
      ParseForm(call.http.method == "POST" ? std::string_view(call.http.body) : call.query);
  const std::optional<PlainFormat> format = fields ? PlainFormatOf(*fields) : std::nullopt;
  return AskForBearerKey(format ? PlainRefused(*format, 401, kPlainOther, kKeyNeeded)
                                : Page(401, "Key needed", kKeyHoldersOnly));
}

std::optional<Reply> PagesDoor::Home(Call& call) {
  const ClientPackage* package = operations_.clientPackage(*call.domain);
  return Reply{200, kHtml, HomePage(call.language, call.domain->host, package ? package->name : ""), {}};
}

// The pages' files, from memory: a day in caches, then the ETag.
std::optional<Reply> PagesDoor::Static(Call& call) {
  const StaticFile* file = FindStaticFile(call.capture);
  if (!file) return Page(call.language, 404, &PageTexts::notFoundTitle, &PageTexts::notFound);
  // the type is a string literal: its data() ends in a NUL
  Reply reply{200, file->type.data(), {}, {{"ETag", std::string(file->etag)}, {"Cache-Control", kCacheForADay}}};
  if (NotModified(call.http, file->etag))
    reply.status = 304;
  else
    reply.fixedBody = {reinterpret_cast<const char*>(file->bytes.data()), file->bytes.size()};
  return reply;
}

std::optional<Reply> PagesDoor::Download(Call& call) {
  const ClientPackage* package = operations_.clientPackage(*call.domain);
  if (!package || call.capture != package->name)
    return Page(call.language, 404, &PageTexts::notFoundTitle, &PageTexts::nothingToDownload);
  Reply reply{200, "application/zip", {}, {{"ETag", package->etag},
                                           {"Cache-Control", "no-cache"},
                                           {"Content-Disposition", "attachment; filename=\"" + package->name + "\""}}};
  if (NotModified(call.http, package->etag))
    reply.status = 304;
  else
    reply.fixedBody = package->bytes;
  return reply;
}

// In the request's language: 503 (the store did not answer), 404 (no such
// link, counted) and 410 (gone, with a disabled link's public note, counted).
std::optional<Reply> PagesDoor::NotLive(const Call& call, const Found& found) {
  if (found.storeFailed)
    return RetryLater(Page(call.language, 503, &PageTexts::unavailableTitle, &PageTexts::unavailable));
  Metrics& metrics = operations_.metrics();
  switch (found.resolved.state) {
    case Resolved::kMiss: {
      Metrics::Add(metrics.notFound);
      if (call.onDomain) return Page(call.language, 404, &PageTexts::notFoundTitle, &PageTexts::notFound);
      // a host that is none of the domains: its home page would be the
      // default domain's, so the link leads there
      const PageTexts& texts = TextsFor(call.language);
      return Reply{404, kHtml,
                   MessagePage(call.language, texts.notFoundTitle, texts.notFound,
                               operations_.domains().Default().host),
                   {}};
    }
    case Resolved::kGone:
      Metrics::Add(metrics.gone);
      if (found.resolved.underReview) return Page(call.language, 410, &PageTexts::reviewTitle, &PageTexts::review);
      return Reply{410, kHtml, GonePage(call.language, found.resolved.publicNote), {}};
    case Resolved::kLive: break;
  }
  return std::nullopt;
}

std::optional<Reply> PagesDoor::Redirect(Call& call) {
  const std::string_view code = call.capture;
  // each request thread keeps its own: a cached code's address is copied
  // into room the thread already has, and the reply lends its Location
  thread_local Found found;
  thread_local std::string location;
  thread_local RedirectVisit visit;
  found.resolved.state = Resolved::kMiss;
  found.storeFailed = false;
  if (IsValidCode(code)) {
    call.http.kind = RequestKind::kRedirect;
    // HEAD is how link checkers and previews look, and crawlers are no
    // people: not clicks
    visit.Read(call, operations_.visits() != nullptr);
    if (call.onDomain) operations_.FindLink(*call.domain, code, visit.click(), "redirect", found);
    visit.Count(operations_, call, code, found);
  }
  if (std::optional<Reply> nowhere = NotLive(call, found)) return nowhere;
  Metrics::Add(operations_.metrics().redirects);
  Reply reply{301, kHtml, {}, {}};
  reply.lentName = "Location";
  if (found.resolved.plain) {
    reply.lentValue = &found.resolved.address;  // as LocationValue would write it
  } else {
    location.clear();
    AppendLocationValue(location, found.resolved.address);
    reply.lentValue = &location;
  }
  return reply;
}

// A short address's QR code. The code is looked up as a redirect does, with
// no click counted; the image is drawn afresh, and the ETag lets browsers
// and proxies keep it (a code's short address never changes).
std::optional<Reply> PagesDoor::QrCode(Call& call) {
  const std::string_view code = call.capture;
  const std::optional<std::vector<Field>> fields = ParseForm(call.query);
  if (!fields) return Bad("The query has a malformed %-escape.");
  std::string why;
  const std::optional<QrOptions> options = ReadQrOptions(*fields, &why);
  if (!options) return Bad("This QR code cannot be drawn: " + why);
  Found found;
  if (IsValidCode(code) && call.onDomain) found = operations_.FindLink(*call.domain, code, false, "QR code");
  if (std::optional<Reply> nowhere = NotLive(call, found)) return nowhere;
  // with the analytics on, the code's address carries the marker that
  // counts its visits as the QR code's
  std::string text = operations_.ShortAddress(call.domain->stored, code);
  if (operations_.visits()) text.append("?").append(kQrMarker);
  Reply reply{200, QrContentType(options->format), {}, {{"ETag", QrEtag(code, text, *options)},
                                                        {"Cache-Control", kCacheForADay}}};
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

std::optional<Reply> PagesDoor::FormCreate(Call& call) {
  call.http.kind = RequestKind::kCreation;
  if (call.http.bodyTooLarge) return Page(call.language, 413, &PageTexts::tooLargeTitle, &PageTexts::tooLarge);
  const bool post = call.http.method == "POST";
  const std::optional<std::vector<Field>> fields = ParseForm(post ? std::string_view(call.http.body) : call.query);
  if (!fields) return Page(call.language, 400, &PageTexts::badTitle, &PageTexts::badEscape);
  if (const std::string* lang = FindField(*fields, "lang"))
    call.language = LanguageNamed(*lang).value_or(call.language);
  const std::string* url = FindField(*fields, "url");
  const std::string* alias = FindField(*fields, "alias");
  CreationAsk ask{url ? *url : "", alias ? *alias : ""};
  if (const std::optional<PlainFormat> format = PlainFormatOf(*fields))
    return operations_.CreateLink(call, std::move(ask), [format = *format](const CreationOutcome& outcome) {
      return PlainCreation(format, outcome);
    });
  return operations_.CreateLink(call, std::move(ask), [this, language = call.language](const CreationOutcome& outcome) {
    return CreationPage(language, outcome);
  });
}

Reply PagesDoor::CreationPage(Language language, const CreationOutcome& outcome) const {
  const PageRow& row = RowOf(kPages, outcome.kind);
  const PageTexts& texts = TextsFor(language);
  std::string text;
  switch (row.text) {
    case PageText::kResult:
      // the program reads the short address without its scheme
      return Reply{200, kHtml,
                   CreatedPage(language, operations_.ShortAddress(outcome.domain, outcome.code).substr(7),
                               outcome.address),
                   {}};
    case PageText::kOwn:
      if (row.own) text = texts.*row.own;
      break;
    case PageText::kRefusal: text = RefusalPageText(language, outcome.refusal); break;
    case PageText::kHasCode:
      text = std::string(texts.hasCodeBefore) + outcome.code + std::string(texts.hasCodeAfter);
      break;
  }
  Reply reply = Page(language, OwnStatus(outcome), texts.notShortened, text);
  const char* wait = OwnAnswerOf(outcome.kind).retryAfter;
  return wait ? RetryLater(std::move(reply), wait) : reply;
}

}  // namespace snipora::service
