#include "service/doors/console_door.h"

#include <charconv>
#include <ctime>
#include <string>
#include <vector>

#include "service/app/replies.h"
#include "service/base/log.h"
#include "service/core/console_pages.h"
#include "service/core/console_texts.h"
#include "service/core/cookies.h"
#include "service/core/pages.h"
#include "service/core/request.h"
#include "service/core/utc_time.h"

namespace snipora::service {
namespace {

// Links on one page of a list.
constexpr int kLinksPerPage = 50;

std::string LangQuery(Language language) { return "?lang=" + std::string(LanguageTag(language)); }

Reply SeeOther(std::string location) {
  Reply reply{303, kHtml, {}, {}};
  reply.headers.push_back({"Location", std::move(location)});
  return reply;
}

Reply HtmlReply(int status, std::string body) { return Reply{status, kHtml, std::move(body), {}}; }

Reply ConsoleRefusal(Language language, int status, std::string_view ConsoleTexts::*text) {
  const ConsoleTexts& texts = ConsoleTextsFor(language);
  return HtmlReply(status, ConsoleMessagePage(language, texts.refusedTitle, texts.*text));
}

std::string FieldOr(const std::vector<Field>& fields, std::string_view name) {
  const std::string* value = FindField(fields, name);
  return value ? *value : "";
}

ConsoleLink Shown(Operations& operations, const Link& link) {
  return {link.code,    operations.ShortAddress(link), link.address,   link.title,       link.tags,
          operations.ClicksOf(link), link.created,     link.disabled,  link.publicNote,  link.privateNote,
          link.expires, link.maxClicks};
}

ConsoleViewer ViewerOf(const Call& call, const ConsoleSession& session) {
  return {call.language, session.csrf, call.caller && call.caller->role == Role::kAdmin};
}

Reply ProblemPage(Language language, Problem problem) {
  if (problem == Problem::kStoreFailed)
    return RetryLater(Page(language, 503, &PageTexts::unavailableTitle, &PageTexts::unavailable));
  if (problem == Problem::kForbidden) return ConsoleRefusal(language, 403, &ConsoleTexts::adminsOnly);
  // another's link is not told apart from none
  const ConsoleTexts& texts = ConsoleTextsFor(language);
  return HtmlReply(404, ConsoleMessagePage(language, TextsFor(language).notFoundTitle, texts.notYours));
}

// What a line's outcome shows: its short address, or a sentence of the
// pages' texts or the console's.
enum class MadeShows { kShortAddress, kPageText, kConsoleText, kRefusal, kHasCode };
struct MadeRow {
  CreationOutcome::Kind outcome;
  MadeShows shows;
  std::string_view PageTexts::*pageText = nullptr;
  std::string_view ConsoleTexts::*consoleText = nullptr;
};
constexpr MadeRow kMadeRows[] = {
    {CreationOutcome::kCreated, MadeShows::kShortAddress},
    {CreationOutcome::kKnown, MadeShows::kShortAddress},
    {CreationOutcome::kRateLimited, MadeShows::kPageText, &PageTexts::tooMany},
    {CreationOutcome::kAddressRefused, MadeShows::kRefusal},
    {CreationOutcome::kAliasInvalid, MadeShows::kPageText, &PageTexts::aliasInvalid},
    {CreationOutcome::kDetailsTooLong, MadeShows::kConsoleText, nullptr, &ConsoleTexts::detailsTooLong},
    {CreationOutcome::kAliasTaken, MadeShows::kPageText, &PageTexts::aliasTaken},
    {CreationOutcome::kAddressHasCode, MadeShows::kHasCode},
    {CreationOutcome::kStoreFailed, MadeShows::kPageText, &PageTexts::notStored},
};
static_assert(CoversEachInOrder(kMadeRows), "the console's creation results: one row an outcome, in order");

ConsoleMade MadeOf(Language language, std::string asked, const CreationOutcome& outcome) {
  const MadeRow& row = kMadeRows[outcome.kind];
  ConsoleMade made{std::move(asked), {}, {}};
  const PageTexts& texts = TextsFor(language);
  switch (row.shows) {
    case MadeShows::kShortAddress: made.shortAddress = outcome.shortAddress; break;
    case MadeShows::kPageText: made.refusal = texts.*row.pageText; break;
    case MadeShows::kConsoleText: made.refusal = ConsoleTextsFor(language).*row.consoleText; break;
    case MadeShows::kRefusal: made.refusal = RefusalPageText(language, outcome.refusal); break;
    case MadeShows::kHasCode:
      made.refusal = std::string(texts.hasCodeBefore) + outcome.code + std::string(texts.hasCodeAfter);
      break;
  }
  return made;
}

// "a, b,c" as tags: each trimmed, the empty ones left out.
std::vector<std::string> TagsOf(std::string_view text) {
  std::vector<std::string> tags;
  while (!text.empty()) {
    const std::size_t comma = std::min(text.find(','), text.size());
    std::string_view tag = text.substr(0, comma);
    text.remove_prefix(comma == text.size() ? comma : comma + 1);
    while (!tag.empty() && tag.front() == ' ') tag.remove_prefix(1);
    while (!tag.empty() && tag.back() == ' ') tag.remove_suffix(1);
    if (!tag.empty()) tags.emplace_back(tag);
  }
  return tags;
}

// The lines of a pasted list that hold something, without their ends.
std::vector<std::string> LinesOf(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == text.size() ? end : end + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (!line.empty()) lines.emplace_back(line);
  }
  return lines;
}

}  // namespace

