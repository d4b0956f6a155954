#pragma once
// The console's pages: signing in, the lists of links, a link, people. Made
// as the other pages are (pages.h): the same head, style sheet and policy,
// no inline script or style, every control labelled, and every change a form
// that works without script, carrying the session's CSRF token.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/core/language.h"

namespace snipora::service {

// Who is looking: what every console page needs to link and to post.
struct ConsoleViewer {
  Language language = Language::kZhCn;
  std::string csrf;  // the session's token, put into every form
  bool admin = false;
};

// One link as the console shows it.
struct ConsoleLink {
  std::string code;  // as in its path: /console/links/CODE
  std::string shortAddress;
  std::string address;
  std::string title;
  std::vector<std::string> tags;
  int64_t clicks = 0, created = 0;
  bool disabled = false;
  std::string publicNote, privateNote;
  std::optional<int64_t> expires, maxClicks;
};

// A link's clicks on each of its last days, oldest first.
struct ConsoleDay {
  int64_t day = 0;  // days since 1970, UTC
  int64_t clicks = 0;
};

// What a list of links was asked for, written back into its form and links.
struct ConsoleSearch {
  std::string text, state, tag, createdFrom;
};

struct ConsolePerson {
  int64_t id = 0;
  std::string name, email, role;
  bool locked = false;
  int64_t lastSeen = 0;
};

// The sign-in page; `refused` says a sign-in just failed, `signedOut` that
// one just ended.
// `provider`: a sign-in through the organisation's provider is offered too.
std::string SignInPage(Language language, bool refused, bool signedOut, bool provider = false);
// My links (everyone's, for an admin's page at `path`); `next` the cursor
// of the next page ("": none).
std::string LinksPage(const ConsoleViewer& viewer, std::string_view path, const ConsoleSearch& search,
                      const std::vector<ConsoleLink>& links, std::string_view next);
// A link's page: its details, its edit form, its state's form, and its clicks
// of the last `days` (30, 90 or 365) as the chart's image and as a table.
std::string LinkDetailsPage(const ConsoleViewer& viewer, const ConsoleLink& link, int days,
                            const std::vector<ConsoleDay>& clicks);
// The chart: one bar a day, drawn as SVG (no script, no style element).
std::string ClicksChart(Language language, const std::vector<ConsoleDay>& clicks);
// One line of many creations: what was given, and its short address or why not.
struct ConsoleMade {
  std::string asked;
  std::string shortAddress;  // "": refused
  std::string refusal;
};
// The form for one link and for many; with `made`, the results of the lines
// in `lines` above it, and a button that posts them again for a CSV.
std::string NewLinksPage(const ConsoleViewer& viewer, const std::vector<ConsoleMade>& made, std::string_view lines);
// The same results as CSV: line, address given, short address, refusal.
std::string MadeCsv(const std::vector<ConsoleMade>& made);
std::string PeoplePage(const ConsoleViewer& viewer, const std::vector<ConsolePerson>& people);
// A refusal or a note in the console's frame.
std::string ConsoleMessagePage(Language language, std::string_view title, std::string_view text);

}  // namespace snipora::service
