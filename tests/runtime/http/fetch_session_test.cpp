// The fetch through a session of the test's own, whose open and read calls
// are watched: when the session is opened and with what, and how much each
// read asks for.
#include "runtime/http/fetch_session.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/runtime/http/fetch_test_support.h"
#include "tests/support/local_service/local_service.h"

using namespace snipora;
using namespace snipora::test;

namespace {

struct Watch {
  int opens = 0;
  std::string agent;
  DWORD access = 0xdeadbeef;
  std::vector<DWORD> reads;
  int failingRead = -1;  // this read (0-based) fails
  bool failureDelivers = false;  // ... after it has delivered what the platform had
};
Watch* watch = nullptr;

HINTERNET WINAPI WatchedOpen(LPCSTR agent, DWORD access, LPCSTR proxy, LPCSTR bypass, DWORD flags) {
  ++watch->opens;
  watch->agent = agent ? agent : "(null)";
  watch->access = access;
  return InternetOpenA(agent, access, proxy, bypass, flags);
}

BOOL WINAPI WatchedRead(HINTERNET request, LPVOID buffer, DWORD size, LPDWORD received) {
  watch->reads.push_back(size);
  if (int(watch->reads.size()) - 1 != watch->failingRead) return InternetReadFile(request, buffer, size, received);
  *received = 0;
  if (watch->failureDelivers) InternetReadFile(request, buffer, size, received);
  SetLastError(ERROR_INTERNET_CONNECTION_RESET);
  return FALSE;
}

const InternetApi kWatchedApi{WatchedOpen, WatchedRead};

class FetchSessionTest : public testing::Test {
 protected:
  void SetUp() override {
    watch = &state;
    ASSERT_NE(service.port(), 0);
  }
  void TearDown() override { watch = nullptr; }

  Bytes Fetch(const std::string& url) { return session.Fetch(url.c_str()); }
  // Every read of the last fetch asked for `size` bytes.
  void ExpectReadsOf(DWORD size) {
    ASSERT_FALSE(state.reads.empty());
    for (const DWORD read : state.reads) EXPECT_EQ(read, size);
    state.reads.clear();
  }

