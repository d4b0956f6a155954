// What every store must do, run against each implementation (SQLite, and a
// real PostgreSQL server the tests start).
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <fstream>
#include <iterator>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "service/links/writer.h"
#include "service/store/open_store.h"
#include "service/store/postgres_store.h"
#include "service/store/sqlite_checkpointer.h"
#include "service/store/sqlite_store.h"
#include "service/tests/support/http_client.h"
#include "service/tests/support/store_kinds.h"

namespace snipora::service {
namespace {

using test::StoreKind;
using test::TempDir;

class StoreTest : public testing::TestWithParam<StoreKind> {
 protected:
  void SetUp() override { database_ = GetParam().place(dir_); }
  // Opens the test's store; a second call opens the same data again.
  std::unique_ptr<Store> Open(const StoreOptions& options = {}) { return OpenStore(database_, options); }
  bool Sqlite() const { return std::string_view(GetParam().name) == "sqlite"; }
  // Runs SQL on the test's database behind the store's back, as an operator
  // or an older version of the service would.
  testing::AssertionResult RunSql(const std::string& sql) {
    if (Sqlite()) {
      sqlite3* db = nullptr;
      sqlite3_open(database_.c_str(), &db);
      const bool done = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
      const std::string message = sqlite3_errmsg(db);
      sqlite3_close(db);
      return done ? testing::AssertionSuccess() : testing::AssertionFailure() << message;
    }
    PGconn* connection = PQconnectdb(database_.c_str());
    PGresult* result = PQexec(connection, sql.c_str());
    const bool done = PQresultStatus(result) == PGRES_COMMAND_OK;
    const std::string message = PQerrorMessage(connection);
    PQclear(result);
    PQfinish(connection);
    return done ? testing::AssertionSuccess() : testing::AssertionFailure() << message;
  }
  // The schema an older version made (kept as test data), and `rows` in it.
  testing::AssertionResult LoadOldSchema(int version, const std::string& rows) {
    std::ifstream file(std::string(SERVICE_TEST_DATA) + "/schema_v" + std::to_string(version) +
                       (Sqlite() ? "_sqlite.sql" : "_postgres.sql"));
    if (!file) return testing::AssertionFailure() << "no schema of version " << version;
    return RunSql(std::string(std::istreambuf_iterator<char>(file), {}) + rows);
  }
  TempDir dir_;
  std::string database_;
};

TEST_P(StoreTest, InsertIfAbsentKeepsOneCodePerAddressAndOneAddressPerCode) {
  std::unique_ptr<Store> store = Open();
  const std::vector<InsertResult> first = store->InsertIfAbsent(std::vector<NewLink>{
      {"aaaaaaa", "http://one.example/", 100},
      {"bbbbbbb", "http://one.example/", 101},  // same address later in the batch
      {"aaaaaaa", "http://two.example/", 102},  // same code later in the batch
      {"ccccccc", "http://two.example/", 103},
  });
  ASSERT_EQ(first.size(), 4u);
  EXPECT_EQ(first[0].outcome, InsertResult::kInserted);
  EXPECT_EQ(first[1].outcome, InsertResult::kAddressKnown);
  EXPECT_EQ(first[1].code, "aaaaaaa");
  EXPECT_EQ(first[2].outcome, InsertResult::kCodeTaken);
  EXPECT_EQ(first[3].outcome, InsertResult::kInserted);

  EXPECT_EQ(store->FindAddress("http://one.example/"), "aaaaaaa");
  EXPECT_EQ(store->FindAddress("http://one.example"), std::nullopt);  // byte for byte
  const std::optional<Link> link = store->FindCode("ccccccc");
  ASSERT_TRUE(link);
  EXPECT_EQ(link->address, "http://two.example/");
  EXPECT_EQ(link->created, 103);
  EXPECT_EQ(link->clicks, 0);
  EXPECT_FALSE(store->FindCode("AAAAAAA"));  // codes are case-sensitive
}

TEST_P(StoreTest, AddressesKeepEveryByte) {
  std::unique_ptr<Store> store = Open();
  const std::string address = std::string("http://e.com/\xE4\xB8\xAD?a='b\"&c=%00;--") + std::string(8000, 'x');
  store->InsertIfAbsent(std::vector<NewLink>{{"q", address, 1}});
  EXPECT_EQ(store->FindCode("q")->address, address);
  EXPECT_EQ(store->FindAddress(address), "q");
}

TEST_P(StoreTest, ClicksAddUpAndUnknownCodesAreIgnored) {
  std::unique_ptr<Store> store = Open();
  store->InsertIfAbsent(std::vector<NewLink>{{"a", "http://a/", 1}, {"b", "http://b/", 1}});
  store->AddClicks(std::vector<ClickCount>{{"a", 3}, {"nothere", 5}});
  store->AddClicks(std::vector<ClickCount>{{"a", 2}, {"b", 1}});
  EXPECT_EQ(store->FindCode("a")->clicks, 5);
  EXPECT_EQ(store->FindCode("b")->clicks, 1);
  EXPECT_FALSE(store->FindCode("nothere"));
}

TEST_P(StoreTest, WhatWasCommittedIsThereWhenOpenedAgain) {
  {
    std::unique_ptr<Store> store = Open();
    store->InsertIfAbsent(std::vector<NewLink>{{"kept", "http://kept.example/", 7}});
    store->AddClicks(std::vector<ClickCount>{{"kept", 4}});
  }
  std::unique_ptr<Store> store = Open();
  EXPECT_EQ(store->FindCode("kept")->clicks, 4);
  EXPECT_TRUE(store->Healthy());
}

TEST_P(StoreTest, EveryLinkIsVisitedOnceInCodeOrderWithItsCountsAndTimes) {
  std::unique_ptr<Store> store = Open();
  // more than a page of the PostgreSQL store; codes differing in case only
  std::vector<NewLink> links;
  for (int i = 0; i < 4500; ++i) links.push_back({"k" + std::to_string(i), "http://e/" + std::to_string(i), i, 0});
  links.push_back({"Z", "http://upper/", 5, 9});
  links.push_back({"z", "http://lower/", 6, 0});
  store->InsertIfAbsent(links);
  std::vector<std::string> seen;
  int64_t clicks = 0;
  store->ForEachLink([&](const Link& link) {
    seen.push_back(link.code);
    clicks += link.clicks;
    if (link.code == "k4321") {
      EXPECT_EQ(link.address, "http://e/4321");
    }
    if (link.code == "k17") {
      EXPECT_EQ(link.created, 17);
    }
    return true;
  });
  int visited = 0;
  store->ForEachLink([&](const Link&) { return ++visited < 3; });
  EXPECT_EQ(visited, 3);
  ASSERT_EQ(seen.size(), links.size());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));  // byte order: "Z" before "k"
  EXPECT_EQ(seen.front(), "Z");
  EXPECT_EQ(clicks, 9);
}

