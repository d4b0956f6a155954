// The pages' English texts. Every member is set: the build checks it
// (-Wmissing-field-initializers on this file).
#include "service/core/page_texts.h"

namespace snipora::service {
namespace {

constexpr PageTexts kTexts{
    .languagesLabel = "Language",
    .backHome = "Shorten an address",

    .homeTitle = "Snipora: shorten an address",
    .homeHeading = "Shorten an address",
    .urlLabel = "Long address",
    .aliasLabel = "Short code of your choice",
    .aliasHint = "optional: letters, digits, - and _",
    .submit = "Make short",
    .exampleBefore = "Short addresses look like ",
    .exampleAfter = ".",
    .download = "Snipora for Windows",
    .downloadAfter = ": the desktop program, set up to shorten with this service.",

    .resultTitle = "Snipora: your short address",
    .resultHeading = "Your short address",
    .copy = "Copy",
    .copied = "Copied",
    .qrAlt = "QR code of the short address",
    .leadsTo = "It leads to",
    .shortenAnother = "Shorten another address",

    .notShortened = "Not shortened",
    .empty = "No address was given.",
    .tooLong = "The address is longer than 8192 bytes.",
    .malformed = "The address is not a valid web address.",
    .scheme = "Only http and https addresses can be shortened.",
    .credentials = "Addresses with a user name or password are refused.",
    .ownAddress = "The address is already a short address of this service.",
    .deniedHost = "Addresses on this host are not shortened here.",
    .notUtf8 = "The address holds bytes that are not UTF-8 text.",
    .badIdnaHost = "The host is not a valid internationalised domain name.",
    .refused = "This address cannot be shortened.",
    .aliasInvalid = "A short code of your choice is 1 to 32 letters, digits, - or _, and not a name this service "
                    "uses itself.",
    .aliasTaken = "That short code belongs to another address.",
    .hasCodeBefore = "This address has the short code ",
    .hasCodeAfter = " already.",
    .tooMany = "Too many creations from your address; try again in a minute.",
    .notStored = "The address could not be stored; try again.",

    .notFoundTitle = "Not found",
    .notFound = "There is no short address here.",
    .nothingToDownload = "There is nothing to download here.",
    .goneTitle = "Link gone",
    .gone = "This short address has been disabled or has expired.",
    .reviewTitle = "Link under review",
    .review = "This short address is under review: where it leads was reported as harmful. If that is a mistake, "
              "tell this service's operators; the link stays until they decide.",
    .unavailableTitle = "Unavailable",
    .unavailable = "The store of short addresses does not answer; try again in a moment.",
    .tooLargeTitle = "Too large",
    .tooLarge = "The form is larger than this service accepts.",
    .methodTitle = "Method not allowed",
    .method = "This service answers GET, HEAD and POST.",
    .badTitle = "Bad request",
    .badTarget = "The request target is neither a path nor an http address.",
    .badEscape = "The form has a malformed %-escape.",
    .misdirectedTitle = "Wrong host",
    .misdirected = "This service does not answer for the host name this request was sent to.",
};

}  // namespace

const PageTexts& EnglishTexts() { return kTexts; }

}  // namespace snipora::service
