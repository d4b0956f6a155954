// A whole session of the real program under one Windows personality (the
// test's argument, e.g. --gtest_filter=*/winxp), with the program recording
// every function it binds late (SNIPORA_BIND_LOG): start, a shortening, copy,
// the author link of the main window, About with its status picture and both
// its links, close. import_audit.py then checks the record against what that
// Windows version exports. SNIPORA_SESSION_PROGRAM names the program when it
// is not the Snipora.exe beside this test (the packaged one). Wine never has
// desktop composition: the win7_composition session runs the copy of the
// program beside the glass tests' stand-in dwmapi.dll, which says it is on,
// as on Vista and 7 with their glass.
#include <cstdlib>
#include <string>

#include "tests/app/shortening_session.h"
#include "tests/support/shell_recording.h"

using namespace snipora::test;

namespace {

struct Found {
  const char* cls;
  POINT at;  // client position in the parent
  const char* text;
  HWND parent;
  HWND child = nullptr;
};

BOOL CALLBACK MatchChild(HWND child, LPARAM param) {
  auto* f = reinterpret_cast<Found*>(param);
  char name[64];
  GetClassNameA(child, name, sizeof name);
  if (std::string(name) != f->cls) return TRUE;
  if (f->text && GetControlText(child) != f->text) return TRUE;
  if (!f->text) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, f->parent, reinterpret_cast<POINT*>(&r), 2);
    if (r.left != f->at.x || r.top != f->at.y) return TRUE;
  }
  f->child = child;
  return FALSE;
}

HWND ChildAt(HWND parent, const char* cls, int left, int top) {
  Found f{cls, {left, top}, nullptr, parent};
  EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&f));
  return f.child;
}

HWND ChildWithText(HWND parent, const char* cls, const char* text) {
  Found f{cls, {}, text, parent};
  EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&f));
  return f.child;
}

void Press(HWND control) {
  PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  PostMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
}

struct Personality {
  const char* name;
  const char* windowsVersion;
  bool composition;
};

class BoundFunctions : public ShorteningSession, public testing::WithParamInterface<Personality> {
 protected:
  void SetUp() override {
    record_ = TestProgramFolder() + "bound_functions_" + GetParam().name + ".txt";
    DeleteFileA(record_.c_str());
    SetEnvironmentVariableA("SNIPORA_BIND_LOG", record_.c_str());  // the program inherits it
    // where the stand-in writes the frame asked for
    SetEnvironmentVariableA("SNIPORA_GLASS_RECORD", (record_ + ".frame").c_str());
  }
  void TearDown() override {
    ShorteningSession::TearDown();
    SetEnvironmentVariableA("SNIPORA_BIND_LOG", nullptr);
    SetEnvironmentVariableA("SNIPORA_GLASS_RECORD", nullptr);
  }
  std::string Program() const {
    if (GetParam().composition) return TestProgramFolder() + "..\\tests\\app\\glass\\Snipora.exe";
    const char* packaged = std::getenv("SNIPORA_SESSION_PROGRAM");
    return packaged && *packaged ? packaged : "Snipora.exe";
  }
  void ExpectLinkOpened() {
    const auto opened = recording_->WaitForRecord();
    EXPECT_TRUE(opened.has_value());
  }

  std::string record_;
  std::unique_ptr<ShellRecording> recording_;
};

TEST_P(BoundFunctions, WholeSession) {
  recording_ = std::make_unique<ShellRecording>();  // before the start: the program's handlers use it
  const bool glass = std::string(GetParam().windowsVersion) == "win7";
  Start(GetParam().windowsVersion, Program().c_str());

  Type("www.example.com/a/long/address?lang=zh");
  const ShorteningOutcome outcome = ShortenAndSee();
  EXPECT_TRUE(outcome.shortAddress()) << outcome.result;
  Click(copy_);
  EXPECT_TRUE(AnswerBox("提示").has_value());

  // the author link: the header on the glass window, the status bar otherwise
  Press(glass ? ChildAt(window_, "SniporaDrawPanel", -12, 0)
              : FindWindowExA(window_, nullptr, "msctls_statusbar32", nullptr));
  ExpectLinkOpened();

  service_.ClearRequests();
  Click(ChildWithText(window_, "Button", "关于"));
  HWND about = WaitForWindow("SniporaWindow", "关于", program_->id(), 15000);
  ASSERT_NE(about, nullptr);
  for (int i = 0; i < 250 && service_.requests().empty(); ++i) Sleep(20);
  EXPECT_EQ(service_.requests().size(), 1u);  // the status picture
  Sleep(300);
  Press(ChildAt(about, "SniporaDrawPanel", 50, 169));  // the status picture's link
  ExpectLinkOpened();
  Press(ChildAt(about, "SniporaDrawPanel", 50, 193));  // the mail link
  ExpectLinkOpened();
  Click(ChildWithText(about, "Button", "确定"));
  EXPECT_TRUE(WaitForWindowGone(about));

  PostMessageA(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(program_->Wait(15000), std::optional<DWORD>(0));
  program_.reset();
  window_ = nullptr;
  EXPECT_NE(GetFileAttributesA(record_.c_str()), INVALID_FILE_ATTRIBUTES) << "nothing was bound";
}

INSTANTIATE_TEST_SUITE_P(Personalities, BoundFunctions,
                         testing::Values(Personality{"winxp", "winxp", false}, Personality{"win7", "win7", false},
                                         Personality{"win7_composition", "win7", true},
                                         Personality{"win10", "win10", false}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