TEST_P(StoreTest, ReadersAndTheWriterAtOnce) {
  std::unique_ptr<Store> store = Open();
  std::atomic<bool> wrong{false};
  std::thread writer([&] {
    for (int i = 0; i < 200; ++i)
      store->InsertIfAbsent(std::vector<NewLink>{{"c" + std::to_string(i), "http://e/" + std::to_string(i), 1}});
  });
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r)
    readers.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        const std::optional<Link> link = store->FindCode("c" + std::to_string(i));
        if (link && link->address != "http://e/" + std::to_string(i)) wrong = true;
      }
    });
  writer.join();
  for (std::thread& reader : readers) reader.join();
  EXPECT_FALSE(wrong);
  EXPECT_EQ(store->FindAddress("http://e/199"), "c199");
}
// A change sets what it names and nothing else, keeps one address per code,
// and survives reopening; a deleted link is gone with its address.
TEST_P(StoreTest, LinksAreChangedAndDeleted) {
  {
    std::unique_ptr<Store> store = Open();
    store->InsertIfAbsent(std::vector<NewLink>{{"aaaaaaa", "http://one.example/", 100, 4},
                                               {"bbbbbbb", "http://two.example/", 101}});
    LinkChange change;
    change.disabled = true;
    change.publicNote = "Reported as phishing";
    change.privateNote = "ticket 12, \x01 bytes kept";
    change.expires = int64_t(2000000000);
    change.maxClicks = int64_t(10);
    const ChangeResult changed = store->ChangeLink("aaaaaaa", change);
    ASSERT_EQ(changed.outcome, ChangeResult::kChanged);
    EXPECT_EQ(changed.link.address, "http://one.example/");
    EXPECT_EQ(changed.link.clicks, 4);
    EXPECT_EQ(store->ChangeLink("zzzzzzz", change).outcome, ChangeResult::kNotFound);
    LinkChange taken;
    taken.address = "http://two.example/";
    EXPECT_EQ(store->ChangeLink("aaaaaaa", taken).outcome, ChangeResult::kAddressTaken);
    LinkChange back;
    back.maxClicks = std::optional<int64_t>();  // no limit again
    ASSERT_EQ(store->ChangeLink("aaaaaaa", back).outcome, ChangeResult::kChanged);
  }
  std::unique_ptr<Store> store = Open();
  const std::optional<Link> link = store->FindCode("aaaaaaa");
  ASSERT_TRUE(link);
  EXPECT_TRUE(link->disabled);
  EXPECT_EQ(link->publicNote, "Reported as phishing");
  EXPECT_EQ(link->privateNote, "ticket 12, \x01 bytes kept");
  EXPECT_EQ(link->expires, 2000000000);
  EXPECT_EQ(link->maxClicks, std::nullopt);
  EXPECT_EQ(link->address, "http://one.example/");
  EXPECT_TRUE(store->DeleteLink("bbbbbbb"));
  EXPECT_FALSE(store->DeleteLink("bbbbbbb"));
  EXPECT_FALSE(store->FindCode("bbbbbbb"));
  EXPECT_FALSE(store->FindAddress("http://two.example/"));
  LinkChange moved;
  moved.address = "http://two.example/";  // free again
  EXPECT_EQ(store->ChangeLink("aaaaaaa", moved).outcome, ChangeResult::kChanged);
  EXPECT_EQ(store->FindAddress("http://two.example/"), "aaaaaaa");
}

// Keys keep their digest as bytes; every change to a link or a key is
// logged in order, for the instances that read the log.
TEST_P(StoreTest, KeysAndTheLogOfChanges) {
  std::unique_ptr<Store> store = Open();
  const int64_t start = store->LastChange();
  const std::string digest("\x00\xff\x01 digest", 10);
  ASSERT_TRUE(store->AddKey({"ops", "admin", digest, 100}));
  EXPECT_FALSE(store->AddKey({"ops", "creator", "other", 101}));
  ASSERT_TRUE(store->AddKey({"app", "creator", "digest two", 102}));
  EXPECT_TRUE(store->RevokeKey("app", 200));
  EXPECT_FALSE(store->RevokeKey("app", 201));
  EXPECT_FALSE(store->RevokeKey("nobody", 201));
  store->InsertIfAbsent(std::vector<NewLink>{{"aaaaaaa", "http://one.example/", 100, 0, "ops"}});
  EXPECT_EQ(store->FindCode("aaaaaaa")->owner, "ops");
  LinkChange change;
  change.disabled = true;
  store->ChangeLink("aaaaaaa", change);
  const std::vector<KeyRecord> keys = Open()->ListKeys();
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].name, "app");
  EXPECT_EQ(keys[0].revoked, 200);
  EXPECT_EQ(keys[1].digest, digest);
  EXPECT_EQ(keys[1].role, "admin");
  EXPECT_EQ(keys[1].revoked, std::nullopt);
  const std::vector<ChangeNote> notes = store->ChangesSince(start, 10);
  ASSERT_EQ(notes.size(), 4u);
  EXPECT_EQ(notes[0].kind + ":" + notes[0].name, "key:ops");
  EXPECT_EQ(notes[2].kind + ":" + notes[2].name, "key:app");  // revoked
  EXPECT_EQ(notes[3].kind + ":" + notes[3].name, "link:aaaaaaa");
  EXPECT_EQ(store->LastChange(), notes[3].seq);
  EXPECT_EQ(store->ChangesSince(notes[1].seq, 1).size(), 1u);
}

