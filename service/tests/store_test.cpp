// What every store must do, run against each implementation through its
// factory (a server database joins the list beside SQLite).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "service/sqlite_store.h"
#include "service/tests/http_client.h"

namespace snipora::service {
namespace {

using test::TempDir;

struct StoreKind {
  const char* name;
  // Opens the store kept at `where`; a second call with the same place opens
  // the same data again.
  std::function<std::unique_ptr<Store>(const TempDir& where)> open;
};

void PrintTo(const StoreKind& kind, std::ostream* out) { *out << kind.name; }

const StoreKind kStoreKinds[] = {
    {"sqlite", [](const TempDir& where) { return OpenSqliteStore(where.File("links.db")); }},
};

class StoreTest : public testing::TestWithParam<StoreKind> {
 protected:
  std::unique_ptr<Store> Open() { return GetParam().open(dir_); }
  TempDir dir_;
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
  std::vector<std::string> seen;
  store->ForEachLink([&](std::string_view code, std::string_view address) {
    seen.push_back(std::string(code) + " " + std::string(address));
  });
  EXPECT_EQ(seen, std::vector<std::string>{"kept http://kept.example/"});
  EXPECT_TRUE(store->Healthy());
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

INSTANTIATE_TEST_SUITE_P(Stores, StoreTest, testing::ValuesIn(kStoreKinds),
                         [](const testing::TestParamInfo<StoreKind>& kind) { return kind.param.name; });

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

}  // namespace
}  // namespace snipora::service
