#pragma once
// Which language a page is shown in: Simplified Chinese, the language of the
// program's people, or English. Platform-neutral.
#include <optional>
#include <string_view>

namespace snipora::service {

enum class Language { kZhCn, kEn };

// "zh-CN" or "en": the value of <html lang> and of ?lang=.
std::string_view LanguageTag(Language language);

// A language asked for by name (?lang=, the form's lang field): "zh-CN" or
// "en", letter case ignored; nothing for any other value.
std::optional<Language> LanguageNamed(std::string_view tag);

// The language an Accept-Language header prefers: the highest q-value wins,
// the earlier range on a tie; q=0 refuses a language. "zh", "zh-CN",
// "zh-Hans..." and "zh-SG" mean Chinese, "en" and "en-..." English, "*" any;
// with no header, nothing usable or no match, Chinese (or English when
// Chinese was refused).
Language PreferredLanguage(std::string_view acceptLanguage);

// The page's language: `asked` (a ?lang= or form value) when it names one,
// else the header's choice.
Language ChooseLanguage(std::string_view acceptLanguage, std::string_view asked);

}  // namespace snipora::service
