#pragma once
// Every text the service's pages show people, one PageTexts per language
// (texts_zh_cn.cpp, texts_en.cpp), UTF-8. The JSON API keeps its own
// English texts. Platform-neutral.
#include <string_view>

#include "service/core/language.h"

namespace snipora::service {

struct PageTexts {
  std::string_view languagesLabel;  // the language links' aria-label
  std::string_view backHome;        // link from any other page to the form

  // the form at "/"
  std::string_view homeTitle;
  std::string_view homeHeading;
  std::string_view urlLabel;
  std::string_view aliasLabel;
  std::string_view aliasHint;
  std::string_view submit;
  std::string_view exampleBefore;  // around "http://HOST/Ab3dE9x"
  std::string_view exampleAfter;
  std::string_view download;       // the Windows program's link
  std::string_view downloadAfter;  // what follows it

  // the result page
  std::string_view resultTitle;
  std::string_view resultHeading;
  std::string_view copy;
  std::string_view copied;
  std::string_view qrAlt;
  std::string_view leadsTo;
  std::string_view shortenAnother;

  // refusals of a creation (status 400, 403, 409, 414, 429, 503)
  std::string_view notShortened;  // their title
  std::string_view empty;
  std::string_view tooLong;
  std::string_view malformed;
  std::string_view scheme;
  std::string_view credentials;
  std::string_view ownAddress;
  std::string_view deniedHost;
  std::string_view notUtf8;
  std::string_view badIdnaHost;
  std::string_view refused;  // a refusal without a text of its own
  std::string_view aliasInvalid;
  std::string_view aliasTaken;
  std::string_view hasCodeBefore;  // around the code the address has already
  std::string_view hasCodeAfter;
  std::string_view tooMany;
  std::string_view notStored;

  // other answers
  std::string_view notFoundTitle;  // 404
  std::string_view notFound;
  std::string_view nothingToDownload;
  std::string_view goneTitle;  // 410
  std::string_view gone;
  std::string_view reviewTitle;  // 410 of a quarantined link
  std::string_view review;
  std::string_view unavailableTitle;  // 503
  std::string_view unavailable;
  std::string_view tooLargeTitle;  // 413
  std::string_view tooLarge;
  std::string_view methodTitle;  // 405
  std::string_view method;
  std::string_view badTitle;  // 400
  std::string_view badTarget;
  std::string_view badEscape;
  std::string_view misdirectedTitle;  // 421: a host this service does not answer for
  std::string_view misdirected;
};

const PageTexts& ChineseTexts();
const PageTexts& EnglishTexts();
inline const PageTexts& TextsFor(Language language) {
  return language == Language::kEn ? EnglishTexts() : ChineseTexts();
}

}  // namespace snipora::service
