#include "service/core/console_pages.h"

#include <algorithm>

#include "service/core/address_form.h"
#include "service/core/console_texts.h"
#include "service/core/cookies.h"
#include "service/core/csv.h"
#include "service/core/pages.h"
#include "service/core/utc_time.h"

namespace snipora::service {
namespace {

std::string LangQuery(Language language) { return "lang=" + std::string(LanguageTag(language)); }

// The page's head and the console's navigation; a form posts the sign-out.
std::string Start(const ConsoleViewer& viewer, std::string_view title) {
  const ConsoleTexts& texts = ConsoleTextsFor(viewer.language);
  const std::string lang = "?" + LangQuery(viewer.language);
  std::string page = PageStart(viewer.language, title, true);
  page += "<nav class=\"console\" aria-label=\"";
  page += texts.navLabel;
  page += "\"><a href=\"/console/" + lang + "\">";
  page += texts.myLinks;
  page += "</a> <a href=\"/console/new" + lang + "\">";
  page += texts.newLink;
  page += "</a>";
  if (viewer.admin) {
    page += " <a href=\"/console/admin/links" + lang + "\">";
    page += texts.everyonesLinks;
    page += "</a> <a href=\"/console/admin/people" + lang + "\">";
    page += texts.people;
    page += "</a>";
  }
  page += "<form method=\"post\" action=\"/console/sign-out\" class=\"inline\">";
  page += "<input type=\"hidden\" name=\"csrf\" value=\"" + HtmlEscape(viewer.csrf) + "\">";
  page += "<input type=\"hidden\" name=\"lang\" value=\"" + std::string(LanguageTag(viewer.language)) + "\">";
  page += "<button type=\"submit\">";
  page += texts.signOut;
  page += "</button></form></nav>";
  page += kPageMain;
  return page;
}

// The hidden fields every console form carries.
std::string FormTokens(const ConsoleViewer& viewer) {
  return "<input type=\"hidden\" name=\"csrf\" value=\"" + HtmlEscape(viewer.csrf) +
         "\"><input type=\"hidden\" name=\"lang\" value=\"" + std::string(LanguageTag(viewer.language)) + "\">";
}

std::string Option(std::string_view value, std::string_view label, std::string_view chosen) {
  std::string out = "<option value=\"" + HtmlEscape(value) + "\"";
  if (value == chosen) out += " selected";
  out += ">" + HtmlEscape(label) + "</option>";
  return out;
}

// Lines in an attribute, their ends kept as references.
std::string LinesValue(std::string_view lines) {
  std::string out;
  for (const char c : HtmlEscape(lines)) {
    if (c == '\n') out += "&#10;";
    else if (c == '\r') out += "&#13;";
    else out += c;
  }
  return out;
}

std::string Day(int64_t seconds) { return IsoUtc(seconds).substr(0, 10); }

std::string StateForm(const ConsoleViewer& viewer, const ConsoleLink& link) {
  const ConsoleTexts& texts = ConsoleTextsFor(viewer.language);
  std::string out = "<form method=\"post\" action=\"/console/links/" + QueryEscape(link.code) + "/" +
                    (link.disabled ? "enable" : "disable") + "\">" + FormTokens(viewer);
  if (!link.disabled) {
    out += "<p><label for=\"note\">";
    out += texts.publicNoteLabel;
    out += "</label> <input id=\"note\" name=\"public_note\" maxlength=\"1000\"></p>";
  }
  out += "<button type=\"submit\">";
  out += link.disabled ? texts.enable : texts.disable;
  out += "</button></form>\n";
  return out;
}

}  // namespace

std::string SignInPage(Language language, bool refused, bool signedOut, bool provider) {
  const ConsoleTexts& texts = ConsoleTextsFor(language);
  std::string page = PageStart(language, texts.signInTitle);
  page += kPageMain;
  page += "<h1>";
  page += texts.signInWithKey;
  page += "</h1>\n";
  if (refused) {
    page += "<p class=\"refused\" role=\"alert\">";
    page += texts.signInRefused;
    page += "</p>\n";
  }
  if (signedOut) {
    page += "<p role=\"status\">";
    page += texts.signedOut;
    page += "</p>\n";
  }
  if (provider) {
    page += "<p class=\"next\"><a href=\"/console/sign-in/provider?" + LangQuery(language) + "\">";
    page += texts.signInWithProvider;
    page += "</a></p>\n";
  }
  page += "<form method=\"post\" action=\"/console/sign-in\"><input type=\"hidden\" name=\"lang\" value=\"";
  page += LanguageTag(language);
  page += "\"><p><label for=\"key\">";
  page += texts.keyLabel;
  page += "</label> <input id=\"key\" name=\"key\" type=\"password\" autocomplete=\"current-password\" required>"
          "</p><p><button type=\"submit\">";
  page += texts.signIn;
  page += "</button></p></form>\n";
  page += kPageEnd;
  return page;
}

std::string LinksPage(const ConsoleViewer& viewer, std::string_view path, const ConsoleSearch& search,
                      const std::vector<ConsoleLink>& links, std::string_view next) {
  const ConsoleTexts& texts = ConsoleTextsFor(viewer.language);
  const std::string_view heading = path == "/console/" ? texts.myLinks : texts.everyonesLinks;
  std::string page = Start(viewer, std::string("Snipora: ") + std::string(heading));
  page += "<h1>";
  page += heading;
  page += "</h1>\n<form method=\"get\" action=\"" + HtmlEscape(path) + "\" class=\"search\">";
  page += "<input type=\"hidden\" name=\"lang\" value=\"" + std::string(LanguageTag(viewer.language)) + "\">";
  page += "<p><label for=\"q\">";
  page += texts.searchLabel;
  page += "</label> <input id=\"q\" name=\"q\" type=\"search\" value=\"" + HtmlEscape(search.text) + "\"></p>";
  page += "<p><label for=\"state\">";
  page += texts.stateLabel;
  page += "</label> <select id=\"state\" name=\"state\">" + Option("", texts.stateAny, search.state) +
          Option("active", texts.stateActive, search.state) + Option("disabled", texts.stateDisabled, search.state) +
          "</select></p>";
  page += "<p><label for=\"tag\">";
  page += texts.tagLabel;
  page += "</label> <input id=\"tag\" name=\"tag\" value=\"" + HtmlEscape(search.tag) + "\"></p>";
  page += "<p><label for=\"from\">";
  page += texts.createdFromLabel;
  page += "</label> <input id=\"from\" name=\"from\" type=\"date\" value=\"" + HtmlEscape(search.createdFrom) + "\"></p>";
  page += "<p><button type=\"submit\">";
  page += texts.search;
  page += "</button></p></form>\n";
  if (links.empty()) {
    page += "<p>";
    page += texts.noLinks;
    page += "</p>\n";
  } else {
    page += "<div class=\"table\"><table><thead><tr>";
    for (const std::string_view column :
         {texts.colShort, texts.colLeadsTo, texts.colTitle, texts.colClicks, texts.colCreated, texts.colState}) {
      page += "<th scope=\"col\">";
      page += column;
      page += "</th>";
    }
    page += "</tr></thead><tbody>\n";
    for (const ConsoleLink& link : links) {
      const std::string shortText = HtmlEscape(link.shortAddress);
      page += "<tr><td><a href=\"/console/links/" + QueryEscape(link.code) + "?" + LangQuery(viewer.language) +
              "\">" + shortText + "</a> <button type=\"button\" class=\"copy-link\" hidden data-copy=\"" + shortText +
              "\" aria-label=\"";
      page += texts.copy;
      page += " " + shortText + "\">";
      page += texts.copy;
      page += "</button></td><td class=\"address\">" + HtmlEscape(ReadableAddress(link.address)) + "</td><td>" +
              HtmlEscape(link.title) + "</td><td>" + std::to_string(link.clicks) + "</td><td>" + Day(link.created) +
              "</td><td>";
      page += link.disabled ? texts.disabled : texts.active;
      page += "</td></tr>\n";
    }
    page += "</tbody></table></div>\n";
  }
  if (!next.empty()) {
    page += "<p class=\"next\"><a href=\"" + HtmlEscape(path) + "?" + LangQuery(viewer.language) +
            "&amp;q=" + QueryEscape(search.text) + "&amp;state=" + QueryEscape(search.state) +
            "&amp;tag=" + QueryEscape(search.tag) + "&amp;from=" + QueryEscape(search.createdFrom) + "&amp;after=" + QueryEscape(next) + "\">";
    page += texts.nextPage;
    page += "</a></p>\n";
  }
  page += kPageEnd;
  return page;
}

std::string LinkDetailsPage(const ConsoleViewer& viewer, const ConsoleLink& link, int days,
                            const std::vector<ConsoleDay>& clicks) {
  const ConsoleTexts& texts = ConsoleTextsFor(viewer.language);
  std::string page = Start(viewer, texts.linkTitle);
  const std::string shortText = HtmlEscape(link.shortAddress);
  const std::string path = "/console/links/" + QueryEscape(link.code);
  page += "<h1>" + shortText + "</h1>\n<dl class=\"link\"><dt>";
  page += texts.colLeadsTo;
  page += "</dt><dd class=\"address\">" + HtmlEscape(ReadableAddress(link.address)) + "</dd><dt>";
  page += texts.colClicks;
  page += "</dt><dd>" + std::to_string(link.clicks) + "</dd><dt>";
  page += texts.colCreated;
  page += "</dt><dd>" + IsoUtc(link.created) + "</dd><dt>";
  page += texts.colState;
  page += "</dt><dd>";
  page += link.disabled ? texts.disabled : texts.active;
  if (link.disabled && !link.publicNote.empty()) page += " (" + HtmlEscape(link.publicNote) + ")";
  page += "</dd></dl>\n<p>";
  // the QR route answers on the link's own domain, by its code
  for (const auto& [format, label] : {std::pair{"svg", texts.qrSvg}, std::pair{"png", texts.qrPng}}) {
    page += "<a href=\"" + shortText + "/qr-code?format=" + format + "\" download=\"" + QueryEscape(link.code) +
            "." + format + "\">";
    page += label;
    page += "</a> ";
  }
  page += "</p>\n";
  page += StateForm(viewer, link);

  const auto input = [&](const char* id, std::string_view label, const char* type, const std::string& value) {
    return "<p><label for=\"" + std::string(id) + "\">" + std::string(label) + "</label> <input id=\"" + id +
           "\" name=\"" + id + "\" type=\"" + type + "\" value=\"" + HtmlEscape(value) + "\"></p>";
  };
  std::string tags;
  for (std::size_t i = 0; i < link.tags.size(); ++i) tags += (i ? ", " : "") + link.tags[i];
  page += "<h2>";
  page += texts.edit;
  page += "</h2>\n<form method=\"post\" action=\"" + path + "/edit\">" + FormTokens(viewer);
  if (viewer.admin) page += input("address", texts.addressLabel, "url", link.address);
  page += input("title", texts.titleLabel, "text", link.title);
  page += input("tags", texts.tagsLabel, "text", tags);
  page += input("private_note", texts.privateNoteLabel, "text", link.privateNote);
  page += input("expires", texts.expiresLabel, "date", link.expires ? Day(*link.expires) : "");
  page += input("max_clicks", texts.maxClicksLabel, "number", link.maxClicks ? std::to_string(*link.maxClicks) : "");
  page += "<p><button type=\"submit\">";
  page += texts.save;
  page += "</button></p></form>\n<h2>";
  page += texts.deleteLink;
  page += "</h2>\n<form method=\"post\" action=\"" + path + "/delete\">" + FormTokens(viewer) +
          "<p><input id=\"confirm\" name=\"confirm\" type=\"checkbox\" value=\"yes\" required> <label for=\"confirm\">";
  page += texts.confirmDelete;
  page += "</label></p><p><button type=\"submit\">";
  page += texts.deleteLink;
  page += "</button></p></form>\n<h2>";
  page += texts.clicksPerDay;
  page += "</h2>\n<p>";
  for (const int span : {30, 90, 365}) {
    const std::string label = std::to_string(span) + " " + std::string(texts.lastDays);
    page += span == days ? "<strong>" + label + "</strong> "
                         : "<a href=\"" + path + "?" + LangQuery(viewer.language) + "&amp;days=" + std::to_string(span) +
                               "\">" + label + "</a> ";
  }
  page += "</p>\n<p><img class=\"chart\" src=\"" + path + "/clicks.svg?" + LangQuery(viewer.language) + "&amp;days=" +
          std::to_string(days) + "\" alt=\"";
  page += texts.clicksPerDay;
  page += "\" width=\"730\" height=\"160\"></p>\n<div class=\"table\"><table><thead><tr><th scope=\"col\">";
  page += texts.colDay;
  page += "</th><th scope=\"col\">";
  page += texts.colClicks;
  page += "</th></tr></thead><tbody>\n";
  for (const ConsoleDay& day : clicks)
    if (day.clicks > 0)
      page += "<tr><td>" + Day(day.day * 86400) + "</td><td>" + std::to_string(day.clicks) + "</td></tr>\n";
  page += "</tbody></table></div>\n";
  page += kPageEnd;
  return page;
}

std::string ClicksChart(Language language, const std::vector<ConsoleDay>& clicks) {
  constexpr int kWidth = 730, kHeight = 160, kBase = 140;
  int64_t most = 1;
  for (const ConsoleDay& day : clicks) most = std::max(most, day.clicks);
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kWidth) + "\" height=\"" +
                    std::to_string(kHeight) + "\" viewBox=\"0 0 " + std::to_string(kWidth) + " " +
                    std::to_string(kHeight) + "\" role=\"img\"><title>";
  svg += ConsoleTextsFor(language).clicksPerDay;
  svg += "</title><rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>"
         "<line x1=\"0\" y1=\"140\" x2=\"730\" y2=\"140\" stroke=\"#595959\"/>";
  const double step = clicks.empty() ? 0 : double(kWidth) / double(clicks.size());
  for (std::size_t i = 0; i < clicks.size(); ++i) {
    const int height = int(double(clicks[i].clicks) * 120.0 / double(most));
    if (height == 0) continue;
    svg += "<rect x=\"" + std::to_string(int(double(i) * step)) + "\" y=\"" + std::to_string(kBase - height) +
           "\" width=\"" + std::to_string(std::max(1, int(step) - 1)) + "\" height=\"" + std::to_string(height) +
           "\" fill=\"#1f5fa8\"><title>" + Day(clicks[i].day * 86400) + ": " + std::to_string(clicks[i].clicks) +
           "</title></rect>";
  }
  svg += "<text x=\"4\" y=\"156\" font-size=\"12\" fill=\"#333333\">";
  if (!clicks.empty()) svg += Day(clicks.front().day * 86400);
  svg += "</text><text x=\"726\" y=\"156\" font-size=\"12\" fill=\"#333333\" text-anchor=\"end\">";
  if (!clicks.empty()) svg += Day(clicks.back().day * 86400);
  svg += "</text><text x=\"4\" y=\"14\" font-size=\"12\" fill=\"#333333\">" + std::to_string(most) + "</text></svg>\n";
  return svg;
}