// A flush is counted once however often it is written (a retry after an
// unanswered commit), and its clicks land on its day; clicks of codes that
// are not there make no daily rows.
TEST_P(StoreTest, AFlushCountsOnceAndOnItsDay) {
  std::unique_ptr<Store> store = Open();
  store->InsertIfAbsent(std::vector<NewLink>{{"aaaaaaa", "http://one.example/", 100}});
  const std::vector<ClickCount> counts = {{"aaaaaaa", 3}, {"gone", 4}};
  store->AddClicks(counts, {"flush-1", 20000});
  store->AddClicks(counts, {"flush-1", 20000});  // the same flush again
  store->AddClicks(std::vector<ClickCount>{{"aaaaaaa", 2}}, {"flush-2", 20000});
  store->AddClicks(std::vector<ClickCount>{{"aaaaaaa", 5}}, {"flush-3", 20002});
  EXPECT_EQ(store->FindCode("aaaaaaa")->clicks, 10);
  // a link with a limit has its new count noted, for the other instances
  const int64_t before = store->LastChange();
  store->AddClicks(std::vector<ClickCount>{{"aaaaaaa", 0, true}, {"gone", 1, true}}, {"flush-4", 20002});
  const std::vector<ChangeNote> noted = store->ChangesSince(before, 10);
  ASSERT_EQ(noted.size(), 1u);
  EXPECT_EQ(noted[0].name, "aaaaaaa");
  const std::vector<DayCount> days = Open()->ClicksByDay("aaaaaaa", 19000, 21000);
  ASSERT_EQ(days.size(), 2u);
  EXPECT_EQ(days[0].day, 20000);
  EXPECT_EQ(days[0].clicks, 5);
  EXPECT_EQ(days[1].day, 20002);
  EXPECT_EQ(days[1].clicks, 5);
  EXPECT_EQ(store->ClicksByDay("aaaaaaa", 20001, 20001).size(), 0u);
  EXPECT_EQ(store->ClicksByDay("gone", 0, 30000).size(), 0u);
  EXPECT_TRUE(store->DeleteLink("aaaaaaa"));
  EXPECT_EQ(store->ClicksByDay("aaaaaaa", 0, 30000).size(), 0u);
}

// A store made by version 1 (its schema kept as test data), with links and
// clicks in it, opens under the current schema with every one of them.
TEST_P(StoreTest, AVersion1StoreOpensWithEveryLinkAndItsClicks) {
  ASSERT_TRUE(LoadOldSchema(1, "INSERT INTO links(code, address, created, clicks) VALUES ('aaaaaaa',"
                               " 'http://one.example/', 100, 5), ('Zz_-9', 'http://two.example/x', 200, 0);"));
  for (int open = 0; open < 2; ++open) {  // migrated once; the second open finds the current version
    std::unique_ptr<Store> store = Open();
    const std::optional<Link> one = store->FindCode("aaaaaaa");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->address, "http://one.example/");
    EXPECT_EQ(one->created, 100);
    EXPECT_EQ(one->clicks, 5 + open);
    EXPECT_FALSE(one->disabled);
    EXPECT_EQ(one->expires, std::nullopt);
    EXPECT_EQ(one->maxClicks, std::nullopt);
    EXPECT_EQ(one->owner, "");
    EXPECT_EQ(one->title, "");
    EXPECT_TRUE(one->tags.empty());
    EXPECT_EQ(store->FindAddress("http://two.example/x"), "Zz_-9");
    std::vector<std::string> codes;
    store->ForEachLink([&](const Link& link) {
      codes.push_back(link.code);
      return true;
    });
    EXPECT_EQ(codes, (std::vector<std::string>{"Zz_-9", "aaaaaaa"}));
    store->AddClicks(std::vector<ClickCount>{{"aaaaaaa", 1}});
  }
}

// A store made by version 2, with a link's life, notes and owner, a key,
// daily clicks and the log of changes, opens under the current schema with
// all of them; its links have no title nor tags until given some.
TEST_P(StoreTest, AVersion2StoreOpensWithEverythingItHeld) {
  const std::string yes = Sqlite() ? "1" : "true", no = Sqlite() ? "0" : "false";
  const std::string digest = Sqlite() ? "X'00ff'" : "'\\x00ff'::bytea";
  ASSERT_TRUE(LoadOldSchema(
      2, "INSERT INTO links(code, address, created, clicks, disabled, public_note, private_note, expires, max_clicks,"
         " owner) VALUES ('aaaaaaa', 'http://one.example/', 100, 5, " + yes + ", 'gone', 'ticket', 2000000000, 9,"
         " 'ops'), ('b', 'http://two.example/', 200, 0, " + no + ", '', '', NULL, NULL, '');"
         "INSERT INTO keys(name, role, digest, created) VALUES ('ops', 'admin', " + digest + ", 50);"
         "INSERT INTO daily_clicks(code, day, clicks) VALUES ('aaaaaaa', 20000, 5);"
         "INSERT INTO changes(kind, name, at) VALUES ('link', 'aaaaaaa', 100);"));
  for (int open = 0; open < 2; ++open) {  // migrated once; the second open finds the current version
    std::unique_ptr<Store> store = Open();
    const std::optional<Link> one = store->FindCode("aaaaaaa");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->address, "http://one.example/");
    EXPECT_EQ(one->clicks, 5);
    EXPECT_TRUE(one->disabled);
    EXPECT_EQ(one->publicNote, "gone");
    EXPECT_EQ(one->privateNote, "ticket");
    EXPECT_EQ(one->expires, 2000000000);
    EXPECT_EQ(one->maxClicks, 9);
    EXPECT_EQ(one->owner, "ops");
    EXPECT_EQ(one->title, open == 0 ? "" : "named");
    EXPECT_EQ(one->tags, open == 0 ? std::vector<std::string>{} : std::vector<std::string>{"t"});
    EXPECT_FALSE(store->FindCode("b")->disabled);
    const std::vector<KeyRecord> keys = store->ListKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].digest, std::string("\x00\xff", 2));
    ASSERT_EQ(store->ClicksByDay("aaaaaaa", 0, 30000).size(), 1u);
    EXPECT_EQ(store->ClicksByDay("aaaaaaa", 0, 30000)[0].clicks, 5);
    EXPECT_EQ(store->ChangesSince(0, 10).size(), std::size_t(1 + open));
    if (open == 0) {
      LinkChange named;
      named.title = "named";
      named.tags = std::vector<std::string>{"t"};
      ASSERT_EQ(store->ChangeLink("aaaaaaa", named).outcome, ChangeResult::kChanged);
    }
  }
}