ConsoleDoor::ConsoleDoor(Operations& operations)
    : operations_(operations),
      sessions_(operations),
      oidc_(operations.settings().oidcIssuer.empty() ? nullptr : std::make_unique<OidcClient>(operations.settings())) {}

std::string ConsoleDoor::RedirectUri(const Call& call) const {
  return std::string(OverHttps(call.http) ? "https://" : "http://") + operations_.domains().Default().host +
         "/console/callback";
}

void ConsoleDoor::Decorate(Reply& reply) const {
  Door::Decorate(reply);
  reply.headers.push_back({"Cache-Control", "no-store"});
}

template <class Work>
std::optional<Reply> ConsoleDoor::Signed(Call& call, bool changes, bool admin, Work&& work) {
  try {
    std::vector<Field> fields;
    if (changes) {
      std::optional<std::vector<Field>> form = ParseForm(call.http.body);
      if (form) fields = std::move(*form);
      // a form's language comes in its body
      if (const std::optional<Language> asked = LanguageNamed(FieldOr(fields, "lang"))) call.language = *asked;
    }
    const std::optional<ConsoleSession> session = sessions_.Current(call);
    if (changes) {
      const std::string* token = FindField(fields, "csrf");
      if (!session || !token || !sessions_.MayChange(call, *session, *token))
        return ConsoleRefusal(call.language, 403, &ConsoleTexts::crossSite);
    } else if (!session) {
      return SeeOther("/console/sign-in" + LangQuery(call.language));
    }
    if (admin && call.caller->role != Role::kAdmin)
      return ConsoleRefusal(call.language, 403, &ConsoleTexts::adminsOnly);
    return work(*session, fields);
  } catch (const StoreError& error) {
    Log(LogLevel::kError, std::string("the console: the store failed: ") + error.what());
    Metrics::Add(operations_.metrics().storeErrors);
    return RetryLater(Page(call.language, 503, &PageTexts::unavailableTitle, &PageTexts::unavailable));
  }
}

std::optional<Reply> ConsoleDoor::Enter(Call& call) { return SeeOther("/console/" + LangQuery(call.language)); }

std::optional<Reply> ConsoleDoor::SignInPage(Call& call) {
  const bool signedOut = call.query.find("signed-out") != std::string_view::npos;
  return HtmlReply(200, service::SignInPage(call.language, false, signedOut, oidc_ != nullptr));
}

std::optional<Reply> ConsoleDoor::SignIn(Call& call) {
  const std::optional<std::vector<Field>> fields = ParseForm(call.http.body);
  if (fields)
    if (const std::optional<Language> asked = LanguageNamed(FieldOr(*fields, "lang"))) call.language = *asked;
  // a sign-in forced from another site would put its visitor in a session of the other's choosing
  if (!ConsoleSessions::FromOwnOrigin(call)) return ConsoleRefusal(call.language, 403, &ConsoleTexts::crossSite);
  const std::string key = fields ? FieldOr(*fields, "key") : "";
  try {
    const std::optional<Person> person = key.empty() ? std::nullopt : sessions_.SignInWithKey(key);
    if (!person) return HtmlReply(403, service::SignInPage(call.language, true, false, oidc_ != nullptr));
    Reply reply = SeeOther("/console/" + LangQuery(call.language));
    reply.headers.push_back({"Set-Cookie", sessions_.Begin(call, *person)});
    return reply;
  } catch (const StoreError& error) {
    Log(LogLevel::kError, std::string("signing in: the store failed: ") + error.what());
    Metrics::Add(operations_.metrics().storeErrors);
    return RetryLater(Page(call.language, 503, &PageTexts::unavailableTitle, &PageTexts::unavailable));
  }
}

