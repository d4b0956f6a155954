// Which Snipora.ini values name the service host, and where the file is
// looked for.
#include "app/service_host.h"

#include <gtest/gtest.h>

#include <string>

using namespace snipora::app;

namespace {

TEST(ParseServiceHost, HostNamesAndPortsAreTakenWithoutTheBlanksAround) {
  EXPECT_EQ(ParseServiceHost("short.example.org"), "short.example.org");
  EXPECT_EQ(ParseServiceHost("127.0.0.1:8080"), "127.0.0.1:8080");
  EXPECT_EQ(ParseServiceHost(" \tShort-1.example.org:65535\t "), "Short-1.example.org:65535");
  EXPECT_EQ(ParseServiceHost("x:1"), "x:1");
  const std::string longest = std::string(252, 'a') + "b";
  EXPECT_EQ(ParseServiceHost(longest + ":80"), longest + ":80");
}

TEST(ParseServiceHost, AnythingElseIsRefused) {
  const std::string tooLong = std::string(254, 'a');
  for (const std::string& value : std::initializer_list<std::string>{
           "", "  \t ",
           "short example.org",               // a blank inside
           "short.example.org/create.php?",   // a path would change the request
           "http://short.example.org",        // a scheme
           "-short.example.org", "short.example.org.", "short_example.org", "short.example.org\r",
           "\xCB\xF5\xB6\xCC.cn",             // GBK (缩短): no IDN here
           "[::1]:8080",                      // IPv6 literals are not taken
           "short.example.org:", ":8080", "short.example.org:0", "short.example.org:65536",
           "short.example.org:080", "short.example.org:4294967377", "short.example.org:80a",
           "short.example.org:80:81", "short.example.org: 80",
           tooLong, tooLong + ":80",
       })
    EXPECT_EQ(ParseServiceHost(value), std::nullopt) << '"' << value << '"';
}

TEST(SettingsFileBeside, TheProgramsOwnFolder) {
  EXPECT_EQ(SettingsFileBeside("C:\\Program Files\\Snipora\\Snipora.exe"), "C:\\Program Files\\Snipora\\Snipora.ini");
  EXPECT_EQ(SettingsFileBeside("\\\\server\\share\\s.exe"), "\\\\server\\share\\Snipora.ini");
  EXPECT_EQ(SettingsFileBeside("Snipora.exe"), "");  // no folder: not the system's, either
  // 乗 is 81 5C in GBK: its second byte is no separator, in a folder's name
  // or in the program's own
  EXPECT_EQ(SettingsFileBeside("C:\\\x81\x5C\\Snipora.exe"), "C:\\\x81\x5C\\Snipora.ini");
  EXPECT_EQ(SettingsFileBeside("C:\\a\\\x81\x5C.exe"), "C:\\a\\Snipora.ini");
}

}  // namespace
