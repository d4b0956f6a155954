#pragma once
// The console's texts, one ConsoleTexts per language (console_texts.cpp),
// UTF-8; the build checks that each language sets every member.
#include <string_view>

#include "service/core/language.h"

namespace snipora::service {

struct ConsoleTexts {
  std::string_view consoleName;  // the heading of the console's navigation
  std::string_view navLabel;     // the navigation's aria-label
  std::string_view myLinks;
  std::string_view newLink;
  std::string_view everyonesLinks;
  std::string_view people;
  std::string_view signOut;

  // signing in
  std::string_view signInTitle;
  std::string_view signInWithKey;
  std::string_view keyLabel;
  std::string_view signIn;
  std::string_view signInRefused;
  std::string_view signedOut;
  std::string_view signInWithProvider;
  std::string_view providerRefused;  // followed by the reason's name
  std::string_view providerUnavailable;

  // the lists of links
  std::string_view searchLabel;
  std::string_view search;
  std::string_view stateLabel;
  std::string_view stateAny, stateActive, stateDisabled;
  std::string_view tagLabel;
  std::string_view createdFromLabel;
  std::string_view colShort, colLeadsTo, colTitle, colClicks, colCreated, colState;
  std::string_view copy;
  std::string_view active, disabled;
  std::string_view noLinks;
  std::string_view nextPage;

  // making links
  std::string_view newTitle;
  std::string_view oneLink, manyLinks;
  std::string_view urlLabel, aliasLabel, titleLabel, tagsLabel, tagsHint, expiresLabel, maxClicksLabel;
  std::string_view linesLabel, linesHint;
  std::string_view make, downloadCsv;
  std::string_view colLine, colAsked, colResult;
  std::string_view detailsTooLong;

  // a link
  std::string_view linkTitle;
  std::string_view disable, enable;
  std::string_view publicNoteLabel;
  std::string_view edit, privateNoteLabel, addressLabel, save;
  std::string_view qrSvg, qrPng;
  std::string_view deleteLink, confirmDelete;
  std::string_view clicksPerDay, lastDays, colDay;  // lastDays: "30 days" follows the number

  // people
  std::string_view colName, colEmail, colRole, colLastSeen, colActions;
  std::string_view admin, creator, locked;
  std::string_view makeAdmin, makeCreator, lockOut, letIn;

  // refusals
  std::string_view refusedTitle;  // 403
  std::string_view crossSite;     // no CSRF token, another's, or from another origin
  std::string_view adminsOnly;
  std::string_view notYours;      // 404 of a link page
};

const ConsoleTexts& ConsoleTextsFor(Language language);

}  // namespace snipora::service