// A store made by version 3, with a link's title and tags and a key, opens
// under the current schema with them, and from then on holds back the codes
// of the links it deletes.
TEST_P(StoreTest, AVersion3StoreOpensWithEverythingItHeldAndHoldsDeletedCodesBack) {
  const std::string title = Sqlite() ? "'Q3 plan'" : "'Q3 plan'::bytea";
  const std::string digest = Sqlite() ? "X'00ff'" : "'\\x00ff'::bytea";
  ASSERT_TRUE(LoadOldSchema(
      3, "INSERT INTO links(code, address, created, clicks, owner, title, tags) VALUES ('promo2026',"
         " 'http://one.example/', 100, 5, 'ops', " + title + ", '[\"a\"]'), ('b', 'http://two.example/', 200, 0, '', "
         + title + ", '[]');"
         "INSERT INTO keys(name, role, digest, created) VALUES ('ops', 'admin', " + digest + ", 50);"));
  for (int open = 0; open < 2; ++open) {  // migrated once; the second open finds the current version
    std::unique_ptr<Store> store = Open();
    const std::optional<Link> one = store->FindCode("promo2026");
    ASSERT_EQ(one.has_value(), open == 0);
    if (open == 0) {
      EXPECT_EQ(one->title, "Q3 plan");
      EXPECT_EQ(one->tags, std::vector<std::string>{"a"});
      EXPECT_EQ(one->clicks, 5);
      ASSERT_TRUE(store->DeleteLink("promo2026"));
    }
    EXPECT_EQ(store->ListKeys().size(), 1u);
    EXPECT_EQ(store->FindCode("b")->address, "http://two.example/");
    const std::vector<InsertResult> again =
        store->InsertIfAbsent(std::vector<NewLink>{{"promo2026", "http://elsewhere.example/", 300}});
    EXPECT_EQ(again[0].outcome, InsertResult::kCodeHeld);
  }
}

// Several domains in one store: a code and an address are each unique on a
// domain alone, and whatever names one link (its clicks, its days, its
// change, its deletion and held-back code) touches that domain's only. A
// version 4 store's links are all on the default domain.
TEST_P(StoreTest, EachDomainHasItsOwnCodesAndAddresses) {
  ASSERT_TRUE(LoadOldSchema(4, "INSERT INTO links(code, address, created, clicks) VALUES ('promo',"
                               " " + std::string(Sqlite() ? "" : "'http://old.example/'::bytea") +
                               (Sqlite() ? "'http://old.example/'" : "") + ", 100, 7);"));
  StoreOptions options;
  options.codeQuarantine = 1000;
  std::unique_ptr<Store> store = Open(options);
  ASSERT_EQ(store->FindCode("promo")->clicks, 7);
  EXPECT_EQ(store->FindCode("promo")->domain, "");
  std::vector<NewLink> links{{"promo", "http://new.example/", 200}, {"other", "http://old.example/", 201},
                             {"again", "http://old.example/", 202}};
  for (NewLink& link : links) link.domain = "s.example";
  const std::vector<InsertResult> results = store->InsertIfAbsent(links);
  EXPECT_EQ(results[0].outcome, InsertResult::kInserted);  // the same code, another domain
  EXPECT_EQ(results[1].outcome, InsertResult::kInserted);  // the same address, another domain
  EXPECT_EQ(results[2].outcome, InsertResult::kAddressKnown);
  EXPECT_EQ(results[2].code, "other");
  EXPECT_EQ(store->FindAddress("http://old.example/"), "promo");
  EXPECT_EQ(store->FindAddress("http://old.example/", "s.example"), "other");
  const std::optional<Link> there = store->FindCode(LinkKey("s.example", "promo"));
  ASSERT_TRUE(there);
  EXPECT_EQ(there->address, "http://new.example/");
  EXPECT_EQ(there->code, "promo");
  EXPECT_EQ(there->domain, "s.example");

  store->AddClicks(std::vector<ClickCount>{{LinkKey("s.example", "promo"), 3}}, {"flush-1", 20000});
  EXPECT_EQ(store->FindCode("promo")->clicks, 7);
  EXPECT_EQ(store->ClicksByDay(LinkKey("s.example", "promo"), 20000, 20000).at(0).clicks, 3);
  EXPECT_TRUE(store->ClicksByDay("promo", 20000, 20000).empty());
  LinkQuery query;
  query.domain = "s.example";
  std::vector<std::string> listed;
  for (const Link& link : store->ListLinks(query)) listed.push_back(link.code);
  EXPECT_EQ(listed, (std::vector<std::string>{"other", "promo"}));
  query.after = "other";
  EXPECT_EQ(store->ListLinks(query).size(), 1u);
  EXPECT_EQ(store->ListLinks(LinkQuery{}).size(), 1u);
  std::vector<std::string> keys;
  store->ForEachLink([&](const Link& link) {
    keys.push_back(LinkKey(link));
    return true;
  });
  EXPECT_EQ(keys, (std::vector<std::string>{"promo", "s.example/other", "s.example/promo"}));

  LinkChange change;
  change.address = "http://other.example/";
  EXPECT_EQ(store->ChangeLink(LinkKey("s.example", "promo"), change).outcome, ChangeResult::kChanged);
  change.address = "http://old.example/";  // the other domain's address is no conflict here...
  EXPECT_EQ(store->ChangeLink("promo", change).outcome, ChangeResult::kChanged);
  EXPECT_EQ(store->ChangeLink(LinkKey("s.example", "promo"), change).outcome, ChangeResult::kAddressTaken);  // ...this one's is
  ASSERT_TRUE(store->DeleteLink(LinkKey("s.example", "promo")));
  EXPECT_EQ(store->FindCode("promo")->address, "http://old.example/");
  EXPECT_EQ(store->ChangesSince(0, 10).back().name, "s.example/promo");
  // held back on its own domain only
  std::vector<NewLink> retry{{"promo", "http://third.example/", 300}};
  retry[0].domain = "s.example";
  EXPECT_EQ(store->InsertIfAbsent(retry)[0].outcome, InsertResult::kCodeHeld);
  retry[0].domain = "t.example";
  EXPECT_EQ(store->InsertIfAbsent(retry)[0].outcome, InsertResult::kInserted);
}

