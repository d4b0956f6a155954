#include "runtime/external_call.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/system_functions.h"
#include "tests/support/child_process.h"
#include "tests/support/ui_driver.h"

using namespace snipora;
using namespace snipora::test;

namespace {

// Records every loader operation, then does it for real.
struct LoaderLog {
  std::vector<std::string> loads;
  int finds = 0;
  std::vector<HMODULE> releases;
};
LoaderLog* activeLog = nullptr;

HMODULE LoggedLoad(const char* file) {
  activeLog->loads.emplace_back(file);
  return LoadLibraryA(file);
}
FARPROC LoggedFind(HMODULE module, const char* name) {
  ++activeLog->finds;
  return GetProcAddress(module, name);
}
BOOL LoggedRelease(HMODULE module) {
  activeLog->releases.push_back(module);
  return FreeLibrary(module);
}
const ModuleLoader kLoggedLoader{LoggedLoad, LoggedFind, LoggedRelease};

class ExternalCall : public testing::Test {
 protected:
  void SetUp() override { activeLog = &log; }
  void TearDown() override {
    ReleaseExternalLibraries(entries);
    activeLog = nullptr;
  }
  ExternalEntry& Entry(const char* library, const char* name) {
    entries.push_back({library, name});
    return entries.back();
  }
  LoaderLog log;
  std::vector<ExternalEntry> entries = std::vector<ExternalEntry>();

 public:
  ExternalCall() { entries.reserve(16); }  // entries are referenced: never reallocate
};

TEST_F(ExternalCall, ArgumentsAndResultsCrossIntact) {
  ExternalFunction<int(int, int)> add{Entry("standin_calls.dll", "AddTwo")};
  EXPECT_EQ(add(40, 2), 42);
  EXPECT_EQ(add(-7, 3), -4);
  ExternalFunction<int(int, int, int)> sum{Entry("standin_calls.dll", "SumThree")};
  EXPECT_EQ(sum(1, 20, 300), 321);
  ExternalFunction<int64_t(int64_t, int32_t)> scale{Entry("standin_calls.dll", "ScaleWide")};
  EXPECT_EQ(scale(0x123456789LL, -3), -0x369d0369bLL);
  ExternalFunction<void(POINT*, BYTE, WORD)> fill{Entry("standin_calls.dll", "FillPoint")};
  POINT p{-1, -1};
  fill(&p, BYTE{200}, WORD{60000});
  EXPECT_EQ(p.x, 200);
  EXPECT_EQ(p.y, 60000);
}

TEST_F(ExternalCall, BindsAtFirstCallOnlyAndCaches) {
  ExternalEntry& entry = Entry("standin_calls.dll", "AddTwo");
  ExternalFunction<int(int, int)> add{entry, &kLoggedLoader};
  EXPECT_TRUE(log.loads.empty());  // declaring binds nothing
  EXPECT_EQ(add(1, 2), 3);
  const std::size_t loadsAfterFirst = log.loads.size();
  const int findsAfterFirst = log.finds;
  EXPECT_GE(loadsAfterFirst, 1u);
  EXPECT_NE(entry.address, nullptr);
  EXPECT_NE(entry.module, nullptr);
  EXPECT_EQ(add(2, 3), 5);
  EXPECT_EQ(add(3, 4), 7);
  EXPECT_EQ(log.loads.size(), loadsAfterFirst);
  EXPECT_EQ(log.finds, findsAfterFirst);
}

TEST_F(ExternalCall, ProgramFolderIsSearchedFirst) {
  ExternalEntry& marker = Entry("dwmapi.dll", "SniporaStandInMarker");
  ExternalFunction<int()> standIn{marker, &kLoggedLoader};
  EXPECT_EQ(standIn(), 0x5A5A);
  ASSERT_FALSE(log.loads.empty());
  EXPECT_EQ(log.loads[0], TestProgramFolder() + "dwmapi.dll");
  ExternalFunction<HRESULT(BOOL*)> composition{Entry("dwmapi.dll", "DwmIsCompositionEnabled")};
  BOOL enabled = FALSE;
  EXPECT_EQ(composition(&enabled), S_OK);
  EXPECT_TRUE(enabled);  // the stand-in's answer, not the system's
}

TEST_F(ExternalCall, SystemSearchWhenNotBesideTheProgram) {
  ExternalEntry& entry = Entry("user32", "IsWindow");
  BindExternal(entry, kLoggedLoader);
  ASSERT_EQ(log.loads.size(), 2u);
  EXPECT_EQ(log.loads[0], TestProgramFolder() + "user32");
  EXPECT_EQ(log.loads[1], "user32");
  EXPECT_EQ(entry.address, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "IsWindow")));
}