std::optional<Reply> ConsoleDoor::SignOut(Call& call) {
  return Signed(call, true, false, [&](const ConsoleSession& session, const std::vector<Field>&) {
    Reply reply = SeeOther("/console/sign-in" + LangQuery(call.language) + "&signed-out");
    reply.headers.push_back({"Set-Cookie", sessions_.End(call, session)});
    return reply;
  });
}

std::optional<Reply> ConsoleDoor::StartProvider(Call& call) {
  const ConsoleTexts& texts = ConsoleTextsFor(call.language);
  const std::optional<OidcClient::Started> started = oidc_ ? oidc_->Start(RedirectUri(call)) : std::nullopt;
  if (!started)
    return HtmlReply(oidc_ ? 503 : 404, ConsoleMessagePage(call.language, texts.signInTitle, texts.providerUnavailable));
  Reply reply = SeeOther(started->location);
  reply.headers.push_back({"Set-Cookie", PendingSignInCookie(call.http, started->pending)});
  return reply;
}

std::optional<Reply> ConsoleDoor::Callback(Call& call) {
  const ConsoleTexts& texts = ConsoleTextsFor(call.language);
  if (!oidc_) return ProblemPage(call.language, Problem::kNotFound);
  const std::vector<Field> asked = ParseForm(call.query).value_or(std::vector<Field>{});
  const char* cookies = call.http.Header("Cookie");
  const std::optional<std::string_view> pending =
      cookies ? CookieValue(cookies, PendingSignInCookieName(OverHttps(call.http))) : std::nullopt;
  const OidcClient::Finished finished =
      oidc_->Finish(FieldOr(asked, "code"), FieldOr(asked, "state"), pending.value_or(""), RedirectUri(call));
  const auto refused = [&](std::string_view why) {
    Log(LogLevel::kInfo, "a sign-in through the provider was refused: " + std::string(why));
    Reply reply = HtmlReply(403, ConsoleMessagePage(call.language, texts.refusedTitle,
                                                    std::string(texts.providerRefused) + " " + std::string(why)));
    // the started sign-in is spent either way: its code may not come twice
    reply.headers.push_back({"Set-Cookie", PendingSignInCookie(call.http, "")});
    return reply;
  };
  if (finished.refusal != OidcRefusal::kNone) return refused(OidcRefusalName(finished.refusal));
  try {
    const OidcPerson& who = finished.person;
    const Person person = operations_.store().SeePerson(
        {who.issuer, who.subject, who.name, who.email, who.admin ? "admin" : "creator", int64_t(std::time(nullptr))});
    if (person.locked) return refused("locked-out");
    Reply reply = SeeOther("/console/" + LangQuery(call.language));
    reply.headers.push_back({"Set-Cookie", sessions_.Begin(call, person)});
    reply.headers.push_back({"Set-Cookie", PendingSignInCookie(call.http, "")});
    return reply;
  } catch (const StoreError& error) {
    Log(LogLevel::kError, std::string("signing in: the store failed: ") + error.what());
    Metrics::Add(operations_.metrics().storeErrors);
    return RetryLater(Page(call.language, 503, &PageTexts::unavailableTitle, &PageTexts::unavailable));
  }
}

std::optional<Reply> ConsoleDoor::MyLinks(Call& call) { return Links(call, false); }
std::optional<Reply> ConsoleDoor::EveryonesLinks(Call& call) { return Links(call, true); }

std::optional<Reply> ConsoleDoor::Links(Call& call, bool everyone) {
  return Signed(call, false, everyone, [&](const ConsoleSession& session, const std::vector<Field>&) {
    const std::vector<Field> asked = ParseForm(call.query).value_or(std::vector<Field>{});
    ConsoleSearch search{FieldOr(asked, "q"), FieldOr(asked, "state"), FieldOr(asked, "tag"), FieldOr(asked, "from")};
    LinkFilter filter;
    filter.query.limit = kLinksPerPage;
    filter.query.after = FieldOr(asked, "after");
    if (!everyone) filter.query.owner = call.caller->name;
    if (search.state == "active") filter.query.disabled = false;
    if (search.state == "disabled") filter.query.disabled = true;
    if (!search.createdFrom.empty()) {
      if (const std::optional<long long> from = ParseTime(search.createdFrom + "T00:00:00Z"))
        filter.query.createdFrom = *from;
      else
        search.createdFrom.clear();
    }
    filter.text = search.text;
    filter.tag = search.tag;
    const std::optional<LinkPage> page = operations_.ListFor(call, filter);
    if (!page) return ProblemPage(call.language, Problem::kStoreFailed);
    std::vector<ConsoleLink> links;
    for (const Link& link : page->links) links.push_back(Shown(operations_, link));
    return HtmlReply(200, LinksPage(ViewerOf(call, session), everyone ? "/console/admin/links" : "/console/", search,
                                    links, page->next.value_or("")));
  });
}