// A deleted link's code is held back for the quarantine: neither another
// address nor the same one gets it, whatever else its batch holds, until the
// quarantine has passed; then it is given out and its row pruned by the next
// click write. 0 days hold nothing.
TEST_P(StoreTest, ADeletedCodeIsHeldBackForTheQuarantineAndThenGivenOut) {
  constexpr int64_t kDay = 86400, kStart = 1800000000;
  std::atomic<int64_t> now{kStart};
  StoreOptions options;
  options.now = [&] { return now.load(); };
  std::unique_ptr<Store> store = Open(options);
  store->InsertIfAbsent(std::vector<NewLink>{{"promo2026", "http://old.example/", 1}, {"later", "http://l.example/", 1}});
  ASSERT_TRUE(store->DeleteLink("promo2026"));
  now = kStart + 364 * kDay;
  ASSERT_TRUE(store->DeleteLink("later"));
  const std::vector<InsertResult> held = store->InsertIfAbsent(std::vector<NewLink>{
      {"promo2026", "http://new.example/", 2},
      {"fresh", "http://new.example/", 2},  // the same address with a free code, later in the batch
      {"promo2026", "http://old.example/", 2},
  });
  ASSERT_EQ(held.size(), 3u);
  EXPECT_EQ(held[0].outcome, InsertResult::kCodeHeld);
  EXPECT_EQ(held[1].outcome, InsertResult::kInserted);
  EXPECT_EQ(held[2].outcome, InsertResult::kCodeHeld);
  EXPECT_FALSE(store->FindCode("promo2026"));
  EXPECT_EQ(store->FindAddress("http://new.example/"), "fresh");

  now = kStart + 365 * kDay;  // promo2026's quarantine has passed, later's has not
  EXPECT_EQ(store->InsertIfAbsent(std::vector<NewLink>{{"promo2026", "http://old.example/", 3}})[0].outcome,
            InsertResult::kInserted);
  EXPECT_EQ(store->InsertIfAbsent(std::vector<NewLink>{{"later", "http://l.example/", 3}})[0].outcome,
            InsertResult::kCodeHeld);
  store->AddClicks(std::vector<ClickCount>{{"fresh", 1}}, {"prunes", 1});
  std::vector<std::string> kept;
  store->ForEachFreedCode([&](const FreedCode& freed) {
    kept.push_back(freed.code + "@" + std::to_string(freed.freed - kStart));
    return true;
  });
  EXPECT_EQ(kept, std::vector<std::string>{"later@" + std::to_string(364 * kDay)});

  options.codeQuarantine = 0;
  EXPECT_EQ(Open(options)->InsertIfAbsent(std::vector<NewLink>{{"later", "http://l.example/", 4}})[0].outcome,
            InsertResult::kInserted);
}

// The writer answers a random code only once the store took it: one held
// back gets the next try, as a collision does; an alias held back is taken.
TEST_P(StoreTest, TheWriterNeverGivesOutAHeldCode) {
  std::unique_ptr<Store> store = Open();
  store->InsertIfAbsent(std::vector<NewLink>{{"heldCd1", "http://deleted.example/", 1}});
  ASSERT_TRUE(store->DeleteLink("heldCd1"));
  LinkCache cache(100);
  Metrics metrics;
  std::vector<std::string> codes = {"freshC1", "heldCd1"};  // handed out from the back
  WriterSettings settings;
  settings.newCode = [&] {
    std::string code = codes.back();
    codes.pop_back();
    return code;
  };
  LinkWriter writer(*store, cache, metrics, settings);
  const auto create = [&](const std::string& address, const std::string& alias) {
    std::promise<Created> answered;
    writer.Submit({address, alias}, [&](const Created& created) { answered.set_value(created); });
    return answered.get_future().get();
  };
  const Created random = create("http://random.example/", "");
  EXPECT_EQ(random.outcome, Created::kCreated);
  EXPECT_EQ(random.code, "freshC1");
  EXPECT_TRUE(codes.empty());
  EXPECT_EQ(create("http://alias.example/", "heldCd1").outcome, Created::kAliasTaken);
  EXPECT_FALSE(store->FindCode("heldCd1"));
}

