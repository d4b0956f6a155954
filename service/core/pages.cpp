#include "service/core/pages.h"

#include "service/core/address_form.h"
#include "service/core/page_texts.h"

namespace snipora::service {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// "/?lang=TAG": every link home carries the page's language on.
std::string HomeLink(Language language) { return "/?lang=" + std::string(LanguageTag(language)); }

// From <!DOCTYPE> to the opening of <main>: the page's language, title, style
// sheet, icon and (on the result page) the copy script, then the mark.
std::string Head(Language language, std::string_view title, bool copyScript = false) {
  std::string page = "<!DOCTYPE html>\n<html lang=\"";
  page += LanguageTag(language);
  page += "\"><head><meta charset=\"utf-8\">"
          "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">\n<title>";
  page += HtmlEscape(title);
  page += "</title>\n<link rel=\"icon\" type=\"image/png\" href=\"/static/icon.png\">"
          "<link rel=\"stylesheet\" href=\"/static/site.css\">";
  if (copyScript) page += "<script src=\"/static/copy.js\" defer></script>";
  page += "</head>\n<body><div class=\"page\">\n<header><a class=\"brand\" href=\"";
  page += HomeLink(language);
  page += "\"><img src=\"/static/icon.png\" alt=\"\" width=\"32\" height=\"32\">Snipora</a>";
  return page;
}

constexpr std::string_view kMain = kPageMain;
constexpr std::string_view kEnd = kPageEnd;

}  // namespace

