// The real program against a hostile service: for each way a service can
// misbehave, the window stays alive, shows one of its two outcomes (a short
// address with copy enabled, or the failure box with copy disabled), and
// shortens the next address typed once the service behaves again.
#include <ostream>
#include <string>

#include "runtime/http/fetch_session.h"
#include "tests/app/shortening_session.h"

using namespace snipora::test;

namespace {

enum class Expect { ShortAddress, Failure };

struct Mode {
  const char* name;
  Behaviour behaviour;
  Expect expect;
  DWORD waitMs = 10000;
  std::size_t requests = 0;  // when not 0: the requests one shortening makes
};

const Mode kModes[] = {
    {"Refused", {.refuse = true}, Expect::Failure},
    {"ResetMidBody", {.resetAfter = 120}, Expect::Failure},
    // the fetch gives up after 30 s without a byte
    {"HeadThenSilence", {.silenceMs = 45000}, Expect::Failure, 40000},
    {"NotFoundWithPage", {.status = 404, .body = "<html><body>No such page.</body></html>"}, Expect::Failure},
    {"ServerErrorWithPage", {.status = 500, .body = "<html><body>Broken.</body></html>"}, Expect::Failure},
    // left after the tenth redirection: the eleventh answer is not followed
    {"RedirectLoop", {.redirectTo = "/create.php"}, Expect::Failure, 10000, snipora::kMostRedirects + 1},
    {"NoContentLength", {.omitContentLength = true}, Expect::ShortAddress},
    {"ContentLengthBeyondTheBody", {.statedContentLength = 100000}, Expect::ShortAddress},
    // the page ends at its first zero byte, ahead of the markers
    {"NulBytesInThePage", {.nulBytes = true}, Expect::Failure},
    {"HundredMegabyteBody", {.largeBody = 100'000'000}, Expect::Failure, 30000},
    {"NotHttp", {.notHttp = std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03garbage\0\xff\xfe", 24)},
     Expect::Failure},
};

// gtest names the case by its name, not by its bytes
void PrintTo(const Mode& mode, std::ostream* out) { *out << mode.name; }

class HostileService : public ShorteningSession, public testing::WithParamInterface<Mode> {
 protected:
  void SetUp() override { Start("win10"); }
};

TEST_P(HostileService, WindowShowsAnOutcomeAndAnswersAgain) {
  const Mode& mode = GetParam();
  Type("example.com/hostile");
  service_.SetBehaviour(mode.behaviour);
  const ShorteningOutcome outcome = ShortenAndSee(mode.waitMs);
  ASSERT_TRUE(outcome.answered) << "the window did not answer";
  if (mode.expect == Expect::ShortAddress) {
    EXPECT_TRUE(outcome.shortAddress()) << outcome.result;
  } else {
    EXPECT_TRUE(outcome.failure()) << outcome.result;
  }
  if (mode.requests) {
    EXPECT_EQ(service_.requests().size(), mode.requests);
  }

  // alive, and answering at once
  EXPECT_FALSE(program_->Wait(0).has_value());
  DWORD_PTR ignored = 0;
  EXPECT_TRUE(SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored));

  service_.SetBehaviour(Behaviour{});
  SetControlText(address_, "");
  Type("example.com/again");
  const ShorteningOutcome again = ShortenAndSee();
  ASSERT_TRUE(again.shortAddress()) << again.result;
  EXPECT_EQ(service_.AddressOf(again.result.substr(13)), std::optional<std::string>("http://example.com/again"));
}

INSTANTIATE_TEST_SUITE_P(Modes, HostileService, testing::ValuesIn(kModes),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
