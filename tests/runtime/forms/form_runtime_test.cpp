// The form runtime by event and property sequences: which procedures run, in
// which order, with which arguments, and what the native windows show then.
#include "runtime/forms/form_runtime.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/ui_driver.h"

namespace snipora {
namespace {

constexpr uint32_t kMain = 0x52000001, kMainUnit = 0x06000001;
constexpr uint32_t kEdit = 0x16000001, kButton = 0x16000002, kCloser = 0x16000003, kPanel = 0x16000004,
                   kOther = 0x16000005, kInner = 0x16000006;
constexpr uint32_t kModal = 0x52000002, kModalUnit = 0x06000002, kModalButton = 0x16000010;
constexpr uint32_t kEmpty = 0x52000003, kEmptyUnit = 0x06000003;
constexpr uint32_t kNeverLoaded = 0x52000004;
constexpr uint32_t kCursors = 0x52000005, kCursorsUnit = 0x06000005, kHandButton = 0x16000020,
                   kHandLabel = 0x16000021, kPlainLabel = 0x16000022;

// What the procedures saw, in order.
std::vector<std::string> journal;
bool stopPresses = false;

void Note(const std::string& entry) { journal.push_back(entry); }

int32_t OnMainCreated(const EventArgs&) {
  // every control exists when the window's created event runs
  bool all = true;
  for (uint32_t id : {kEdit, kButton, kCloser, kPanel, kOther, kInner}) all &= GetWindowHandle(kMain, id) != nullptr;
  Note(all ? "created: all controls" : "created: controls missing");
  return 1;
}
int32_t OnEditChanged(const EventArgs&) {
  Note("changed:" + std::string(GetControlText(kMain, kEdit, property::kEditContent).c_str()));
  return 1;
}
int32_t OnEditPressed(const EventArgs& args) {
  const bool focused = GetFocus() == GetWindowHandle(kMain, kEdit);
  Note("pressed " + std::to_string(args.a) + "," + std::to_string(args.b) + " keys " + std::to_string(args.c) +
       (focused ? " focused" : " not yet focused"));
  return stopPresses ? 0 : 1;
}
int32_t OnEditLostFocus(const EventArgs&) {
  Note(GetFocus() == GetWindowHandle(kMain, kEdit) ? "lost focus: still focused" : "lost focus: after the change");
  return 1;
}
int32_t OnButtonClicked(const EventArgs&) {
  Note("clicked");
  return 1;
}
int32_t OnCloserClicked(const EventArgs&) {
  CloseWindow(kMain);
  Note(IsWindow(GetWindowHandle(kMain, kMainUnit)) ? "close asked: window still there" : "close asked: gone");
  return 1;
}
int32_t OnPanelPaint(const EventArgs&) {
  Note("paint");
  return 1;
}

// The modal window checks, from inside its own loop, that the main window waits.
int32_t OnModalCreated(const EventArgs&) {
  Note(IsWindowEnabled(GetWindowHandle(kMain, kMainUnit)) ? "modal: main enabled" : "modal: main disabled");
  PostMessageA(GetWindowHandle(kModal, kModalButton), BM_CLICK, 0, 0);
  return 1;
}
int32_t OnModalButton(const EventArgs&) {
  Note("modal: closing");
  CloseWindow(kModal);
  return 1;
}

const ControlDefinition kMainControls[] = {
    {"编辑框1", kEdit, ControlKind::EditBox, 0, 10, 10, 200, 24, "", {}, 0, 0xFFFFFF, kTabStop | kSunkenBorder},
    {"按钮1", kButton, ControlKind::Button, 0, 10, 40, 80, 24, "按", {}, 0, kButtonFaceColor, kTabStop},
    {"按钮2", kCloser, ControlKind::Button, 0, 100, 40, 80, 24, "关", {}, 0, kButtonFaceColor, kTabStop},
    {"画板1", kPanel, ControlKind::DrawPanel, 0, 10, 70, 60, 40, nullptr, {}, 0, 0x00FF00},
    {"编辑框2", kOther, ControlKind::EditBox, kPanel, 2, 2, 50, 20, "x", {}, 0, 0xFFFFFF, kTabStop},
    {"标签1", kInner, ControlKind::Label, 0, 100, 70, 60, 20, "标签", {}, 0, 0xFFFFFF},
};
const EventBinding kMainEvents[] = {
    {kMainUnit, event::kCreated, OnMainCreated},       {kEdit, event::kContentChanged, OnEditChanged},
    {kEdit, event::kLeftButtonDown, OnEditPressed},    {kEdit, event::kFocusLost, OnEditLostFocus},
    {kButton, event::kClicked, OnButtonClicked},       {kCloser, event::kClicked, OnCloserClicked},
    {kPanel, event::kPaint, OnPanelPaint},
};
const ControlDefinition kModalControls[] = {
    {"按钮1", kModalButton, ControlKind::Button, 0, 10, 10, 80, 24, "OK", {}, 0, kButtonFaceColor, kTabStop},
};
const EventBinding kModalEvents[] = {
    {kModalUnit, event::kCreated, OnModalCreated},
    {kModalButton, event::kClicked, OnModalButton},
};
// No event bound to any of them: the hand cursor is the controls' own doing.
const ControlDefinition kCursorControls[] = {
    {"按钮1", kHandButton, ControlKind::Button, 0, 10, 10, 80, 24, "按", {}, 0, kButtonFaceColor, kHandCursor},
    {"标签1", kHandLabel, ControlKind::Label, 0, 10, 40, 80, 20, "手", {}, 0, 0xFFFFFF, kHandCursor},
    {"标签2", kPlainLabel, ControlKind::Label, 0, 10, 70, 80, 20, "箭头", {}, 0, 0xFFFFFF},
};
const WindowDefinition kWindows[] = {
    {kMain, kMainUnit, "main", 300, 200, 0xFFFFFF, true, true, false, 0, kMainControls, kMainEvents},
    {kModal, kModalUnit, "modal", 200, 100, 0xFFFFFF, false, true, false, 0, kModalControls, kModalEvents},
    {kEmpty, kEmptyUnit, "empty", 200, 100, 0xFFFFFF, false, true, false, 0, {}, {}},
    {kNeverLoaded, 0x06000004, "never", 200, 100, 0xFFFFFF, false, true, false, 0, {}, {}},
    {kCursors, kCursorsUnit, "cursors", 200, 140, 0xFFFFFF, false, true, false, 0, kCursorControls, {}},
};

void Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

class FormRuntime : public testing::Test {
 protected:
  void SetUp() override {
    journal.clear();
    stopPresses = false;
    InstallForms(kWindows);
    ASSERT_TRUE(LoadWindow(kMain));
    HWND main = GetWindowHandle(kMain, kMainUnit);
    SetForegroundWindow(main);
    SetActiveWindow(main);
    Pump();
  }
  void TearDown() override {
    for (uint32_t w : {kMain, kModal, kEmpty, kCursors})
      if (HWND h = GetWindowHandle(w, w)) DestroyWindow(h);
    Pump();
  }
  static HWND Native(uint32_t control) { return GetWindowHandle(kMain, control); }
};

TEST_F(FormRuntime, CreatedRunsOnceAllControlsExist) {
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ(journal.front(), "created: all controls");
}

TEST_F(FormRuntime, WritingContentRaisesChangedExactlyOnce) {
  journal.clear();
  SetControlProperty(kMain, kEdit, property::kEditContent, TextView("缩短"));
  Pump();
  EXPECT_EQ(journal, std::vector<std::string>{"changed:缩短"});
  journal.clear();
  SetControlProperty(kMain, kEdit, property::kEditContent, TextView(""));
  Pump();
  EXPECT_EQ(journal, std::vector<std::string>{"changed:"});
  EXPECT_EQ(GetControlText(kMain, kEdit, property::kEditContent).get(), nullptr);
}

TEST_F(FormRuntime, EditBoxesHaveNoLengthLimit) {
  EXPECT_GT(SendMessageA(Native(kEdit), EM_GETLIMITTEXT, 0, 0), 0x10000);
  const std::string longText(70000, 'a');
  SetControlProperty(kMain, kEdit, property::kEditContent, TextView(longText.c_str()));
  EXPECT_EQ(TextLength(GetControlText(kMain, kEdit, property::kEditContent)), 70000);
}

TEST_F(FormRuntime, TypingRaisesChangedPerEdit) {
  journal.clear();
  SendMessageA(Native(kEdit), WM_CHAR, 'a', 1);
  SendMessageA(Native(kEdit), WM_CHAR, 'b', 1);
  EXPECT_EQ(journal, (std::vector<std::string>{"changed:a", "changed:ab"}));
}

TEST_F(FormRuntime, PressIsRaisedBeforeTheControlAndCanStopIt) {
  SetFocus(Native(kButton));
  journal.clear();
  stopPresses = true;
  SendMessageA(Native(kEdit), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 7));
  SendMessageA(Native(kEdit), WM_LBUTTONUP, 0, MAKELPARAM(5, 7));
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0], "pressed 5,7 keys 0 not yet focused");
  EXPECT_NE(GetFocus(), Native(kEdit));  // the edit box never saw the press

  journal.clear();
  stopPresses = false;
  SendMessageA(Native(kEdit), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 4));
  SendMessageA(Native(kEdit), WM_LBUTTONUP, 0, MAKELPARAM(3, 4));
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ(journal[0], "pressed 3,4 keys 0 not yet focused");
  EXPECT_EQ(GetFocus(), Native(kEdit));
}