std::string PageStart(Language language, std::string_view title, bool copyScript) {
  return Head(language, title, copyScript);
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string LocationValue(std::string_view address) {
  std::string out;
  out.reserve(address.size());
  AppendLocationValue(out, address);
  return out;
}

void AppendLocationValue(std::string& out, std::string_view address) {
  // the runs between escapes go in whole: most addresses are one run
  std::size_t run = 0;
  for (std::size_t i = 0; i < address.size(); ++i) {
    const auto byte = static_cast<unsigned char>(address[i]);
    if (byte > 0x20 && byte < 0x7F) continue;
    out.append(address.substr(run, i - run));
    const char escape[] = {'%', kHex[byte >> 4], kHex[byte & 15]};
    out.append(escape, sizeof escape);
    run = i + 1;
  }
  out.append(address.substr(run));
}

std::string CreatedPage(Language language, std::string_view shortAddress, std::string_view address) {
  const PageTexts& texts = TextsFor(language);
  const std::string shortText = HtmlEscape(shortAddress);
  const std::string_view code = shortAddress.substr(shortAddress.rfind('/') + 1);
  // The short address is letters, digits, "-", "_", ".", ":" and "/": it can
  // hold neither marker. The long address is escaped, so neither can it.
  std::string page = Head(language, texts.resultTitle, true);
  page += kMain;
  page += "<h1>";
  page += texts.resultHeading;
  page += "</h1>\n<blockquote id=\"result\"><b><a id=\"short\" href=\"http://" + shortText + "\">http://" +
          shortText + "</a>";
  page += kStartMarker;
  page += shortText;
  page += kEndMarker;
  page += "\n<p class=\"copy\"><button type=\"button\" id=\"copy\" hidden data-copied=\"";
  page += texts.copied;
  page += "\">";
  page += texts.copy;
  page += "</button> <span id=\"copied\" role=\"status\" aria-live=\"polite\"></span></p>\n"
          "<p class=\"qr\"><img id=\"qr\" src=\"/";
  page += HtmlEscape(code);
  page += "/qr-code\" alt=\"";
  page += texts.qrAlt;
  page += "\" width=\"240\" height=\"240\"></p>\n<p class=\"label\">";
  page += texts.leadsTo;
  page += "</p>\n<p id=\"long\">";
  // as browsers show it: the host and the path decoded
  page += HtmlEscape(ReadableAddress(address));
  page += "</p>\n<p class=\"next\"><a href=\"" + HomeLink(language) + "\">";
  page += texts.shortenAnother;
  page += "</a></p>\n";
  page += kEnd;
  return page;
}

std::string MessagePage(Language language, std::string_view title, std::string_view text, std::string_view homeHost) {
  std::string page = Head(language, title);
  page += kMain;
  page += "<h1>";
  page += HtmlEscape(title);
  page += "</h1>\n<p>";
  page += HtmlEscape(text);
  page += "</p>\n<p class=\"next\"><a href=\"";
  if (!homeHost.empty()) page += "http://" + HtmlEscape(homeHost);
  page += HomeLink(language) + "\">";
  page += TextsFor(language).backHome;
  page += "</a></p>\n";
  page += kEnd;
  return page;
}

std::string GonePage(Language language, std::string_view publicReason) {
  const PageTexts& texts = TextsFor(language);
  std::string page = Head(language, texts.goneTitle);
  page += kMain;
  page += "<h1>";
  page += texts.goneTitle;
  page += "</h1>\n<p>";
  page += texts.gone;
  page += "</p>\n";
  if (!publicReason.empty()) {
    page += "<p class=\"reason\">";
    page += HtmlEscape(publicReason);
    page += "</p>\n";
  }
  page += "<p class=\"next\"><a href=\"" + HomeLink(language) + "\">";
  page += texts.backHome;
  page += "</a></p>\n";
  page += kEnd;
  return page;
}

std::string HomePage(Language language, std::string_view publicHost, std::string_view downloadName) {
  const PageTexts& texts = TextsFor(language);
  const std::string_view tag = LanguageTag(language);
  std::string page = Head(language, texts.homeTitle);
  page += "\n<nav id=\"languages\" aria-label=\"";
  page += texts.languagesLabel;
  page += "\"><a href=\"/?lang=en\" hreflang=\"en\" lang=\"en\">English</a> "
          "<a href=\"/?lang=zh-CN\" hreflang=\"zh-CN\" lang=\"zh-CN\">中文</a></nav>";
  page += kMain;
  page += "<h1>";
  page += texts.homeHeading;
  page += "</h1>\n<form id=\"shorten\" method=\"post\" action=\"/create.php\">\n"
          "<input type=\"hidden\" name=\"source\" value=\"indexpage\">\n"
          "<input type=\"hidden\" name=\"lang\" value=\"";
  page += tag;
  page += "\">\n<label for=\"url\">";
  page += texts.urlLabel;
  page += "</label>\n<input type=\"text\" id=\"url\" name=\"url\" inputmode=\"url\" autocomplete=\"off\" "
          "autocapitalize=\"off\" spellcheck=\"false\" placeholder=\"https://example.com/\" required autofocus>\n"
          "<label for=\"alias\">";
  page += texts.aliasLabel;
  page += " <span class=\"hint\">";
  page += texts.aliasHint;
  page += "</span></label>\n<input type=\"text\" id=\"alias\" name=\"alias\" maxlength=\"32\" "
          "pattern=\"[A-Za-z0-9_\\-]*\" autocapitalize=\"off\" spellcheck=\"false\">\n"
          "<button type=\"submit\" id=\"submit\">";
  page += texts.submit;
  page += "</button>\n</form>\n<p class=\"note\">";
  page += texts.exampleBefore;
  page += "http://";
  page += HtmlEscape(publicHost);
  page += "/Ab3dE9x";
  page += texts.exampleAfter;
  page += "</p>\n";
  if (!downloadName.empty()) {
    page += "<p class=\"download\"><a href=\"/download/";
    page += HtmlEscape(downloadName);
    page += "\">";
    page += texts.download;
    page += "</a>";
    page += texts.downloadAfter;
    page += "</p>\n";
  }
  page += kEnd;
  return page;
}

std::string_view RefusalPageText(Language language, Refusal refusal) {
  const PageTexts& texts = TextsFor(language);
  switch (refusal) {
    case Refusal::kEmpty: return texts.empty;
    case Refusal::kTooLong: return texts.tooLong;
    case Refusal::kMalformed: return texts.malformed;
    case Refusal::kScheme: return texts.scheme;
    case Refusal::kCredentials: return texts.credentials;
    case Refusal::kOwnAddress: return texts.ownAddress;
    case Refusal::kDeniedHost: return texts.deniedHost;
    case Refusal::kNotUtf8: return texts.notUtf8;
    case Refusal::kBadIdnaHost: return texts.badIdnaHost;
    case Refusal::kAccepted: break;  // no refusal: no page says it
  }
  // a refusal these pages have no sentence for: English has the API's own
  return language == Language::kEn ? std::string_view(RefusalText(refusal)) : texts.refused;
}

}  // namespace snipora::service