// What a link is born with and what its client said of it come back from
// every read: the title byte for byte, the tags as JSON keeps them (bytes
// that are not UTF-8 as U+FFFD). A title no database text would take fails
// nothing, the other links of its batch included. A tags column an operator
// edited into something else reads as the strings it holds, or none.
TEST_P(StoreTest, TitlesTagsAndTheEndALinkIsBornWithAreKept) {
  const std::string title = std::string("Q3 \"plan\"; DROP") + '\0' + "\xff \xE4\xB8\xAD";
  const NewLink born{"born", "http://born.example/", 100, 0, "ops", title,
                     {"a,b", "{\"x\":[1]}", "", std::string("nul\0in", 6), "\xE4\xB8\xAD", "bad\xff"},
                     2000000000, 3};
  const std::vector<std::string> tags = {"a,b", "{\"x\":[1]}", "", std::string("nul\0in", 6), "\xE4\xB8\xAD",
                                         "bad\xEF\xBF\xBD"};
  const auto check = [&](const Link& link) {
    EXPECT_EQ(link.title, title);
    EXPECT_EQ(link.tags, tags);
    EXPECT_EQ(link.expires, 2000000000);
    EXPECT_EQ(link.maxClicks, 3);
    EXPECT_EQ(link.owner, "ops");
  };
  {
    std::unique_ptr<Store> store = Open();
    const std::vector<InsertResult> results =
        store->InsertIfAbsent(std::vector<NewLink>{born, {"plain", "http://plain.example/", 101}});
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].outcome, InsertResult::kInserted);
    EXPECT_EQ(results[1].outcome, InsertResult::kInserted);
    check(*store->FindCode("born"));
    const std::vector<Link> listed = store->ListLinks({});
    ASSERT_EQ(listed.size(), 2u);
    check(listed[0]);
    EXPECT_EQ(listed[1].title, "");
    EXPECT_TRUE(listed[1].tags.empty());
    EXPECT_EQ(listed[1].expires, std::nullopt);
    EXPECT_EQ(listed[1].maxClicks, std::nullopt);
    store->ForEachLink([&](const Link& link) {
      if (link.code == "born") check(link);
      return true;
    });
    LinkChange change;
    change.title = "renamed";
    change.tags = std::vector<std::string>{"one"};
    const ChangeResult changed = store->ChangeLink("born", change);
    ASSERT_EQ(changed.outcome, ChangeResult::kChanged);
    EXPECT_EQ(changed.link.maxClicks, 3);
  }
  std::unique_ptr<Store> store = Open();
  const std::optional<Link> renamed = store->FindCode("born");
  EXPECT_EQ(renamed->title, "renamed");
  EXPECT_EQ(renamed->tags, std::vector<std::string>{"one"});
  EXPECT_EQ(renamed->expires, 2000000000);
  ASSERT_TRUE(RunSql("UPDATE links SET tags = 'not [json' WHERE code = 'born';"
                     "UPDATE links SET tags = '[\"a\", 5, null, \"b\"]' WHERE code = 'plain'"));
  EXPECT_TRUE(store->FindCode("born")->tags.empty());
  EXPECT_EQ(store->FindCode("plain")->tags, (std::vector<std::string>{"a", "b"}));
  std::size_t visited = 0;
  store->ForEachLink([&](const Link&) {
    ++visited;
    return true;
  });
  EXPECT_EQ(visited, 2u);
}

// The console's search finds links through the store's trigram index: the
// links an older store held (indexed as it migrates), a link made after,
// a changed title by its new words alone, a deleted link no more; letter
// case is ignored and LIKE's own characters are plain characters.
TEST_P(StoreTest, SearchFindsThroughTheIndexWhatTheLinksHoldNow) {
  ASSERT_TRUE(LoadOldSchema(4, "INSERT INTO links(code, address, created, title) VALUES ('old', " +
                                   std::string(Sqlite() ? "'http://old.example/Reports/2024', 100, 'Budget'"
                                                        : "'http://old.example/Reports/2024'::bytea, 100,"
                                                          " 'Budget'::bytea") + ");"));
  std::unique_ptr<Store> store = Open();
  NewLink made{"made", "http://new.example/a_b/50%off", 200};
  made.title = "Plan \xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97 Q3";
  made.tags = {"launch-day"};
  ASSERT_EQ(store->InsertIfAbsent(std::vector<NewLink>{made, {"other", "http://new.example/axb/500ff", 201}})[0].outcome,
            InsertResult::kInserted);
  const auto found = [&](const std::string& text) {
    LinkQuery query;
    query.text = text;
    std::vector<std::string> codes;
    for (const Link& link : store->ListLinks(query)) codes.push_back(link.code);
    return codes;
  };
  using Codes = std::vector<std::string>;
  EXPECT_EQ(found("reports/2024"), Codes{"old"});
  EXPECT_EQ(found("budget"), Codes{"old"});
  EXPECT_EQ(found("\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97"), Codes{"made"});
  EXPECT_EQ(found("a_b/50%"), Codes{"made"});  // not "axb/500"
  EXPECT_EQ(found("nch-d"), Codes{"made"});
  EXPECT_EQ(found("ade"), Codes{"made"});  // the code
  EXPECT_EQ(found("new.example"), (Codes{"made", "other"}));
  LinkChange change;
  change.title = "Renamed forecast";
  ASSERT_EQ(store->ChangeLink("old", change).outcome, ChangeResult::kChanged);
  EXPECT_EQ(found("forecast"), Codes{"old"});
  EXPECT_TRUE(found("budget").empty());
  EXPECT_EQ(found("reports/2024"), Codes{"old"});
  ASSERT_TRUE(store->DeleteLink("made"));
  EXPECT_TRUE(found("nch-d").empty());
  EXPECT_EQ(found("new.example"), Codes{"other"});
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreTest, testing::ValuesIn(test::kStoreKinds), test::KindName);