TEST_F(FormRuntime, FocusLostIsRaisedAfterTheChange) {
  SetFocus(Native(kEdit));
  journal.clear();
  SetFocus(Native(kButton));
  EXPECT_EQ(journal, std::vector<std::string>{"lost focus: after the change"});
}

TEST_F(FormRuntime, ClickedAndCloseAfterTheHandlerReturns) {
  journal.clear();
  SendMessageA(Native(kButton), BM_CLICK, 0, 0);
  EXPECT_EQ(journal, std::vector<std::string>{"clicked"});
  journal.clear();
  SendMessageA(Native(kCloser), BM_CLICK, 0, 0);
  EXPECT_EQ(journal, std::vector<std::string>{"close asked: window still there"});
  HWND main = GetWindowHandle(kMain, kMainUnit);
  EXPECT_TRUE(IsWindow(main));
  Pump();
  EXPECT_FALSE(IsWindow(main));
  EXPECT_EQ(GetWindowHandle(kMain, kMainUnit), nullptr);
}

TEST_F(FormRuntime, ModalLoadReturnsAfterCloseWithOthersDisabledMeanwhile) {
  journal.clear();
  ASSERT_TRUE(LoadWindow(kModal, std::nullopt, true));
  EXPECT_EQ(journal, (std::vector<std::string>{"modal: main disabled", "modal: closing"}));
  EXPECT_EQ(GetWindowHandle(kModal, kModalUnit), nullptr);
  EXPECT_TRUE(IsWindowEnabled(GetWindowHandle(kMain, kMainUnit)));
}

