// The readers of other shorteners' exports and of the service's own lines:
// each reads the format as its program writes it, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/core/kutt_pages.h"
#include "service/core/link_record.h"
#include "service/core/shlink_csv.h"
#include "service/core/yourls_dump.h"

namespace snipora::service {
namespace {

template <class Reader>
std::vector<LinkRecord> ReadAll(Reader& reader, std::vector<std::string>* faults = nullptr) {
  std::vector<LinkRecord> records;
  LinkRecord record;
  std::string error;
  while (reader.Next(record, error)) {
    if (error.empty()) records.push_back(record);
    else if (faults) faults->push_back(error);
  }
  return records;
}

// What mysqldump writes: its comments and version comments, the table's
// definition, its lock, one INSERT of many rows and another, and other
// tables around it, one of whose strings holds an INSERT for it.
constexpr char kDump[] =
    "-- MySQL dump 10.13  Distrib 8.0.36\n"
    "/*!40101 SET @OLD_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT */;\n"
    "DROP TABLE IF EXISTS `yourls_options`;\n"
    "CREATE TABLE `yourls_options` (`option_id` bigint NOT NULL, `option_value` longtext) ENGINE=InnoDB;\n"
    "INSERT INTO `yourls_options` VALUES (1,'INSERT INTO `yourls_url` VALUES (\\'no\\',\\'http://x/\\');');\n"
    "CREATE TABLE `yourls_url` (\n  `keyword` varchar(100) NOT NULL,\n  `url` text NOT NULL,\n"
    "  PRIMARY KEY (`keyword`)\n) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;\n"
    "LOCK TABLES `yourls_url` WRITE;\n"
    "/*!40000 ALTER TABLE `yourls_url` DISABLE KEYS */;\n"
    "INSERT INTO `yourls_url` VALUES ('a1','http://one.example/?q=it\\'s','It\\'s \\\"quoted\\\"',"
    "'2019-03-04 05:06:07','10.0.0.1',12),('b2','http://two.example/a\\\\b','line\\none\\r\\ttab\\Zend\\0nul',"
    "'2020-01-01 00:00:00','::1',0),\n('c3','http://three.example/%41','50\\% off\\_now, ''doubled''',"
    "'2021-06-30 23:59:59','',7);\n"
    "INSERT INTO `yourls_url` VALUES ('zh','http://four.example/','标题 — 中文','2022-02-02 02:02:02',NULL,3);\n"
    "/*!40000 ALTER TABLE `yourls_url` ENABLE KEYS */;\n"
    "UNLOCK TABLES;\n"
    "INSERT INTO `yourls_log` VALUES (1,'2022-01-01 00:00:00','a1','ref','ua','1.1.1.1','US');\n"
    "INSERT INTO yourls_url (`url`, `keyword`, `clicks`) VALUES ('http://five.example/', 'e5', 1);\n";

TEST(YourlsDump, RowsOfTheLinksTableAreReadWithMysqlsEscapesAndTheRestPassedOver) {
  YourlsDumpReader reader(kDump);
  std::vector<std::string> faults;
  const std::vector<LinkRecord> rows = ReadAll(reader, &faults);
  EXPECT_TRUE(faults.empty()) << faults.front();
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0].code, "a1");
  EXPECT_EQ(rows[0].address, "http://one.example/?q=it's");
  EXPECT_EQ(rows[0].title, "It's \"quoted\"");
  EXPECT_EQ(rows[0].created, 1551675967);
  EXPECT_EQ(rows[0].clicks, 12);
  EXPECT_EQ(rows[1].address, "http://two.example/a\\b");
  EXPECT_EQ(rows[1].title, std::string("line\none\r\ttab\x1a" "end\0nul", 21));
  EXPECT_EQ(rows[2].title, "50\\% off\\_now, 'doubled'");  // as MySQL reads \% and \_ outside LIKE
  EXPECT_EQ(rows[2].clicks, 7);
  EXPECT_EQ(rows[3].title, "标题 — 中文");
  EXPECT_EQ(rows[4].code, "e5");  // by the statement's own list of columns
  EXPECT_EQ(rows[4].address, "http://five.example/");
  EXPECT_EQ(rows[4].created, 0);
}