TEST_F(ExternalCall, NameWithColonIsLoadedAsWritten) {
  const std::string full = TestProgramFolder() + "standin_calls.dll";
  ExternalEntry& entry = Entry(full.c_str(), "AddTwo");
  BindExternal(entry, kLoggedLoader);
  ASSERT_EQ(log.loads.size(), 1u);
  EXPECT_EQ(log.loads[0], full);
}

TEST_F(ExternalCall, EmptyLibraryNameSearchesTheStandardLibrariesInOrder) {
  ExternalEntry& entry = Entry("", "IsWindowVisible");  // only User32.dll has it
  BindExternal(entry, kLoggedLoader);
  EXPECT_EQ(log.loads, (std::vector<std::string>{"Kernel32.dll", "Gdi32.dll", "User32.dll"}));
  ASSERT_EQ(log.releases.size(), 2u);  // the two that did not export it
  EXPECT_EQ(log.releases[0], GetModuleHandleA("kernel32.dll"));
  EXPECT_EQ(log.releases[1], GetModuleHandleA("gdi32.dll"));
  EXPECT_EQ(entry.module, GetModuleHandleA("user32.dll"));
  ExternalFunction<BOOL(HWND)> visible{entry};
  EXPECT_FALSE(visible(nullptr));

  ExternalEntry& first = Entry("", "GetTickCount");  // Kernel32.dll wins at once
  BindExternal(first, kLoggedLoader);
  EXPECT_EQ(first.module, GetModuleHandleA("kernel32.dll"));
}