TEST_F(FormRuntime, PanelPaintsItsBackgroundThenRaisesPaint) {
  HWND panel = Native(kPanel);
  journal.clear();
  RedrawWindow(panel, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(journal, std::vector<std::string>{"paint"});
  HDC dc = GetPanelDC(kMain, kPanel);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetPixel(dc, 59, 39), RGB(0, 255, 0));
  EXPECT_EQ(GetPanelDC(kMain, kEdit), nullptr);  // not a drawing panel
}

TEST_F(FormRuntime, AWindowRepaintsItsBackgroundAlsoWithoutAnErase) {
  HWND main = GetWindowHandle(kMain, kMainUnit);
  HDC dc = GetDC(main);
  RECT spot{250, 150, 260, 160};
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  FillRect(dc, &spot, red);
  DeleteObject(red);
  ASSERT_EQ(GetPixel(dc, 255, 155), RGB(255, 0, 0));
  InvalidateRect(main, &spot, FALSE);
  UpdateWindow(main);
  EXPECT_EQ(GetPixel(dc, 255, 155), RGB(255, 255, 255));
  ReleaseDC(main, dc);
}

TEST_F(FormRuntime, CommonPropertiesReadTheNativeWindow) {
  EXPECT_EQ(GetControlProperty(kMain, kButton, property::kLeft), 10);
  EXPECT_EQ(GetControlProperty(kMain, kButton, property::kTop), 40);
  EXPECT_EQ(GetControlProperty(kMain, kButton, property::kWidth), 80);
  EXPECT_EQ(GetControlProperty(kMain, kButton, property::kHeight), 24);
  EXPECT_EQ(GetControlProperty(kMain, kOther, property::kLeft), 2);  // relative to its panel
  EXPECT_EQ(GetControlProperty(kMain, kMainUnit, property::kWidth), 300);
  EXPECT_EQ(GetControlProperty(kMain, kMainUnit, property::kHeight), 200);
  SetControlProperty(kMain, kButton, property::kDisabled, 1);
  EXPECT_FALSE(IsWindowEnabled(Native(kButton)));
  EXPECT_EQ(GetControlProperty(kMain, kButton, property::kDisabled), 1);
  SetControlProperty(kMain, kButton, property::kLeft, 33);
  EXPECT_EQ(GetControlProperty(kMain, kButton, property::kLeft), 33);
  SetControlProperty(kMain, kButton, property::kTag, TextView("12"));
  EXPECT_STREQ(GetControlText(kMain, kButton, property::kTag).c_str(), "12");
}