TEST(PostgresStore, InstancesStartingTogetherMigrateOnceAndANewerSchemaIsRefused) {
  const std::string database = test::SharedPostgres::FreshDatabase();
  std::vector<std::thread> starting;
  std::atomic<int> failed{0};
  for (int i = 0; i < 4; ++i)
    starting.emplace_back([&] {
      try {
        OpenPostgresStore(database)->InsertIfAbsent(std::vector<NewLink>{{"same", "http://same/", 1}});
      } catch (const StoreError& error) {
        ADD_FAILURE() << error.what();
        ++failed;
      }
    });
  for (std::thread& thread : starting) thread.join();
  EXPECT_EQ(failed, 0);
  std::unique_ptr<Store> store = OpenPostgresStore(database);
  EXPECT_EQ(store->FindAddress("http://same/"), "same");
  {
    // a database written by a later version is left alone, not misread
    PGconn* connection = PQconnectdb(database.c_str());
    PQclear(PQexec(connection, ("UPDATE snipora_schema SET version = " +
                                std::to_string(PostgresSchemaVersion() + 1)).c_str()));
    PQfinish(connection);
  }
  EXPECT_THROW(OpenPostgresStore(database), StoreError);
  EXPECT_THROW(OpenPostgresStore("postgresql://snipora@127.0.0.1:1/nothing"), StoreError);
}

// A link deleted while an insert of its code waits for the deleting
// transaction frees the code after the insert's snapshot was taken: the
// insert still finds it held, and the code stays free of the new address.
TEST(PostgresStore, ACodeFreedWhileItsInsertWaitsIsHeld) {
  const std::string database = test::SharedPostgres::FreshDatabase();
  std::unique_ptr<Store> store = OpenPostgresStore(database);
  store->InsertIfAbsent(std::vector<NewLink>{{"promo2026", "http://old.example/", 1}});
  const auto run = [](PGconn* connection, const std::string& sql) {
    PGresult* result = PQexec(connection, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    PQclear(result);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  };
  // the deletion as another instance makes it, left open
  const std::unique_ptr<PGconn, decltype(&PQfinish)> deleting(PQconnectdb(database.c_str()), &PQfinish);
  ASSERT_TRUE(run(deleting.get(), "BEGIN"));
  ASSERT_TRUE(run(deleting.get(), "DELETE FROM links WHERE code = 'promo2026'"));
  ASSERT_TRUE(run(deleting.get(), "INSERT INTO freed_codes(code, freed) VALUES ('promo2026', extract(epoch FROM now())::int8)"));
  std::future<std::vector<InsertResult>> inserting = std::async(std::launch::async, [&] {
    return store->InsertIfAbsent(std::vector<NewLink>{{"promo2026", "http://new.example/", 2}});
  });
  // until the insert waits for the deletion's row lock
  const std::unique_ptr<PGconn, decltype(&PQfinish)> watching(PQconnectdb(database.c_str()), &PQfinish);
  bool waiting = false;
  for (int i = 0; i < 500 && !waiting; ++i) {
    PGresult* result = PQexec(watching.get(),
                              "SELECT count(*) FROM pg_stat_activity WHERE datname = current_database()"
                              " AND wait_event_type = 'Lock' AND query LIKE 'INSERT INTO links%'");
    waiting = PQntuples(result) == 1 && std::string_view(PQgetvalue(result, 0, 0)) == "1";
    PQclear(result);
    if (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // committed whatever came of the wait: the insert must not outlive it
  ASSERT_TRUE(run(deleting.get(), "COMMIT"));
  EXPECT_TRUE(waiting) << "the insert never waited for the deletion";
  const std::vector<InsertResult> results = inserting.get();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].outcome, InsertResult::kCodeHeld);
  EXPECT_FALSE(store->FindCode("promo2026"));
  EXPECT_FALSE(store->FindAddress("http://new.example/"));
}

TEST(SqliteStore, SchemaVersionIsWrittenAndANewerOneIsRefused) {
  TempDir dir;
  OpenSqliteStore(dir.File("links.db"));
  {
    std::unique_ptr<Store> store = OpenSqliteStore(dir.File("links.db"));  // migrating twice is harmless
    EXPECT_TRUE(store->Healthy());
  }
  // a database written by a later version is left alone, not misread
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.File("links.db").c_str(), &db), SQLITE_OK);
    const std::string sql = "PRAGMA user_version = " + std::to_string(SqliteSchemaVersion() + 1);
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  EXPECT_THROW(OpenSqliteStore(dir.File("links.db")), StoreError);
  EXPECT_THROW(OpenSqliteStore(dir.File("no/such/folder/links.db")), StoreError);
}

// The log of changes and the flushes' ids do not grow for ever: the click
// writes drop what is older than a day (an hour for the ids).
TEST(SqliteStore, OldChangesAndFlushIdsArePruned) {
  TempDir dir;
  std::unique_ptr<Store> store = OpenSqliteStore(dir.File("links.db"));
  store->InsertIfAbsent(std::vector<NewLink>{{"aaaaaaa", "http://one.example/", 100}});
  store->AddClicks(std::vector<ClickCount>{{"aaaaaaa", 1}}, {"old-flush", 1});
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.File("links.db").c_str(), &db), SQLITE_OK);
    sqlite3_exec(db,
                 "INSERT INTO changes(kind, name, at) VALUES ('link', 'ancient', 5);"
                 "UPDATE click_flushes SET applied = 5",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  ASSERT_EQ(store->ChangesSince(0, 10).size(), 1u);
  store->AddClicks(std::vector<ClickCount>{{"aaaaaaa", 1}}, {"new-flush", 1});
  EXPECT_EQ(store->ChangesSince(0, 10).size(), 0u);
  store->AddClicks(std::vector<ClickCount>{{"aaaaaaa", 1}}, {"old-flush", 1});  // forgotten: counted again
  EXPECT_EQ(store->FindCode("aaaaaaa")->clicks, 3);
}

