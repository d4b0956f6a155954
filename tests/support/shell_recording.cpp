#include "tests/support/shell_recording.h"

#include <windows.h>

#include <fstream>
#include <iterator>

#include "tests/support/child_process.h"

namespace snipora::test {
namespace {

std::optional<std::string> Read(const std::string& key) {
  char data[1024];
  DWORD size = sizeof data;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, data, &size))
    return std::nullopt;
  return std::string(data);
}

void Write(const std::string& key, const std::string& data) {
  HKEY handle;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr))
    return;
  RegSetValueExA(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                 static_cast<DWORD>(data.size() + 1));
  RegCloseKey(handle);
}

}  // namespace

ShellRecording::ShellRecording() {
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
  SetEnvironmentVariableA("SNIPORA_SHELL_RECORD", record_.c_str());  // children inherit it
}

ShellRecording::~ShellRecording() {
  for (const auto& [key, value] : saved_) {
    if (value)
      Write(key, *value);
    else
      RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
  }
  DeleteFileA(record_.c_str());
}

std::optional<Recorded> ShellRecording::WaitForRecord(int ms) {
  for (int waited = 0; waited < ms; waited += 20, Sleep(20)) {
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

std::string QuotedArgument(const std::string& commandLine) {
  const auto end = commandLine.rfind('"');
  const auto begin = commandLine.rfind('"', end - 1);
  return commandLine.substr(begin + 1, end - begin - 1);
}

}  // namespace snipora::test
