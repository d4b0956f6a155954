#pragma once
// Shared by the fetch tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "runtime/byte_set.h"

namespace snipora::test {

inline std::string AsString(const Bytes& bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data()), std::size_t(bytes.size()));
}

inline std::string ExpectedHead(const std::string& requestTarget, const std::string& host) {
  return "GET " + requestTarget + " HTTP/1.0\r\nHost: " + host +
         "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\nAccept: */*\r\n\r\n";
}

// The proxy setting is read once per process (Wine keeps the first answer),
// so it is fixed before the first fetch: `proxy` empty means none.
class ProxySetting : public testing::Environment {
 public:
  explicit ProxySetting(std::string proxy) : proxy_(std::move(proxy)) {}
  void SetUp() override {
    SetEnvironmentVariableA("http_proxy", proxy_.empty() ? nullptr : proxy_.c_str());
    SetEnvironmentVariableA("no_proxy", nullptr);
  }

 private:
  std::string proxy_;
};

}  // namespace snipora::test