std::string NewLinksPage(const ConsoleViewer& viewer, const std::vector<ConsoleMade>& made, std::string_view lines) {
  const ConsoleTexts& texts = ConsoleTextsFor(viewer.language);
  std::string page = Start(viewer, texts.newTitle);
  const auto field = [&](const char* id, std::string_view label, const char* type, const char* extra) {
    return "<p><label for=\"" + std::string(id) + "\">" + std::string(label) + "</label> <input id=\"" + id +
           "\" name=\"" + id + "\" type=\"" + type + "\"" + extra + "></p>";
  };
  if (!made.empty()) {
    page += "<h1>";
    page += texts.colResult;
    page += "</h1>\n<div class=\"table\"><table><thead><tr>";
    for (const std::string_view column : {texts.colLine, texts.colAsked, texts.colResult}) {
      page += "<th scope=\"col\">";
      page += column;
      page += "</th>";
    }
    page += "</tr></thead><tbody>\n";
    for (std::size_t i = 0; i < made.size(); ++i) {
      page += "<tr><td>" + std::to_string(i + 1) + "</td><td class=\"address\">" + HtmlEscape(made[i].asked) +
              "</td><td>";
      page += made[i].shortAddress.empty() ? HtmlEscape(made[i].refusal)
                                           : "<a href=\"" + HtmlEscape(made[i].shortAddress) + "\">" +
                                                 HtmlEscape(made[i].shortAddress) + "</a>";
      page += "</td></tr>\n";
    }
    page += "</tbody></table></div>\n<form method=\"post\" action=\"/console/new\">" + FormTokens(viewer) +
            "<input type=\"hidden\" name=\"format\" value=\"csv\"><input type=\"hidden\" name=\"lines\" value=\"" +
            LinesValue(lines) + "\"><button type=\"submit\">";
    page += texts.downloadCsv;
    page += "</button></form>\n";
  }
  page += "<h1>";
  page += texts.oneLink;
  page += "</h1>\n<form method=\"post\" action=\"/console/new\">" + FormTokens(viewer);
  page += field("url", texts.urlLabel, "url", " required maxlength=\"8192\"");
  page += field("alias", texts.aliasLabel, "text", " maxlength=\"32\" pattern=\"[A-Za-z0-9_-]*\"");
  page += field("title", texts.titleLabel, "text", " maxlength=\"1000\"");
  page += "<p><label for=\"tags\">";
  page += texts.tagsLabel;
  page += "</label> <input id=\"tags\" name=\"tags\" aria-describedby=\"tags-hint\"> <span id=\"tags-hint\">";
  page += texts.tagsHint;
  page += "</span></p>";
  page += field("expires", texts.expiresLabel, "date", "");
  page += field("max_clicks", texts.maxClicksLabel, "number", " min=\"1\"");
  page += "<p><button type=\"submit\">";
  page += texts.make;
  page += "</button></p></form>\n<h2>";
  page += texts.manyLinks;
  page += "</h2>\n<form method=\"post\" action=\"/console/new\">" + FormTokens(viewer) +
          "<p><label for=\"lines\">";
  page += texts.linesLabel;
  page += "</label></p><p><textarea id=\"lines\" name=\"lines\" rows=\"10\" cols=\"60\" aria-describedby=\"lines-hint\">"
          "</textarea></p><p id=\"lines-hint\">";
  page += texts.linesHint;
  page += "</p><p><button type=\"submit\">";
  page += texts.make;
  page += "</button></p></form>\n";
  page += kPageEnd;
  return page;
}

