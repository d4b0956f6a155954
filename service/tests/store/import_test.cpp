// Links moved in from other shorteners and out and in whole: every code
// kept, nothing overwritten, nothing written twice.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "service/base/service_names.h"
#include "service/core/json_body.h"
#include "service/store/link_import.h"
#include "service/store/sqlite_store.h"
#include "service/tests/support/http_client.h"
#include "service/tests/support/service_process.h"

namespace snipora::service {
namespace {

using test::TempDir;

constexpr char kDump[] =
    "INSERT INTO `yourls_url` VALUES ('a1','http://One.Example/x','One','2019-03-04 05:06:07','10.0.0.1',12),"
    "('b2','http://two.example/','Two','2020-01-01 00:00:00','',0);\n"
    "INSERT INTO `yourls_url` VALUES ('c3','http://three.example/','','2021-01-01 00:00:00','',3),"
    "('bad code!','http://four.example/','','2021-01-01 00:00:00','',3),"
    "('loop','http://old.example/a1','','2021-01-01 00:00:00','',0),"
    "('js','javascript:alert(1)','','2021-01-01 00:00:00','',0);\n";

class Import : public testing::Test {
 protected:
  Import() {
    settings_.publicHost = "go.example";
    settings_.domains = "go.example,old.example";
  }
  ImportCounts Run(std::string_view input, Store& store, ImportFormat format, bool dryRun = false,
                   const std::string& target = "old.example") {
    const Domains domains(settings_);
    OwnHosts own = OwnHostsOf(settings_);
    ImportSettings import;
    import.format = format;
    import.domains = &domains;
    import.target = domains.Find(target)->stored;
    import.targetHost = target;
    import.own = &own;
    import.denied = &denied_;
    import.dryRun = dryRun;
    import.report = std::tmpfile();
    const ImportCounts counts = ImportLinks(input, store, import);
    std::rewind(import.report);
    report_.clear();
    for (int c; (c = std::fgetc(import.report)) != EOF;) report_ += char(c);
    std::fclose(import.report);
    return counts;
  }
  // Every link as its line, in the store's order.
  std::string Lines(Store& store) {
    std::ostringstream out;
    ExportLinkLines(store, Domains(settings_), out);
    return out.str();
  }
  TempDir dir_;
  Settings settings_;
  DenyList denied_;
  std::string report_;
};

TEST_F(Import, AYourlsDumpKeepsItsCodesOnItsDomainAndRefusesWhatACreationWould) {
  std::unique_ptr<Store> store = OpenSqliteStore(dir_.File("links.db"));
  const ImportCounts counts = Run(kDump, *store, ImportFormat::kYourls);
  EXPECT_EQ(counts.read, 6u);
  EXPECT_EQ(counts.added, 3u);
  EXPECT_EQ(counts.refused, 3u) << report_;
  EXPECT_NE(report_.find("bad code!"), std::string::npos) << report_;
  EXPECT_NE(report_.find("loop: the address"), std::string::npos) << report_;  // old.example is the service's now
  const std::optional<Link> one = store->FindCode("old.example/a1");
  ASSERT_TRUE(one);
  EXPECT_EQ(one->address, "http://one.example/x");  // in the stored form, as a creation stores it
  EXPECT_EQ(one->title, "One");
  EXPECT_EQ(one->clicks, 12);
  EXPECT_EQ(one->created, 1551675967);
  EXPECT_FALSE(store->FindCode("a1"));  // not on the default domain
}

TEST_F(Import, ConflictsAreListedNotOverwrittenAndRunsAgainOrResumedChangeNothing) {
  std::unique_ptr<Store> store = OpenSqliteStore(dir_.File("links.db"));
  std::vector<NewLink> there{{"b2", "http://elsewhere.example/", 5}, {"zz", "http://three.example/", 5}};
  for (NewLink& link : there) link.domain = "old.example";
  store->InsertIfAbsent(there);

  // a dry run says what would be done and writes nothing
  const std::string before = Lines(*store);
  ImportCounts counts = Run(kDump, *store, ImportFormat::kYourls, true);
  EXPECT_EQ(counts.added, 1u);
  EXPECT_EQ(counts.conflicts, 2u);
  EXPECT_EQ(Lines(*store), before);

  // interrupted after the first statement's rows were committed, then run whole
  const std::string firstStatement(kDump, std::string_view(kDump).find('\n') + 1);
  Run(firstStatement, *store, ImportFormat::kYourls);
  counts = Run(kDump, *store, ImportFormat::kYourls);
  EXPECT_EQ(counts.added, 0u);
  EXPECT_EQ(counts.present, 1u);
  EXPECT_EQ(counts.conflicts, 2u);
  EXPECT_NE(report_.find("b2 on old.example: the code leads to another address there"), std::string::npos) << report_;
  EXPECT_NE(report_.find("c3 on old.example: its address has the code zz"), std::string::npos) << report_;
  EXPECT_EQ(store->FindCode("old.example/b2")->address, "http://elsewhere.example/");
  const std::string after = Lines(*store);
  EXPECT_EQ(Run(kDump, *store, ImportFormat::kYourls).added, 0u);
  EXPECT_EQ(Lines(*store), after);

  // the same store as one run without an interruption
  std::unique_ptr<Store> whole = OpenSqliteStore(dir_.File("whole.db"));
  whole->InsertIfAbsent(there);
  Run(kDump, *whole, ImportFormat::kYourls);
  EXPECT_EQ(Lines(*whole), after);
}

TEST_F(Import, ShlinkAndKuttLinksLandOnTheirOwnDomainsOrOnTheOneNamed) {
  std::unique_ptr<Store> store = OpenSqliteStore(dir_.File("links.db"));
  const ImportCounts shlink = Run(
      "createdAt,domain,shortCode,shortUrl,longUrl,title,tags,visits\n"
      "2024-05-06T07:08:09+02:00,go.example,abc,https://go.example/abc,\"https://one.example/?a=1,2\",\"A, b\",x|y,4\n"
      "2024-05-06T07:08:09+02:00,other.example,abc,https://other.example/abc,https://two.example/,,,0\n",
      *store, ImportFormat::kShlink);
  EXPECT_EQ(shlink.added, 1u);
  EXPECT_EQ(shlink.refused, 1u);  // a domain the service does not serve
  const std::optional<Link> abc = store->FindCode("abc");
  ASSERT_TRUE(abc);
  EXPECT_EQ(abc->tags, (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(abc->title, "A, b");
  const ImportCounts kutt = Run(
      R"({"data":[{"address":"abc","target":"https://three.example/","domain":null,"visit_count":null,)"
      R"("description":null,"created_at":"2023-01-02T03:04:05.000Z","expire_in":null}]})",
      *store, ImportFormat::kKutt);
  EXPECT_EQ(kutt.added, 1u);  // Kutt's own domain is the one named: the same code, another domain
  EXPECT_EQ(store->FindCode("old.example/abc")->address, "https://three.example/");
}

TEST_F(Import, EveryLinkExportedWholeIsImportedIntoAFreshStoreToTheSameBytes) {
  std::unique_ptr<Store> store = OpenSqliteStore(dir_.File("links.db"));
  std::vector<NewLink> links{{"promo", "http://one.example/", 100, 3, "ops", "Title", {"a", "b"}, 2000000000, 50},
                             {"promo", "http://two.example/", 200}, {"plain", "http://three.example/\xC3\xA9", 300}};
  links[1].domain = "old.example";
  store->InsertIfAbsent(links);
  LinkChange off;
  off.disabled = true;
  off.publicNote = "Taken down";
  off.privateNote = "abuse report 7";
  store->ChangeLink("old.example/promo", off);
  store->AddClicks(std::vector<ClickCount>{{"promo", 4}, {"old.example/promo", 1}}, {"", 20000});
  store->AddClicks(std::vector<ClickCount>{{"promo", 2}}, {"", 20003});
  const std::string exported = Lines(*store);
  EXPECT_NE(exported.find(R"("daily":{"2024-10-04":4,"2024-10-07":2})"), std::string::npos) << exported;

  std::unique_ptr<Store> fresh = OpenSqliteStore(dir_.File("fresh.db"));
  const ImportCounts counts = Run(exported, *fresh, ImportFormat::kSnipora);
  EXPECT_EQ(counts.added, 3u) << report_;
  EXPECT_EQ(Lines(*fresh), exported);
  EXPECT_EQ(fresh->FindCode("promo")->clicks, 9);
  EXPECT_EQ(fresh->ClicksByDay("promo", 20000, 20003).size(), 2u);
}

// The whole move of an old shortener's domain, as docs/moving.md tells it:
// the dump imported onto the old host's domain, the service started with it
// as a second domain, and every old short address still leads where it led.
TEST(DomainMove, OldCodesKeepWorkingOnTheOldHost) {
  TempDir dir;
  const std::string database = dir.File("links.db");
  std::ofstream(dir.File("dump.sql")) << kDump;
  std::ofstream(dir.File("snipora.conf")) << "domain = go.example\ndomain = old.example\n";
  std::string output;
  EXPECT_EQ(test::RunProgram({"import", "--from", "yourls", dir.File("dump.sql"), "--domain", "old.example",
                              "--config", dir.File("snipora.conf"), "--database", database},
                             &output),
            1)  // the refused rows
      << output;
  EXPECT_NE(output.find("3 added"), std::string::npos) << output;
  EXPECT_EQ(test::RunProgram({"import", "--from", "yourls", dir.File("dump.sql"), "--domain", "old.example",
                              "--config", dir.File("snipora.conf"), "--database", database, "--dry-run"},
                             &output),
            1);
  EXPECT_NE(output.find("0 would be added, 3 there already"), std::string::npos) << output;
  test::ServiceProcess service(database, {"--domain", "go.example", "--domain", "old.example"});
  ASSERT_NE(service.port(), 0);
  const auto follow = [&](const std::string& host, const std::string& code) {
    return test::Exchange(service.port(),
                          "GET /" + code + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n");
  };
  EXPECT_EQ(follow("old.example", "a1").Header("Location"), "http://one.example/x");
  EXPECT_EQ(follow("old.example", "c3").Header("Location"), "http://three.example/");
  EXPECT_EQ(follow("go.example", "a1").status, 404);
  std::string exported;
  EXPECT_EQ(test::RunProgram({"export", "--format", "jsonl", "--config", dir.File("snipora.conf"), "--database",
                              database, "--output", dir.File("links.jsonl")},
                             &exported),
            0)
      << exported;
  std::ifstream lines(dir.File("links.jsonl"));
  std::string first;
  std::getline(lines, first);
  EXPECT_NE(first.find(R"("domain":"old.example","code":"a1")"), std::string::npos) << first;
}

}  // namespace
}  // namespace snipora::service