TEST_F(ExternalCall, BindingKeepsTheLastErrorAndIsRecordedOnceWithTheLibraryThatHadIt) {
  const std::string record = TestProgramFolder() + "external_call_bindings.txt";
  DeleteFileA(record.c_str());
  // binding leaves the caller's last error alone, also when the library is
  // not beside the program; without a record asked for, nothing is written
  ExternalFunction<DWORD()> ticks{Entry("kernel32", "GetTickCount")};
  SetLastError(1234);
  ticks();
  EXPECT_EQ(GetLastError(), 1234u);
  EXPECT_EQ(GetFileAttributesA(record.c_str()), INVALID_FILE_ATTRIBUTES);

  SetEnvironmentVariableA("SNIPORA_BIND_LOG", record.c_str());
  ExternalFunction<int(int, int, int)> sum{Entry("standin_calls.dll", "SumThree")};
  ExternalFunction<BOOL(HWND)> visible{Entry("", "IsWindowVisible")};  // found in User32.dll
  ExternalFunction<int64_t(int64_t, int32_t)> scale{Entry("standin_calls.dll", "ScaleWide")};
  SetLastError(1234);
  EXPECT_EQ(sum(1, 2, 3), 6);
  EXPECT_EQ(GetLastError(), 1234u);
  EXPECT_EQ(sum(1, 2, 3), 6);
  EXPECT_FALSE(visible(nullptr));
  SetLastError(1234);
  EXPECT_EQ(scale(2, 3), 6);  // the record exists by now, which opening it again would report
  EXPECT_EQ(GetLastError(), 1234u);
  SetEnvironmentVariableA("SNIPORA_BIND_LOG", nullptr);

  char text[256] = {};
  DWORD read = 0;
  HANDLE file = CreateFileA(record.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ReadFile(file, text, sizeof text - 1, &read, nullptr);
  CloseHandle(file);
  DeleteFileA(record.c_str());
  EXPECT_EQ(std::string(text, read),
            "standin_calls.dll SumThree\r\nUser32.dll IsWindowVisible\r\nstandin_calls.dll ScaleWide\r\n");
}

// The ordinal under which `module` exports `name`, read from its export table.
WORD OrdinalOf(HMODULE module, const char* name) {
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  const auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    if (!std::strcmp(reinterpret_cast<const char*>(base + names[i]), name))
      return static_cast<WORD>(exports->Base + ordinals[i]);
  return 0;
}

TEST_F(ExternalCall, OrdinalsModulo65536) {
  ExternalFunction<int(int, int)> add{Entry("standin_calls.dll", "AddTwo")};
  add(0, 0);  // loads the library
  const WORD ordinal = OrdinalOf(entries[0].module, "Magic");
  ASSERT_NE(ordinal, 0);
  const std::string plain = "#" + std::to_string(ordinal);
  const std::string wrapped = "#" + std::to_string(ordinal + 65536 * 3);
  ExternalFunction<int()> magic{Entry("standin_calls.dll", plain.c_str())};
  ExternalFunction<int()> magicWrapped{Entry("standin_calls.dll", wrapped.c_str())};
  EXPECT_EQ(magic(), 4242);
  EXPECT_EQ(magicWrapped(), 4242);
}

TEST_F(ExternalCall, LibrarySpellingsOfTheSameLibrary) {
  const char* const spellings[] = {"user32", "user32.dll", "User32.dll"};
  for (const char* library : spellings) {
    ExternalEntry& entry = Entry(library, "GetDesktopWindow");
    ExternalFunction<HWND()> desktop{entry};
    EXPECT_EQ(desktop(), GetDesktopWindow()) << library;
    EXPECT_EQ(entry.module, GetModuleHandleA("user32.dll")) << library;
  }
  const char* const gdiplus[] = {"gdiplus", "gdiplus.dll", "GdiPlus.dll", "Gdiplus.dll"};
  HMODULE first = nullptr;
  for (const char* library : gdiplus) {
    ExternalEntry& entry = Entry(library, "GdiplusStartup");
    BindExternal(entry);
    if (!first) first = entry.module;
    EXPECT_EQ(entry.module, first) << library;
  }
  EXPECT_NE(first, nullptr);
}

TEST_F(ExternalCall, ReleaseAtTheEndLeavesEveryLibraryToTheProcessEnd) {
  ExternalEntry& entry = Entry("standin_calls.dll", "AddTwo");
  ExternalFunction<int(int, int)> add{entry};
  EXPECT_EQ(add(1, 2), 3);
  HMODULE module = entry.module;
  ReleaseExternalLibraries(entries);
  EXPECT_EQ(entry.module, nullptr);
  // pinned: no FreeLibrary can unload it while the process runs, and the
  // cached address is still good
  EXPECT_FALSE(FreeLibrary(module) && GetModuleHandleA("standin_calls.dll") == nullptr);
  EXPECT_EQ(GetModuleHandleA("standin_calls.dll"), module);
  EXPECT_EQ(add(2, 3), 5);
  ReleaseExternalLibraries(entries);  // a second time changes nothing
  EXPECT_EQ(GetModuleHandleA("standin_calls.dll"), module);
}

TEST(SystemFunctions, DeclaredEntriesBindAndCall) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(sys::GetVersionExA(&info));
  EXPECT_GE(info.dwMajorVersion, 5u);
  EXPECT_NE(sys::GetVersionExA.entry().address, nullptr);
  sys::ReleaseSystemFunctions();
  EXPECT_TRUE(sys::GetVersionExA(&info));
}