TEST(YourlsDump, AMalformedRowIsAFaultAndTheNextStatementIsStillRead) {
  YourlsDumpReader reader(
      "INSERT INTO `yourls_url` VALUES ('a','http://a.example/','','2020-01-01 00:00:00','',1),('b' 'x'),('lost',1);\n"
      "INSERT INTO `yourls_url` VALUES ('c','http://c.example/','','not a time','',1);\n"
      "INSERT INTO `yourls_url` VALUES ('d','http://d.example/','','2020-01-01 00:00:00','',1);\n");
  std::vector<std::string> faults;
  const std::vector<LinkRecord> rows = ReadAll(reader, &faults);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].code, "a");
  EXPECT_EQ(rows[1].code, "d");
  EXPECT_EQ(faults.size(), 2u);  // b (its statement's rest passed over), and c's time
}

TEST(ShlinkCsv, TheWebClientsColumnsAreReadByNameWithQuotedCommasAndTags) {
  ShlinkCsvReader reader(
      "createdAt,domain,shortCode,shortUrl,longUrl,title,tags,visits\r\n"
      "2024-05-06T07:08:09+02:00,s.example,abc,https://s.example/abc,\"https://one.example/?a=1,2\","
      "\"Hello, \"\"world\"\"\",news|tech,42\r\n"
      "2024-05-06T07:08:09+00:00,,,https://old.example:8080/x-y,https://two.example/,,,0\r\n");
  const std::vector<LinkRecord> rows = ReadAll(reader);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].domain, "s.example");
  EXPECT_EQ(rows[0].code, "abc");
  EXPECT_EQ(rows[0].address, "https://one.example/?a=1,2");
  EXPECT_EQ(rows[0].title, "Hello, \"world\"");
  EXPECT_EQ(rows[0].tags, (std::vector<std::string>{"news", "tech"}));
  EXPECT_EQ(rows[0].created, 1714972089);
  EXPECT_EQ(rows[0].clicks, 42);
  // an older client's row: the code and the domain from the short URL
  EXPECT_EQ(rows[1].domain, "old.example");
  EXPECT_EQ(rows[1].code, "x-y");
  EXPECT_TRUE(rows[1].tags.empty());
}

TEST(KuttPages, PagesOneAfterAnotherWithNullsAreRead) {
  KuttPagesReader reader(
      R"({"limit":2,"skip":0,"total":3,"data":[{"id":"u1","address":"abc","target":"https://one.example/",)"
      R"("description":null,"domain":null,"visit_count":5,"expire_in":null,"created_at":"2023-01-02T03:04:05.000Z"},)"
      R"({"id":"u2","address":"def","target":"https://two.example/","description":"Two","domain":"k.example",)"
      R"("visit_count":null,"expire_in":"2030-01-01T00:00:00.000Z","created_at":null}]})"
      "\n"
      R"({"limit":2,"skip":2,"total":3,"data":[{"address":null,"target":"https://x.example/"},)"
      R"({"address":"ghi","target":"https://three.example/","visit_count":0}]})");
  std::vector<std::string> faults;
  const std::vector<LinkRecord> links = ReadAll(reader, &faults);
  ASSERT_EQ(links.size(), 3u);
  EXPECT_EQ(links[0].code, "abc");
  EXPECT_EQ(links[0].domain, "");
  EXPECT_EQ(links[0].clicks, 5);
  EXPECT_EQ(links[0].created, 1672628645);
  EXPECT_EQ(links[1].title, "Two");
  EXPECT_EQ(links[1].domain, "k.example");
  EXPECT_EQ(links[1].expires, 1893456000);
  EXPECT_EQ(links[2].code, "ghi");
  EXPECT_EQ(faults.size(), 1u);  // the link without an address
}

TEST(LinkRecordLine, ALineReadBackIsTheSameRecordAndStrayLinesAreRefused) {
  LinkRecord record;
  record.domain = "s.example";
  record.code = "promo";
  record.address = "http://one.example/\xE4\xB8\xAD";
  record.created = 1700000000;
  record.clicks = 9;
  record.title = "T";
  record.tags = {"a", "b"};
  record.disabled = true;
  record.publicNote = "gone";
  record.privateNote = "abuse";
  record.expires = 1800000000;
  record.maxClicks = 100;
  record.owner = "ops";
  record.days = {{19000, 2}, {19001, 7}};
  const std::string line = LinkRecordLine(record);
  EXPECT_EQ(line.back(), '\n');
  std::string error;
  EXPECT_EQ(ReadLinkRecordLine(line, &error), record) << error;
  for (const char* bad : {"[]", R"({"code":"a"})", R"({"code":"a","address":"x","created":"yesterday"})",
                          R"({"code":"a","address":"x","created":0,"daily":{"2020-01-02":1,"2020-01-01":1}})",
                          R"({"code":"a","address":"x","created":0,"clicks":-1})"})
    EXPECT_FALSE(ReadLinkRecordLine(bad, &error)) << bad;
}

}  // namespace
}  // namespace snipora::service