TEST_F(FormRuntime, EnumeratingControls) {
  ControlList all = EnumerateControls(kMain);
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(ListCount(all), 6);
  EXPECT_EQ(ListItem(all, 0), (ControlReference{KindCode(ControlKind::EditBox), kMain, kEdit}));
  EXPECT_EQ(ListItem(all, 6), ControlReference{});  // one past the end
  EXPECT_EQ(ListItem(all, -1), ControlReference{});
  EXPECT_STREQ(KindName(ListItem(all, 1)).c_str(), "按钮");
  ReleaseControlList(all);
  EXPECT_EQ(ListCount(all), 0);  // no longer registered

  ControlList buttons = EnumerateControls(kMain, "按钮");
  EXPECT_EQ(ListCount(buttons), 2);
  ReleaseControlList(buttons);
  ControlList edits = EnumerateControls(kMain, "", "编辑框");
  EXPECT_EQ(ListCount(edits), 2);
  ReleaseControlList(edits);
  SetControlProperty(kMain, kButton, property::kTag, TextView("7"));
  ControlList tagged = EnumerateControls(kMain, "", "", 5, 9);
  ASSERT_EQ(ListCount(tagged), 1);
  EXPECT_EQ(ListItem(tagged, 0).control, kButton);
  ReleaseControlList(tagged);

  ASSERT_TRUE(LoadWindow(kEmpty));
  EXPECT_EQ(EnumerateControls(kEmpty), nullptr);
  EXPECT_EQ(ListCount(nullptr), 0);
  const int32_t forged[] = {1, 0x1000B, int32_t(kMain), int32_t(kButton)};
  EXPECT_EQ(ListCount(forged), 0);  // not one of the runtime's lists
}

// A pixel of the caption, clear of its text and buttons.
COLORREF CaptionPixel(HWND window) {
  RECT outer;
  GetWindowRect(window, &outer);
  HDC dc = GetWindowDC(window);
  const COLORREF color = GetPixel(dc, (outer.right - outer.left) / 2,
                                  GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2);
  ReleaseDC(window, dc);
  return color;
}

void Activate(HWND window) {
  SetActiveWindow(window);
  Pump();
  ASSERT_EQ(GetActiveWindow(), window);
}

TEST_F(FormRuntime, KeptActiveFrameStaysDrawnActiveWhileEnabled) {
  HWND main = GetWindowHandle(kMain, kMainUnit);
  ASSERT_TRUE(LoadWindow(kEmpty));
  HWND other = GetWindowHandle(kEmpty, kEmptyUnit);
  Activate(main);
  const COLORREF active = CaptionPixel(main);
  Activate(other);
  ASSERT_NE(CaptionPixel(main), active);  // without the property the frame goes inactive

  SetControlProperty(kMain, kMainUnit, property::kWindowKeepActiveFrame, 1);
  EXPECT_EQ(GetControlProperty(kMain, kMainUnit, property::kWindowKeepActiveFrame), 1);
  Activate(main);
  Activate(other);
  EXPECT_EQ(CaptionPixel(main), active);

  // a disabled window, as under a modal one, shows that it waits
  Activate(main);
  SetControlProperty(kMain, kMainUnit, property::kDisabled, 1);
  Activate(other);
  EXPECT_NE(CaptionPixel(main), active);
  SetControlProperty(kMain, kMainUnit, property::kDisabled, 0);

  SetControlProperty(kMain, kMainUnit, property::kWindowKeepActiveFrame, 0);
  Activate(main);
  Activate(other);
  EXPECT_NE(CaptionPixel(main), active);
}

// The cursor over a control: the hand for one defined with it, whatever
// events are bound, the class's arrow for any other.
TEST_F(FormRuntime, HandCursorControlsShowTheHand) {
  ASSERT_TRUE(LoadWindow(kCursors));
  auto cursorOver = [](uint32_t control) {
    HWND native = GetWindowHandle(kCursors, control);
    SetCursor(nullptr);
    SendMessageA(native, WM_SETCURSOR, reinterpret_cast<WPARAM>(native), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
  };
  const HCURSOR hand = LoadCursorA(nullptr, IDC_HAND);
  EXPECT_EQ(cursorOver(kHandButton), hand);
  EXPECT_EQ(cursorOver(kHandLabel), hand);
  EXPECT_EQ(cursorOver(kPlainLabel), LoadCursorA(nullptr, IDC_ARROW));
}

TEST_F(FormRuntime, EscapeClosesTheWindow) {
  HWND main = GetWindowHandle(kMain, kMainUnit);
  SetForegroundWindow(main);
  SetFocus(Native(kEdit));
  MSG escape{Native(kEdit), WM_KEYDOWN, VK_ESCAPE, 0x00010001, 0, {}};
  ASSERT_TRUE(IsDialogMessageA(main, &escape));
  Pump();
  EXPECT_FALSE(IsWindow(main));
}

}  // namespace
}  // namespace snipora