  Watch state;
  LocalService service;
  FetchSession session{kWatchedApi};
};

TEST_F(FetchSessionTest, NothingToFetchLeavesTheSessionClosed) {
  EXPECT_TRUE(Fetch("").empty());
  EXPECT_TRUE(session.Fetch(nullptr).empty());
  EXPECT_TRUE(Fetch("#only-a-fragment").empty());
  EXPECT_TRUE(Fetch("snip.invalid/create.php?url=x").empty());  // no scheme: cannot be split
  EXPECT_TRUE(Fetch("ftp://127.0.0.1:" + std::to_string(service.port()) + "/a").empty());
  EXPECT_EQ(state.opens, 0);
  EXPECT_FALSE(session.is_open());
  EXPECT_TRUE(service.requests().empty());
}

TEST_F(FetchSessionTest, OneSessionServesEveryFetchAndTheAgentGoesWithEach) {
  const std::string head = ExpectedHead("/a", "127.0.0.1:" + std::to_string(service.port()));
  service.SetBehaviour({.body = "first"});
  EXPECT_EQ(AsString(Fetch(service.Address("/a"))), "first");
  service.SetBehaviour({.body = "second"});
  EXPECT_EQ(AsString(Fetch(service.Address("/a"))), "second");
  EXPECT_EQ(state.opens, 1);
  EXPECT_EQ(state.agent, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
  EXPECT_EQ(state.access, DWORD(INTERNET_OPEN_TYPE_PRECONFIG));
  EXPECT_EQ(service.requests(), std::vector<std::string>({head, head}));
}

TEST_F(FetchSessionTest, ReadSizeFollowsContentLength) {
  service.QueueBehaviour({.body = std::string(500, 'x')});
  EXPECT_EQ(Fetch(service.Address("/a")).size(), 500);
  ExpectReadsOf(501);

  service.QueueBehaviour({.largeBody = 1000000});
  EXPECT_EQ(Fetch(service.Address("/a")).size(), 1000000);
  ExpectReadsOf(102400);

  service.QueueBehaviour({.largeBody = 102399});  // + 1 is just the largest read
  EXPECT_EQ(Fetch(service.Address("/a")).size(), 102399);
  ExpectReadsOf(102400);

  service.QueueBehaviour({.body = std::string(500, 'x'), .omitContentLength = true});
  EXPECT_EQ(Fetch(service.Address("/a")).size(), 500);
  ExpectReadsOf(10240);

  service.QueueBehaviour({.body = "", .statedContentLength = 0});
  EXPECT_TRUE(Fetch(service.Address("/a")).empty());
  ExpectReadsOf(10240);
}

TEST_F(FetchSessionTest, SameBytesWhateverTheReadSize) {
  const int64_t size = 300007;
  const std::string expected = PatternBytes(size);
  service.QueueBehaviour({.largeBody = size});
  const std::string withLength = AsString(Fetch(service.Address("/a")));
  ExpectReadsOf(102400);
  service.QueueBehaviour({.largeBody = size, .omitContentLength = true});
  const std::string withoutLength = AsString(Fetch(service.Address("/a")));
  ExpectReadsOf(10240);
  service.QueueBehaviour({.largeBody = size, .statedContentLength = 4000});
  const std::string shortLength = AsString(Fetch(service.Address("/a")));
  ExpectReadsOf(4001);
  EXPECT_TRUE(withLength == expected);
  EXPECT_TRUE(withoutLength == expected);
  EXPECT_TRUE(shortLength == expected.substr(0, 4000));  // what the server stated, not what it sent
}

TEST_F(FetchSessionTest, FailedReadEndsTheFetchKeepingWhatCame) {
  state.failingRead = 2;
  service.QueueBehaviour({.largeBody = 100000, .omitContentLength = true});
  const std::string body = AsString(Fetch(service.Address("/a")));
  EXPECT_EQ(state.reads.size(), 3u);
  ASSERT_FALSE(body.empty());
  EXPECT_LE(body.size(), 2u * 10240);
  EXPECT_TRUE(body == PatternBytes(body.size()));

  // what the failing read itself reports delivered is kept too
  state.reads.clear();
  state.failingRead = 0;
  state.failureDelivers = true;
  service.QueueBehaviour({.body = "all of it"});
  EXPECT_EQ(AsString(Fetch(service.Address("/a"))), "all of it");
  EXPECT_EQ(state.reads.size(), 1u);
}

TEST_F(FetchSessionTest, BodyIsCutAtTheLimitAndTheLastReadAsksOnlyForTheRest) {
  service.QueueBehaviour({.largeBody = 20 << 20});
  const Bytes body = Fetch(service.Address("/a"));
  ASSERT_EQ(body.size(), kFetchLimit);
  EXPECT_TRUE(AsString(body) == PatternBytes(kFetchLimit));
  EXPECT_EQ(state.reads.back(), DWORD(kFetchLimit % 102400));
  state.reads.pop_back();
  ExpectReadsOf(102400);
}

TEST_F(FetchSessionTest, SilentServiceIsGivenUpOnKeepingWhatCame) {
  FetchSession impatient{kWatchedApi, 1500};
  const struct {
    int64_t silenceAfter;
    bool statedLength;
  } cases[] = {{0, true}, {3000, true}, {3000, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.silenceAfter);
    service.QueueBehaviour({.largeBody = 8000, .omitContentLength = !c.statedLength, .silenceMs = 20000,
                            .silenceAfter = c.silenceAfter});
    const ULONGLONG start = GetTickCount64();
    const std::string body = AsString(impatient.Fetch(service.Address("/silent").c_str()));
    EXPECT_LT(GetTickCount64() - start, 10000u);
    EXPECT_TRUE(body == PatternBytes(std::size_t(c.silenceAfter)));
  }
}

TEST(ReadSizeFor, ContentLengthPlusOneUpToTheLargestRead) {
  EXPECT_EQ(ReadSizeFor(nullptr), 10240u);
  EXPECT_EQ(ReadSizeFor("500"), 501u);
  EXPECT_EQ(ReadSizeFor("1"), 2u);
  EXPECT_EQ(ReadSizeFor("102399"), 102400u);
  EXPECT_EQ(ReadSizeFor("102400"), 102400u);
  EXPECT_EQ(ReadSizeFor("1000000"), 102400u);
  EXPECT_EQ(ReadSizeFor("99999999999999999999999999"), 102400u);
  EXPECT_EQ(ReadSizeFor(" 77"), 78u);
  EXPECT_EQ(ReadSizeFor("0"), 10240u);
  EXPECT_EQ(ReadSizeFor("-5"), 10240u);
  EXPECT_EQ(ReadSizeFor(""), 10240u);
  EXPECT_EQ(ReadSizeFor("abc"), 10240u);
}

}  // namespace
