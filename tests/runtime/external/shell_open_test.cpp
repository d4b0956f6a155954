#include "runtime/shell_open.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

using namespace snipora;
using namespace snipora::test;

namespace {

struct Recorded {
  std::string verb;
  int show = -2;
  std::string commandLine;
};

// Makes shell_recorder.exe the handler of http: and mailto: while the test
// runs (Wine reads the classes from HKLM only), and puts back what was there.
class OpenDocumentTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::string recorder = TestProgramFolder() + "shell_recorder.exe";
    for (const char* protocol : {"http", "mailto"})
      for (const char* verb : {"open", "edit", "print"}) {
        const std::string key = std::string("Software\\Classes\\") + protocol + "\\shell\\" + verb + "\\command";
        saved_.push_back({key, Read(key)});
        Write(key, "\"" + recorder + "\" " + verb + " \"%1\"");
      }
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    record_ = std::string(folder) + "snipora-shell-" + std::to_string(GetCurrentProcessId());
    DeleteFileA(record_.c_str());
    SetEnvironmentVariableA("SNIPORA_SHELL_RECORD", record_.c_str());
  }
  void TearDown() override {
    for (const auto& [key, value] : saved_) {
      if (value)
        Write(key, *value);
      else
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    }
    DeleteFileA(record_.c_str());
  }

  static std::optional<std::string> Read(const std::string& key) {
    char data[1024];
    DWORD size = sizeof data;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, data, &size))
      return std::nullopt;
    return std::string(data);
  }

  static void Write(const std::string& key, const std::string& data) {
    HKEY handle;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
    RegCloseKey(handle);
  }

  std::optional<Recorded> WaitForRecord() {
    for (int i = 0; i < 500; ++i, Sleep(20)) {
      std::ifstream in(record_, std::ios::binary);
      if (!in) continue;
      Recorded r;
      std::string show;
      std::getline(in, r.verb);
      std::getline(in, show);
      r.commandLine.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      r.show = std::stoi(show);
      in.close();
      DeleteFileA(record_.c_str());
      return r;
    }
    return std::nullopt;
  }

  std::string record_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// The address as the handler's command line carries it: the last quoted part.
std::string QuotedArgument(const std::string& commandLine) {
  const auto end = commandLine.rfind('"');
  const auto begin = commandLine.rfind('"', end - 1);
  return commandLine.substr(begin + 1, end - begin - 1);
}

TEST_F(OpenDocumentTest, WebAddressReachesTheHandlerExactly) {
  const char address[] = "http://snip.invalid/create.php?source=indexpage&url=a%2Fb&x=%20y#frag";
  OpenDocument(address);
  const auto r = WaitForRecord();
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->verb, "open");
  EXPECT_EQ(r->show, SW_SHOWNORMAL);
  EXPECT_EQ(QuotedArgument(r->commandLine), address);
}

TEST_F(OpenDocumentTest, MailAddress) {
  OpenDocument("mailto:zhou.lan@snipora.invalid");
  const auto r = WaitForRecord();
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(QuotedArgument(r->commandLine), "mailto:zhou.lan@snipora.invalid");
}

TEST_F(OpenDocumentTest, VerbAndShowModeOfTheCall) {
  OpenDocument("http://snip.invalid/", {.verb = 1, .show = 4});
  auto r = WaitForRecord();
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->verb, "edit");
  EXPECT_EQ(r->show, SW_SHOWMAXIMIZED);

  OpenDocument("http://snip.invalid/", {.verb = 5, .show = 3});
  r = WaitForRecord();
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->verb, "print");
  EXPECT_EQ(r->show, SW_SHOWMINIMIZED);

  OpenDocument("http://snip.invalid/", {.verb = 99, .show = 5});  // unknown verb: the default
  r = WaitForRecord();
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->verb, "open");
  EXPECT_EQ(r->show, SW_SHOWNA);
}

}  // namespace