std::optional<Reply> ConsoleDoor::NewLinks(Call& call) {
  return Signed(call, false, false, [&](const ConsoleSession& session, const std::vector<Field>&) {
    return HtmlReply(200, NewLinksPage(ViewerOf(call, session), {}, ""));
  });
}

std::optional<Reply> ConsoleDoor::MakeLinks(Call& call) {
  return Signed(call, true, false,
                [&](const ConsoleSession& session, const std::vector<Field>& fields) -> std::optional<Reply> {
    const std::string text = FieldOr(fields, "lines");
    std::vector<std::string> asked = LinesOf(text);
    std::vector<CreationAsk> asks;
    if (asked.empty()) {
      CreationAsk one{FieldOr(fields, "url"), FieldOr(fields, "alias"), FieldOr(fields, "title"),
                      TagsOf(FieldOr(fields, "tags")), std::nullopt, std::nullopt};
      if (const std::string expires = FieldOr(fields, "expires"); !expires.empty())
        if (const std::optional<long long> at = ParseTime(expires + "T00:00:00Z")) one.expires = *at;
      int64_t most = 0;
      const std::string clicks = FieldOr(fields, "max_clicks");
      const auto [end, error] = std::from_chars(clicks.data(), clicks.data() + clicks.size(), most);
      if (!clicks.empty() && error == std::errc() && end == clicks.data() + clicks.size() && most > 0)
        one.maxClicks = most;
      asked.push_back(one.url);
      asks.push_back(std::move(one));
    } else {
      if (asked.size() > kMaxCreationsAtOnce) asked.resize(kMaxCreationsAtOnce);
      for (const std::string& line : asked) asks.push_back({line, {}, {}, {}, std::nullopt, std::nullopt});
    }
    const bool csv = FieldOr(fields, "format") == "csv";
    const ConsoleViewer viewer = ViewerOf(call, session);
    const Language language = call.language;
    // the reply is made once every line is answered (maybe on another thread)
    // nothing now when put off: the transport sends the answer when it comes
    return operations_.CreateMany(
        call, std::move(asks),
        [viewer, language, asked = std::move(asked), text, csv](std::vector<CreationOutcome> outcomes) {
          std::vector<ConsoleMade> made;
          for (std::size_t i = 0; i < outcomes.size(); ++i) made.push_back(MadeOf(language, asked[i], outcomes[i]));
          if (!csv) return HtmlReply(200, NewLinksPage(viewer, made, text));
          Reply reply{200, "text/csv; charset=utf-8", MadeCsv(made), {}};
          reply.headers.push_back({"Content-Disposition", "attachment; filename=\"snipora-links.csv\""});
          return reply;
        });
  });
}

std::optional<Reply> ConsoleDoor::LinkDetails(Call& call) {
  return Signed(call, false, false, [&](const ConsoleSession& session, const std::vector<Field>&) {
    // CODE, or CODE/clicks.svg: its chart
    constexpr std::string_view kChart = "/clicks.svg";
    const bool chart = call.capture.ends_with(kChart);
    const std::string_view code = chart ? call.capture.substr(0, call.capture.size() - kChart.size()) : call.capture;
    const Managed managed = operations_.ManagedLink(call, code, "the console");
    if (managed.problem != Problem::kNone) return ProblemPage(call.language, managed.problem);
    const std::vector<Field> asked = ParseForm(call.query).value_or(std::vector<Field>{});
    const std::string span = FieldOr(asked, "days");
    const int days = span == "90" ? 90 : span == "365" ? 365 : 30;
    const int64_t today = int64_t(std::time(nullptr)) / 86400;
    const std::optional<std::vector<DayCount>> counted = operations_.ClicksByDay(*managed.link, today - days + 1, today);
    if (!counted) return ProblemPage(call.language, Problem::kStoreFailed);
    // every day of the span, those without clicks too
    std::vector<ConsoleDay> clicks;
    std::size_t next = 0;
    for (int64_t day = today - days + 1; day <= today; ++day) {
      int64_t count = 0;
      if (next < counted->size() && (*counted)[next].day == day) count = (*counted)[next++].clicks;
      clicks.push_back({day, count});
    }
    if (chart) return Reply{200, "image/svg+xml", ClicksChart(call.language, clicks), {}};
    return HtmlReply(200, LinkDetailsPage(ViewerOf(call, session), Shown(operations_, *managed.link), days, clicks));
  });
}

