// Moving links between stores and through CSV: nothing changes on the way,
// a second run adds nothing, conflicts and bad rows are reported, not stored.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "service/core/csv.h"
#include "service/core/json_body.h"
#include "service/core/utc_time.h"
#include "service/store/open_store.h"
#include "service/store/transfer.h"
#include "service/tests/support/http_client.h"
#include "service/tests/support/postgres_server.h"
#include "service/tests/support/service_process.h"

namespace snipora::service {
namespace {

// Every link of a store as one text, in code order; with `life`, its owner,
// notes, limits, title and tags too (what copy carries and CSV does not).
std::string Contents(Store& store, bool life = true) {
  std::string text;
  store.ForEachLink([&](const Link& link) {
    text += link.code + " " + link.address + " " + std::to_string(link.created) + " " + std::to_string(link.clicks);
    if (life)
      text += " " + link.owner + (link.disabled ? " disabled " : " ") + link.publicNote + "|" + link.privateNote + " " +
              std::to_string(link.expires.value_or(-1)) + " " + std::to_string(link.maxClicks.value_or(-1)) + " " +
              link.title + "|" + JsonText(Json(link.tags));
    text += "\n";
    return true;
  });
  return text;
}

std::vector<NewLink> SampleLinks() {
  std::vector<NewLink> links = {
      {"plain", "http://example.com/", 1700000000, 12, "ops", "A \"title\"", {"a", "b,c"}, 1900000000, 50},
      {"quoted", "http://example.com/?q=\"a,b\"&x='y'", 1, 0},
      {"wide", "https://example.com/\xE4\xB8\xAD\xE6\x96\x87?%E4%B8%AD", 1800000000, 3},
      {"Z-_9", "http://example.com/" + std::string(8000, 'l'), 0, 1},
  };
  for (int i = 0; i < 6000; ++i)  // more than one batch
    links.push_back({"n" + std::to_string(i), "http://n.example/" + std::to_string(i), 1600000000 + i, i % 7});
  return links;
}

// A throw-away file for the reports.
struct ReportFile {
  ReportFile() : file(std::tmpfile()) {}
  ~ReportFile() { std::fclose(file); }
  std::string Text() const {
    std::rewind(file);
    std::string text;
    char chunk[512];
    while (std::size_t got = std::fread(chunk, 1, sizeof chunk, file)) text.append(chunk, got);
    return text;
  }
  std::FILE* file;
};

TEST(Transfer, CopySqliteToPostgresAndBackGivesTheSameLinksAndAgainAddsNothing) {
  test::TempDir dir;
  std::unique_ptr<Store> first = OpenStore(dir.File("first.db"));
  first->InsertIfAbsent(SampleLinks());
  // a link taken down stays down wherever it goes
  LinkChange life;
  life.disabled = true;
  life.publicNote = "Taken down.";
  life.privateNote = "report 7";
  life.expires = int64_t(1900000000);
  life.maxClicks = int64_t(40);
  ASSERT_EQ(first->ChangeLink("quoted", life).outcome, ChangeResult::kChanged);
  std::unique_ptr<Store> server = OpenStore(test::SharedPostgres::FreshDatabase());
  std::unique_ptr<Store> back = OpenStore(dir.File("back.db"));
  ReportFile report;

  const TransferReport there = CopyLinks(*first, *server, report.file);
  EXPECT_EQ(there.added, 6004u);
  EXPECT_EQ(CopyLinks(*server, *back, report.file).added, 6004u);
  EXPECT_EQ(Contents(*back), Contents(*first));
  EXPECT_EQ(Contents(*server), Contents(*first));

  const TransferReport again = CopyLinks(*first, *server, report.file);
  EXPECT_EQ(again.added, 0u);
  EXPECT_EQ(again.present, 6004u);
  EXPECT_EQ(again.conflicts, 0u);
  EXPECT_EQ(report.Text(), "");
}

TEST(Transfer, ConflictsAreReportedAndSkippedNeverOverwritten) {
  test::TempDir dir;
  std::unique_ptr<Store> from = OpenStore(dir.File("from.db"));
  std::unique_ptr<Store> to = OpenStore(test::SharedPostgres::FreshDatabase());
  from->InsertIfAbsent(std::vector<NewLink>{
      {"taken", "http://mine.example/", 1}, {"other", "http://shared.example/", 1}, {"fine", "http://fine/", 1}});
  to->InsertIfAbsent(std::vector<NewLink>{{"taken", "http://theirs.example/", 2}, {"known", "http://shared.example/", 2}});
  ReportFile report;
  const TransferReport copied = CopyLinks(*from, *to, report.file);
  EXPECT_EQ(copied.added, 1u);
  EXPECT_EQ(copied.conflicts, 2u);
  EXPECT_EQ(to->FindCode("taken")->address, "http://theirs.example/");
  EXPECT_EQ(to->FindAddress("http://shared.example/"), "known");
  EXPECT_FALSE(to->FindCode("other"));
  const std::string text = report.Text();
  EXPECT_NE(text.find("taken: the code belongs to another address"), std::string::npos) << text;
  EXPECT_NE(text.find("other: its address has the code known"), std::string::npos) << text;
}

// A copied store holds back the codes the source deleted, and neither copy
// nor import hands out a code the target holds back: each such link is a
// conflict, with the reason.
TEST(Transfer, TheCodesOfDeletedLinksStayHeldBackThroughCopyAndImport) {
  test::TempDir dir;
  std::unique_ptr<Store> from = OpenStore(dir.File("from.db"));
  std::unique_ptr<Store> to = OpenStore(test::SharedPostgres::FreshDatabase());
  from->InsertIfAbsent(std::vector<NewLink>{
      {"kept", "http://kept.example/", 1}, {"gone", "http://gone.example/", 1}, {"theirs", "http://mine.example/", 1}});
  ASSERT_TRUE(from->DeleteLink("gone"));
  to->InsertIfAbsent(std::vector<NewLink>{{"theirs", "http://theirs.example/", 2}});
  ASSERT_TRUE(to->DeleteLink("theirs"));
  ReportFile report;
  const TransferReport copied = CopyLinks(*from, *to, report.file);
  EXPECT_EQ(copied.added, 1u);
  EXPECT_EQ(copied.conflicts, 1u);
  EXPECT_EQ(copied.freedCodes, 1u);
  EXPECT_FALSE(to->FindCode("theirs"));
  EXPECT_EQ(to->InsertIfAbsent(std::vector<NewLink>{{"gone", "http://new.example/", 3}})[0].outcome,
            InsertResult::kCodeHeld);
  std::stringstream csv("code,address,created,clicks\ngone,http://gone.example/,1,0\n");
  const TransferReport imported = ImportCsv(csv, *to, OwnHosts(), report.file);
  EXPECT_EQ(imported.added, 0u);
  EXPECT_EQ(imported.conflicts, 1u);
  const std::string text = report.Text();
  EXPECT_NE(text.find("theirs: a link with this code was deleted there, and the code is held back"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("gone: a link with this code was deleted there"), std::string::npos) << text;
}

TEST(Transfer, ExportThenImportGivesTheSameLinks) {
  test::TempDir dir;
  std::unique_ptr<Store> from = OpenStore(test::SharedPostgres::FreshDatabase());
  from->InsertIfAbsent(SampleLinks());
  std::stringstream csv;
  EXPECT_EQ(ExportCsv(*from, csv), 6004u);
  EXPECT_EQ(csv.str().substr(0, 58), "code,address,created,clicks\r\nZ-_9,http://example.com/lllll");
  EXPECT_NE(csv.str().find("\r\nquoted,\"http://example.com/?q=\"\"a,b\"\"&x='y'\",1970-01-01T00:00:01Z,0\r\n"),
            std::string::npos);
  std::unique_ptr<Store> to = OpenStore(dir.File("imported.db"));
  ReportFile report;
  const TransferReport imported = ImportCsv(csv, *to, OwnHosts(), report.file);
  EXPECT_EQ(imported.added, 6004u);
  EXPECT_EQ(imported.badRows, 0u);
  EXPECT_EQ(Contents(*to, false), Contents(*from, false));
  std::stringstream again(csv.str());
  EXPECT_EQ(ImportCsv(again, *to, OwnHosts(), report.file).present, 6004u);
  EXPECT_EQ(report.Text(), "");
}

TEST(Transfer, ABadRowIsReportedWithItsLineAndNothingIsImported) {
  test::TempDir dir;
  std::unique_ptr<Store> to = OpenStore(dir.File("links.db"));
  std::stringstream csv(
      "code,address,created,clicks\n"
      "good,http://good.example/,2024-02-29T12:00:00Z,5\n"
      "two,\"http://multi.example/\r\nline\",0,0\n"  // a control character in the address
      "bad code,http://e/,0,0\n"
      "x,ftp://e/,0,0\n"
      "y,http://e/,2023-02-29T00:00:00Z,0\n"
      "z,http://e/,0,-1\n"
      "w,http://e/,0\n"
      "v,http://e/\"oops\",0,0\n"
      "t,http://e/,253402300800,0\n"  // after 9999
      "u,http://u.example/,1700000000,0");
  ReportFile report;
  const TransferReport imported = ImportCsv(csv, *to, OwnHosts(), report.file);
  EXPECT_EQ(imported.badRows, 8u);
  EXPECT_EQ(imported.added, 0u);
  EXPECT_FALSE(to->FindCode("good"));
  const std::string text = report.Text();
  for (const char* line :
       {"line 3: ", "line 5: ", "line 6: ", "line 7: ", "line 8: ", "line 9: ", "line 10: ", "line 11: "})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  EXPECT_EQ(text.find("line 12"), std::string::npos) << text;

  std::stringstream header("code,url\nq,http://q/,0,0\n");
  EXPECT_EQ(ImportCsv(header, *to, OwnHosts(), report.file).badRows, 1u);
}

// import refuses a link back to the service as a creation does: to the
// public host and every name the service answers on, from its configuration
// file or from the command line.
TEST(Transfer, ImportRefusesALinkToTheServicesOwnNames) {
  test::TempDir dir;
  const std::string csv = dir.File("links.csv"), config = dir.File("service.conf"), database = dir.File("links.db");
  std::ofstream(csv) << "code,address,created,clicks\n"
                        "a,http://S.Example.Org:8080/loop,0,0\n"  // any port: a proxy may map it
                        "b,http://ok.example/,0,0\n";
  std::ofstream(config) << "public-host = s.example.org\nlisten = 0.0.0.0:80\ndatabase = " << database << "\n";
  std::string output;
  EXPECT_EQ(test::RunProgram({"import", "--config", config, "--input", csv}, &output), 1);
  EXPECT_NE(output.find("line 2: the address: The address is already a short address of this service."),
            std::string::npos)
      << output;
  // listening on every address, loopback is the service's too
  std::ofstream(csv) << "code,address,created,clicks\nc,http://[::ffff:127.0.0.2]/loop,0,0\n";
  EXPECT_EQ(test::RunProgram({"import", "--config", config, "--input", csv}, &output), 1) << output;
  // another service's names are no loop here: the same rows go in
  ASSERT_EQ(test::RunProgram({"import", "--database", database, "--input", csv, "--public-host", "other.example",
                              "--listen", "10.9.9.9:80", "--own-hosts", "proxy.example"},
                             &output),
            0)
      << output;
  std::ofstream(csv) << "code,address,created,clicks\nd,http://PROXY.example/,0,0\n";
  EXPECT_EQ(test::RunProgram({"import", "--database", database, "--input", csv, "--public-host", "other.example",
                              "--listen", "10.9.9.9:80", "--own-hosts", "proxy.example"},
                             &output),
            1)
      << output;
  EXPECT_TRUE(OpenStore(database)->FindCode("c"));
  EXPECT_FALSE(OpenStore(database)->FindCode("d"));
}

TEST(Csv, RecordsReadTheSameWhateverPiecesTheyComeIn) {
  const std::string text = CsvRecord({"a", "b,c", "say \"hi\"", ""}) + CsvRecord({"multi\r\nline", "x"}) + "last,row";
  std::vector<std::vector<std::string>> whole, bytewise;
  std::string error;
  CsvReader one;
  one.Feed(text, true);
  while (auto record = one.Next(&error)) whole.push_back(*record);
  CsvReader two;
  for (std::size_t i = 0; i < text.size(); ++i) {
    two.Feed(text.substr(i, 1), i + 1 == text.size());
    while (auto record = two.Next(&error)) bytewise.push_back(*record);
  }
  const std::vector<std::vector<std::string>> expected = {
      {"a", "b,c", "say \"hi\"", ""}, {"multi\r\nline", "x"}, {"last", "row"}};
  EXPECT_EQ(whole, expected);
  EXPECT_EQ(bytewise, expected);
  EXPECT_EQ(two.line(), 4u);  // the multi-line record took lines 2 and 3
  EXPECT_EQ(ParseTime("2024-02-29T12:00:00Z"), 1709208000);
  EXPECT_EQ(IsoUtc(1709208000), "2024-02-29T12:00:00Z");
  EXPECT_FALSE(ParseTime("2024-13-01T00:00:00Z"));
  EXPECT_FALSE(ParseTime("-5"));
}

}  // namespace
}  // namespace snipora::service