// Fatal ends, seen from outside.
struct ChildEnd {
  MessageBoxInfo box;
  bool boxShown = false;
  std::optional<DWORD> exitCode;
};

ChildEnd RunChild(const char* mode) {
  ChildEnd end;
  ChildProcess child("external_call_child.exe", mode);
  EXPECT_TRUE(child.started());
  // a child that ends normally shows no box: stop looking when it is gone
  for (int i = 0; i < 300 && !end.boxShown; ++i) {
    if (HWND box = WaitForMessageBox(child.id(), "错误", 50)) {
      end.box = ReadMessageBox(box);
      end.boxShown = true;
      AnswerMessageBox(box);
    } else if (child.Wait(0)) {
      break;
    }
  }
  end.exitCode = child.Wait(15000);
  return end;
}

TEST(ExternalCallFatal, MissingExportNamesLibraryAndExport) {
  const ChildEnd end = RunChild("missing-export");
  ASSERT_TRUE(end.boxShown);
  EXPECT_EQ(end.box.text,
            "运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件“standin_calls.dll”中的输出命令“NoSuchExport”\r\n");
  EXPECT_EQ(end.box.icon, BoxIcon::Error);
  EXPECT_EQ(end.exitCode, std::optional<DWORD>(0xFFFFFFFF));
}

TEST(ExternalCallFatal, MissingLibrary) {
  const ChildEnd end = RunChild("missing-library");
  ASSERT_TRUE(end.boxShown);
  EXPECT_EQ(end.box.text,
            "运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件“no_such_library.dll”中的输出命令“Anything”\r\n");
  EXPECT_EQ(end.exitCode, std::optional<DWORD>(0xFFFFFFFF));
}

TEST(ExternalCallFatal, MissingExportInTheStandardLibraries) {
  const ChildEnd end = RunChild("missing-standard");
  ASSERT_TRUE(end.boxShown);
  EXPECT_EQ(end.box.text, "运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件中的输出命令“NoSuchExport”\r\n");
  EXPECT_EQ(end.exitCode, std::optional<DWORD>(0xFFFFFFFF));
}

#if defined(__i386__)
TEST(ExternalCallFatal, UnbalancedStackIsError6) {
  for (const char* mode : {"cdecl-as-stdcall", "too-few-arguments", "too-many-arguments"}) {
    const ChildEnd end = RunChild(mode);
    ASSERT_TRUE(end.boxShown) << mode;
    EXPECT_EQ(end.box.text, "运行时出错!\r\n\r\n错误代码：6\r\n\r\n错误信息：调用DLL命令后发现堆栈错误\r\n")
        << mode;
    EXPECT_EQ(end.box.title, "错误");
    EXPECT_EQ(end.exitCode, std::optional<DWORD>(0xFFFFFFFF)) << mode;
  }
}
#else
TEST(ExternalCallFatal, MismatchedDeclarationsCannotUnbalanceTheStackOn64Bit) {
  // one calling convention, caller-owned argument area: these calls return
  for (const char* mode : {"cdecl-as-stdcall", "too-many-arguments"}) {
    const ChildEnd end = RunChild(mode);
    EXPECT_FALSE(end.boxShown) << mode;
    EXPECT_EQ(end.exitCode, std::optional<DWORD>(0)) << mode;
  }
}
#endif

TEST(ExternalCallFatal, BalancedCallEndsNormally) {
  const ChildEnd end = RunChild("balanced");
  EXPECT_FALSE(end.boxShown);
  EXPECT_EQ(end.exitCode, std::optional<DWORD>(0));
}

// A library that runs a thread of its own, as GDI+ does, while the table
// releases its libraries: the process goes on and ends normally.
TEST(ExternalCallEnd, LibraryWithARunningThreadOutlivesTheRelease) {
  const ChildEnd end = RunChild("release-while-working");
  EXPECT_FALSE(end.boxShown);
  EXPECT_EQ(end.exitCode, std::optional<DWORD>(0));
}

}  // namespace
