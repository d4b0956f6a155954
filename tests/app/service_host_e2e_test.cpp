// The real program with and without a Snipora.ini beside it that names no
// usable host: it opens as always, says nothing, and asks the compiled-in
// host (seen through the local service as its proxy). Each run uses a copy
// of the program in a folder of its own, so no other test sees the file.
#include <windows.h>

#include <optional>
#include <ostream>
#include <string>

#include "app/service_config.h"
#include "tests/app/shortening_session.h"

using namespace snipora::test;

namespace {

struct Settings {
  const char* name;
  std::optional<std::string> ini;  // nothing: no file
};
void PrintTo(const Settings& settings, std::ostream* out) { *out << settings.name; }

class CompiledInHost : public ShorteningSession, public testing::WithParamInterface<Settings> {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "snipora-host-" + std::to_string(GetCurrentProcessId()) + "-" + GetParam().name;
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr)) << folder_;
    program_copy_ = folder_ + "\\Snipora.exe";
    ASSERT_TRUE(CopyFileA((TestProgramFolder() + "Snipora.exe").c_str(), program_copy_.c_str(), TRUE));
    if (GetParam().ini) {
      HANDLE file = CreateFileA((folder_ + "\\Snipora.ini").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
      ASSERT_NE(file, INVALID_HANDLE_VALUE);
      DWORD written = 0;
      WriteFile(file, GetParam().ini->data(), DWORD(GetParam().ini->size()), &written, nullptr);
      CloseHandle(file);
      ASSERT_EQ(written, GetParam().ini->size());
    }
    Start("win10", program_copy_.c_str());
  }
  void TearDown() override {
    ShorteningSession::TearDown();
    DeleteFileA((folder_ + "\\Snipora.ini").c_str());
    DeleteFileA(program_copy_.c_str());
    RemoveDirectoryA(folder_.c_str());
  }

  std::string folder_, program_copy_;
};

TEST_P(CompiledInHost, OpensSilentlyAndShortensThere) {
  ASSERT_NE(window_, nullptr);
  EXPECT_EQ(WaitForMessageBox(program_->id(), nullptr, 300), nullptr);  // no word at start
  Type("example.com/host");
  const ShorteningOutcome outcome = ShortenAndSee();
  EXPECT_TRUE(outcome.shortAddress()) << outcome.result;
  const auto requests = service_.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].substr(0, requests[0].find("\r\n")),
            std::string("GET http://") + snipora::app::kServiceHost +
                ":80/create.php?source=indexpage&url=http%3A%2F%2Fexample.com%2Fhost&submit=Make+TinyURL%21&alias= "
                "HTTP/1.0");
}

INSTANTIATE_TEST_SUITE_P(
    Ini, CompiledInHost,
    testing::Values(Settings{"NoFile", std::nullopt},
                    // a path would change the request if it were taken
                    Settings{"NoHost", "[Service]\r\nHost=short.example.org/x?\r\n"},
                    // longer than what is read: cut, it would look like a host
                    Settings{"CutShort", "[Service]\r\nHost=short.example.org" + std::string(600, ' ') + "/x\r\n"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