namespace snipora {
namespace {

// A property of a window that is not loaded ends the program with the box.
std::optional<std::string> FatalTextOf(const char* mode, std::optional<DWORD>& exitCode) {
  test::ChildProcess child("forms_fatal_child.exe", mode);
  std::optional<std::string> text;
  for (int i = 0; i < 300 && !text; ++i) {
    if (HWND box = test::WaitForMessageBox(child.id(), "错误", 50)) {
      text = test::ReadMessageBox(box).text;
      test::AnswerMessageBox(box);
    } else if (child.Wait(0)) {
      break;
    }
  }
  exitCode = child.Wait(15000);
  return text;
}

TEST(FormRuntimeFatal, PropertyOfAWindowNotLoaded) {
  for (const char* mode : {"not-loaded", "unknown-window"}) {
    std::optional<DWORD> exitCode;
    EXPECT_EQ(FatalTextOf(mode, exitCode),
              std::optional<std::string>("运行时出错!\r\n\r\n错误信息：未载入欲访问窗口组件所在的窗口\r\n"))
        << mode;
    EXPECT_EQ(exitCode, std::optional<DWORD>(0xFFFFFFFF)) << mode;
  }
  std::optional<DWORD> exitCode;
  EXPECT_EQ(FatalTextOf("loaded", exitCode), std::nullopt);
  EXPECT_EQ(exitCode, std::optional<DWORD>(0));
}

// An exception from an event procedure never unwinds through the system's
// window procedures (where it would end the process without a word, or
// worse): it ends in the fatal-error box like any other runtime fault.
TEST(FormRuntimeFatal, AnEventProceduresExceptionEndsInTheBox) {
  std::optional<DWORD> exitCode;
  EXPECT_EQ(FatalTextOf("click-throws", exitCode),
            std::optional<std::string>("运行时出错!\r\n\r\n错误信息：handler failed\r\n"));
  EXPECT_EQ(exitCode, std::optional<DWORD>(0xFFFFFFFF));
  // not a standard exception, from the created event LoadWindow raises
  EXPECT_EQ(FatalTextOf("created-throws", exitCode), std::optional<std::string>("运行时出错!\r\n\r\n"));
  EXPECT_EQ(exitCode, std::optional<DWORD>(0xFFFFFFFF));
}

}  // namespace
}  // namespace snipora

namespace snipora {
namespace {

// A 2 x 2 24-bit bitmap file of one colour.
std::vector<uint8_t> SolidBitmap(uint8_t r, uint8_t g, uint8_t b) {
  std::vector<uint8_t> file(54 + 16, 0);
  auto put32 = [&](std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, uint32_t(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, 2);
  put32(22, 2);
  file[26] = 1;
  file[28] = 24;
  put32(34, 16);
  for (int row = 0; row < 2; ++row)
    for (int x = 0; x < 2; ++x) {
      const std::size_t at = 54 + row * 8 + x * 3;
      file[at] = b;
      file[at + 1] = g;
      file[at + 2] = r;
    }
  return file;
}

TEST_F(FormRuntime, PanelPictureIsDrawnUnscaledAtTheCorner) {
  const auto bitmap = SolidBitmap(200, 10, 30);
  SetControlProperty(kMain, kPanel, property::kPanelPicture, BytesView(Bytes::Copy(bitmap.data(), bitmap.size())));
  HWND panel = Native(kPanel);
  RedrawWindow(panel, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  HDC dc = GetPanelDC(kMain, kPanel);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(200, 10, 30));
  EXPECT_EQ(GetPixel(dc, 1, 1), RGB(200, 10, 30));
  EXPECT_EQ(GetPixel(dc, 2, 2), RGB(0, 255, 0));  // the rest is the panel's colour

  const uint8_t png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};
  SetControlProperty(kMain, kPanel, property::kPanelPicture, BytesView(Bytes::Copy(png, sizeof png)));
  RedrawWindow(panel, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 255, 0));  // not a panel picture: nothing shown
}

}  // namespace
}  // namespace snipora