std::optional<Reply> ConsoleDoor::ChangeLink(Call& call) {
  return Signed(call, true, false, [&](const ConsoleSession&, const std::vector<Field>& fields) {
    const std::size_t slash = call.capture.rfind('/');
    const std::string_view code = call.capture.substr(0, slash);
    const std::string_view action = slash == std::string_view::npos ? "" : call.capture.substr(slash + 1);
    if (action == "delete") {
      // asked for twice: the form's box must be ticked
      if (FieldOr(fields, "confirm") != "yes")
        return SeeOther("/console/links/" + std::string(code) + LangQuery(call.language));
      const Problem problem = operations_.RemoveLink(call, code);
      if (problem != Problem::kNone) return ProblemPage(call.language, problem);
      return SeeOther("/console/" + LangQuery(call.language));
    }
    LinkChange change;
    if (action == "edit") {
      // a field left out of the form stays as it is; an empty one clears it
      const auto given = [&](const char* name) { return FindField(fields, name); };
      if (given("address")) change.address = FieldOr(fields, "address");
      if (given("title")) change.title = FieldOr(fields, "title");
      if (given("tags")) change.tags = TagsOf(FieldOr(fields, "tags"));
      if (given("private_note")) change.privateNote = FieldOr(fields, "private_note");
      if (const std::string* expires = given("expires")) {
        const std::optional<long long> at = ParseTime(*expires + "T00:00:00Z");
        change.expires = at ? std::optional<int64_t>(*at) : std::nullopt;
      }
      if (const std::string* most = given("max_clicks")) {
        int64_t number = 0;
        const auto [end, error] = std::from_chars(most->data(), most->data() + most->size(), number);
        const bool fits = !most->empty() && error == std::errc() && end == most->data() + most->size() && number > 0;
        change.maxClicks = fits ? std::optional<int64_t>(number) : std::nullopt;
      }
      if ((change.title && !TitleFits(*change.title)) || (change.tags && !TagsFit(*change.tags)))
        return HtmlReply(400, ConsoleMessagePage(call.language, TextsFor(call.language).notShortened,
                                                 ConsoleTextsFor(call.language).detailsTooLong));
    } else if (action == "disable" || action == "enable") {
      change.disabled = action == "disable";
      change.publicNote = change.disabled.value() ? FieldOr(fields, "public_note") : "";
    } else {
      return ProblemPage(call.language, Problem::kNotFound);
    }
    const Managed managed = operations_.EditLink(call, code, change);
    const PageTexts& texts = TextsFor(call.language);
    if (managed.problem == Problem::kAddressRefused)
      return HtmlReply(400, ConsoleMessagePage(call.language, texts.notShortened,
                                               RefusalPageText(call.language, managed.refusal)));
    if (managed.problem == Problem::kAddressTaken)
      return HtmlReply(409, ConsoleMessagePage(call.language, texts.notShortened, texts.aliasTaken));
    if (managed.problem != Problem::kNone) return ProblemPage(call.language, managed.problem);
    return SeeOther("/console/links/" + std::string(code) + LangQuery(call.language));
  });
}

std::optional<Reply> ConsoleDoor::People(Call& call) {
  return Signed(call, false, true, [&](const ConsoleSession& session, const std::vector<Field>&) {
    std::vector<ConsolePerson> people;
    for (const Person& person : operations_.store().ListPeople())
      people.push_back({person.id, person.name, person.email, person.role, person.locked, person.lastSeen});
    return HtmlReply(200, PeoplePage(ViewerOf(call, session), people));
  });
}

std::optional<Reply> ConsoleDoor::ChangePerson(Call& call) {
  return Signed(call, true, true, [&](const ConsoleSession&, const std::vector<Field>& fields) {
    int64_t id = 0;
    const auto [end, error] = std::from_chars(call.capture.data(), call.capture.data() + call.capture.size(), id);
    if (error != std::errc() || end != call.capture.data() + call.capture.size())
      return ProblemPage(call.language, Problem::kNotFound);
    PersonChange change;
    const std::string role = FieldOr(fields, "role"), locked = FieldOr(fields, "locked");
    if (role == "admin" || role == "creator") change.role = role;
    if (locked == "true" || locked == "false") change.locked = locked == "true";
    if ((!change.role && !change.locked) || !sessions_.ChangePerson(id, change))
      return ProblemPage(call.language, Problem::kNotFound);
    return SeeOther("/console/admin/people" + LangQuery(call.language));
  });
}

}  // namespace snipora::service