// The WAL's pages go back into the file beside the writer's commits, and the
// WAL stays bounded when they come faster than that thread copies them.
TEST(SqliteCheckpointer, CopiesTheWalBackBesideTheWriterAndKeepsItBounded) {
  TempDir dir;
  const std::string path = dir.File("pages.db");
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
  const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, &sqlite3_close);
  // small pages, one row each: a commit of 100 rows is about 100 frames
  ASSERT_EQ(sqlite3_exec(raw, "PRAGMA page_size=512; PRAGMA journal_mode=WAL; CREATE TABLE pages(bytes BLOB)",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  constexpr int64_t kFrameBytes = 512 + 24;
  const auto bytes = [](const std::string& file) {
    struct stat status {};
    return stat(file.c_str(), &status) == 0 ? int64_t(status.st_size) : int64_t(0);
  };
  const auto commit = [raw] {
    return sqlite3_exec(raw,
                        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100)"
                        " INSERT INTO pages SELECT zeroblob(400) FROM n",
                        nullptr, nullptr, nullptr);
  };
  SqliteCheckpointer checkpointer(raw, path);
  const int64_t before = bytes(path);
  for (int i = 0; i < SqliteCheckpointer::kBackgroundFrames / 100 + 5; ++i) ASSERT_EQ(commit(), SQLITE_OK);
  // no commit wakes it now: the copy it was woken for fills the file
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (bytes(path) - before < SqliteCheckpointer::kBackgroundFrames * 512 &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_GE(bytes(path) - before, SqliteCheckpointer::kBackgroundFrames * 512);
  for (int i = 0; i < 3 * SqliteCheckpointer::kWriterFrames / 100; ++i) ASSERT_EQ(commit(), SQLITE_OK);
  EXPECT_LE(bytes(path + "-wal"), (SqliteCheckpointer::kWriterFrames + 2000) * kFrameBytes);
}

// The webhooks' outbox: written with each change, for each receiver; one
// event of a link and receiver out at a time (in order), none taken twice
// while leased, a failed one waiting for its time, a done one gone.
TEST_P(StoreTest, TheOutboxHoldsEachChangeInOrderAndLeasesEachEventOnce) {
  StoreOptions options;
  options.webhookTargets = 2;
  std::unique_ptr<Store> store = Open(options);
  ASSERT_EQ(store->InsertIfAbsent(std::vector<NewLink>{{"a", "http://a.example/", 1, 0, "maker"},
                                                       {"b", "http://b.example/", 1, 0, "maker"},
                                                       {"b", "http://c.example/", 1, 0, "maker"}})[2].outcome,
            InsertResult::kCodeTaken);
  LinkChange off;
  off.disabled = true;
  off.actor = "admin";
  ASSERT_EQ(store->ChangeLink("a", off).outcome, ChangeResult::kChanged);
  ASSERT_TRUE(store->DeleteLink("a", "admin"));
  std::unique_ptr<Store> other = Open(options);  // another instance on the same data
  const int64_t now = 1'000'000'000'000;
  std::vector<OutboxEvent> first = store->ClaimEvents(now, 60, 100);
  // the first of each link and receiver alone: a's creation and b's, twice
  ASSERT_EQ(first.size(), 4u);
  for (const OutboxEvent& event : first) {
    EXPECT_EQ(event.event, "link.created");
    EXPECT_EQ(event.actor, "maker");
    EXPECT_EQ(event.address, event.key == "a" ? "http://a.example/" : "http://b.example/");
  }
  EXPECT_TRUE(other->ClaimEvents(now, 60, 100).empty()) << "leased events, or a's next before its first is done";
  const auto ofA = [](const OutboxEvent& event) { return event.key == "a"; };
  for (const OutboxEvent& event : first) {
    if (!ofA(event)) continue;
    if (event.target == 0)
      store->EventDone(event.id);
    else
      store->EventRetry(event.id, now + 30);
  }
  std::vector<OutboxEvent> second = other->ClaimEvents(now, 60, 100);
  ASSERT_EQ(second.size(), 1u);  // a's next for receiver 0; receiver 1 waits for its retry
  EXPECT_EQ(second[0].event, "link.disabled");
  EXPECT_EQ(second[0].target, 0);
  EXPECT_EQ(second[0].actor, "admin");
  store->EventDone(second[0].id);
  // b's are leased still: a's deletion for receiver 0, and its creation for
  // receiver 1 due again, tried once
  std::vector<OutboxEvent> third = store->ClaimEvents(now + 31, 60, 100);
  ASSERT_EQ(third.size(), 2u);
  EXPECT_EQ(third[0].event + " " + std::to_string(third[0].target) + " " + std::to_string(third[0].attempts),
            "link.created 1 1");
  EXPECT_EQ(third[1].event + " " + std::to_string(third[1].target), "link.deleted 0");
  EXPECT_EQ(third[1].address, "http://a.example/");
  // b's leases ran out: taken again, by the other instance
  std::vector<OutboxEvent> afterLease = other->ClaimEvents(now + 61, 60, 100);
  ASSERT_EQ(afterLease.size(), 2u);
  for (const OutboxEvent& event : afterLease) EXPECT_EQ(event.key + " " + event.event, "b link.created");
}

TEST(OpenStore, TheDatabaseNamesTheStoreAndAPasswordIsNeverPrinted) {
  EXPECT_TRUE(IsPostgresAddress("postgresql://u@h/db"));
  EXPECT_TRUE(IsPostgresAddress("postgres://h"));
  EXPECT_FALSE(IsPostgresAddress("postgresql.db"));  // a file
  EXPECT_EQ(PrintableDatabase("links.db"), "links.db");
  EXPECT_EQ(PrintableDatabase("postgresql://u:s3cret@h:5432/db"), "postgresql://u:***@h:5432/db");
  EXPECT_EQ(PrintableDatabase("postgres://u:p@ss@h/db?password=x&sslmode=require"),
            "postgres://u:***@h/db?password=***&sslmode=require");
  EXPECT_EQ(PrintableDatabase("postgresql://h:5432,g:5433/db"), "postgresql://h:5432,g:5433/db");
}

}  // namespace
}  // namespace snipora::service