std::string MadeCsv(const std::vector<ConsoleMade>& made) {
  std::string csv = CsvRecord({"line", "address", "short_address", "refusal"});
  for (std::size_t i = 0; i < made.size(); ++i) {
    const std::string line = std::to_string(i + 1);
    csv += CsvRecord({line, made[i].asked, made[i].shortAddress, made[i].refusal});
  }
  return csv;
}

std::string PeoplePage(const ConsoleViewer& viewer, const std::vector<ConsolePerson>& people) {
  const ConsoleTexts& texts = ConsoleTextsFor(viewer.language);
  std::string page = Start(viewer, std::string("Snipora: ") + std::string(texts.people));
  page += "<h1>";
  page += texts.people;
  page += "</h1>\n<div class=\"table\"><table><thead><tr>";
  for (const std::string_view column :
       {texts.colName, texts.colEmail, texts.colRole, texts.colLastSeen, texts.colActions}) {
    page += "<th scope=\"col\">";
    page += column;
    page += "</th>";
  }
  page += "</tr></thead><tbody>\n";
  for (const ConsolePerson& person : people) {
    const std::string action = "/console/admin/people/" + std::to_string(person.id);
    const auto button = [&](std::string_view field, std::string_view value, std::string_view label) {
      return "<form method=\"post\" action=\"" + action + "\" class=\"inline\">" + FormTokens(viewer) +
             "<input type=\"hidden\" name=\"" + std::string(field) + "\" value=\"" + std::string(value) +
             "\"><button type=\"submit\">" + std::string(label) + "</button></form> ";
    };
    page += "<tr><td>" + HtmlEscape(person.name) + "</td><td>" + HtmlEscape(person.email) + "</td><td>";
    page += person.role == "admin" ? texts.admin : texts.creator;
    if (person.locked) {
      page += ", ";
      page += texts.locked;
    }
    page += "</td><td>" + IsoUtc(person.lastSeen) + "</td><td>";
    page += person.role == "admin" ? button("role", "creator", texts.makeCreator) : button("role", "admin", texts.makeAdmin);
    page += person.locked ? button("locked", "false", texts.letIn) : button("locked", "true", texts.lockOut);
    page += "</td></tr>\n";
  }
  page += "</tbody></table></div>\n";
  page += kPageEnd;
  return page;
}

std::string ConsoleMessagePage(Language language, std::string_view title, std::string_view text) {
  std::string page = PageStart(language, title);
  page += kPageMain;
  page += "<h1>" + HtmlEscape(title) + "</h1>\n<p>" + HtmlEscape(text) + "</p>\n<p class=\"next\"><a href=\"/console/?" +
          LangQuery(language) + "\">";
  page += ConsoleTextsFor(language).myLinks;
  page += "</a></p>\n";
  page += kPageEnd;
  return page;
}

}  // namespace snipora::service
