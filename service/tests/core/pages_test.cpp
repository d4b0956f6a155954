// The pages people see: which language a browser gets, and what every page
// holds in each language (its lang, no inline script or style, the
// language carried on, the program's markers).
#include <gtest/gtest.h>

#include <regex>

#include "service/core/language.h"
#include "service/core/pages.h"

namespace snipora::service {
namespace {

TEST(Language, AcceptLanguageByQValueThenOrderWithQZeroMeaningNever) {
  struct Case {
    const char* header;
    Language expected;
  };
  constexpr Language zh = Language::kZhCn, en = Language::kEn;
  for (const Case& c : {
           Case{"", en},                               // no header: a script, not a browser
           Case{" ", en},
           Case{"en-GB,en;q=0.9", en},
           Case{"EN-us", en},
           Case{"zh-Hans-CN, en;q=0.9", zh},
           Case{"zh-SG", zh},
           Case{"zh-TW", zh},                          // no match: the default
           Case{"zh-TW, en;q=0.8", en},                // Traditional is not zh-CN; English matches
           Case{"fr, en;q=0.5, zh;q=0.8", zh},         // highest q, not first
           Case{"en;q=0.8, zh-CN;q=0.8", en},          // a tie: the earlier
           Case{"zh-CN;q=0.8 , en ; q=0.8", zh},
           Case{"en;q=0.001, zh;q=0", en},             // q=0: never, even as the default
           Case{"zh;q=0", en},
           Case{"zh;q=0, *", en},
           Case{"*;q=0.5, en;q=0.4", zh},              // the wildcard stands for Chinese here
           Case{"en;q=0, fr", zh},
           Case{"en;q=1.5, zh;q=0.5", zh},             // an impossible q: that range is ignored
           Case{"en;q=abc", zh},
           Case{"en;level=1", zh},
           Case{";;,, ,q=1,\xFF\xFE", zh},             // garbage
           Case{"english, zhx", zh},                   // prefixes only at a "-"
       })
    EXPECT_EQ(PreferredLanguage(c.header), c.expected) << c.header;
}

TEST(Language, AnAskedLanguageOverridesTheHeaderWhenItNamesOne) {
  EXPECT_EQ(ChooseLanguage("en", "zh-CN"), Language::kZhCn);
  EXPECT_EQ(ChooseLanguage("zh-CN", "en"), Language::kEn);
  EXPECT_EQ(ChooseLanguage("", "EN"), Language::kEn);
  for (const char* unknown : {"", "fr", "zh", "en-GB", "zh-CN "})
    EXPECT_EQ(ChooseLanguage("en", unknown), Language::kEn) << unknown;
  EXPECT_EQ(LanguageNamed(LanguageTag(Language::kZhCn)), Language::kZhCn);
  EXPECT_EQ(LanguageNamed(LanguageTag(Language::kEn)), Language::kEn);
}

TEST(Pages, EveryPageInBothLanguagesHasItsLangNoInlineScriptOrStyleAndCarriesTheLanguage) {
  const std::regex inlineScript("<script(?![^>]*\\ssrc=)", std::regex::icase);
  const std::regex handler("\\son[a-z]+=", std::regex::icase);
  for (Language language : {Language::kZhCn, Language::kEn}) {
    const std::string tag(LanguageTag(language));
    const std::string pages[] = {
        HomePage(language, "snip.invalid", "Snipora-1.0.zip"),
        CreatedPage(language, "snip.invalid/Ab3dE9x", "http://e.com/a?b=<c>"),
        MessagePage(language, "Not found", "There is no short address here."),
        GonePage(language, "spam \" <b>"),
        MessagePage(language, "t", std::string(RefusalPageText(language, Refusal::kScheme))),
    };
    for (const std::string& page : pages) {
      EXPECT_NE(page.find("<html lang=\"" + tag + "\">"), std::string::npos) << page;
      EXPECT_EQ(page.find("<style"), std::string::npos) << page;
      EXPECT_EQ(page.find("style="), std::string::npos) << page;
      EXPECT_FALSE(std::regex_search(page, inlineScript)) << page;
      EXPECT_FALSE(std::regex_search(page, handler)) << page;
      EXPECT_NE(page.find("href=\"/static/site.css\""), std::string::npos);
      EXPECT_NE(page.find("<link rel=\"icon\" type=\"image/png\" href=\"/static/icon.png\">"), std::string::npos);
      EXPECT_NE(page.find("href=\"/?lang=" + tag + "\""), std::string::npos) << page;
      EXPECT_EQ(page.find("<b>spam"), std::string::npos);
    }
    const std::string& home = pages[0];
    EXPECT_NE(home.find("<input type=\"hidden\" name=\"lang\" value=\"" + tag + "\">"), std::string::npos);
    EXPECT_NE(home.find("<a href=\"/?lang=en\" hreflang=\"en\" lang=\"en\">English</a>"), std::string::npos);
    EXPECT_NE(home.find("<a href=\"/?lang=zh-CN\" hreflang=\"zh-CN\" lang=\"zh-CN\">\xE4\xB8\xAD\xE6\x96\x87</a>"),
              std::string::npos);
    EXPECT_NE(home.find(language == Language::kEn ? ">Snipora for Windows</a>" : ">Windows \xE7\x89\x88 Snipora</a>"),
              std::string::npos)
        << home;
    EXPECT_EQ(HomePage(language, "snip.invalid").find("/download/"), std::string::npos);

    const std::string& created = pages[1];
    EXPECT_NE(created.find("<a id=\"short\" href=\"http://snip.invalid/Ab3dE9x\">http://snip.invalid/Ab3dE9x</a>" +
                           std::string(kStartMarker) + "snip.invalid/Ab3dE9x" + std::string(kEndMarker)),
              std::string::npos)
        << created;
    EXPECT_NE(created.find("<script src=\"/static/copy.js\" defer></script>"), std::string::npos);
    EXPECT_NE(created.find(std::string("data-copied=\"") +
                           (language == Language::kEn ? "Copied" : "\xE5\xB7\xB2\xE5\xA4\x8D\xE5\x88\xB6") + "\""),
              std::string::npos);
    EXPECT_NE(created.find("<span id=\"copied\" role=\"status\" aria-live=\"polite\"></span>"), std::string::npos);
    EXPECT_NE(created.find("<img id=\"qr\" src=\"/Ab3dE9x/qr-code\""), std::string::npos);
    EXPECT_NE(created.find("<p id=\"long\">http://e.com/a?b=&lt;c&gt;</p>"), std::string::npos);
    // the long address as browsers show it, not as stored
    EXPECT_NE(CreatedPage(language, "snip.invalid/Ab3dE9x", "http://xn--fsqu00a.cn/%E8%B7%AF")
                  .find("<p id=\"long\">http://\xE4\xBE\x8B\xE5\xAD\x90.cn/\xE8\xB7\xAF</p>"),
              std::string::npos);
  }
  // the pages' sentences differ by language; the API's English stays for a refusal without one
  EXPECT_NE(RefusalPageText(Language::kZhCn, Refusal::kScheme), RefusalPageText(Language::kEn, Refusal::kScheme));
  EXPECT_EQ(RefusalPageText(Language::kEn, Refusal::kScheme), RefusalText(Refusal::kScheme));
}

}  // namespace
}  // namespace snipora::service
