#include "service/tests/support/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "service/app/keys.h"

namespace snipora::service::test {

std::string Response::Header(std::string_view name) const {
  std::size_t at = 0;
  while ((at = head.find("\r\n", at)) != std::string::npos) {
    at += 2;
    const std::size_t colon = head.find(':', at);
    const std::size_t end = head.find("\r\n", at);
    if (colon == std::string::npos || end == std::string::npos || colon > end) continue;
    std::string key = head.substr(at, colon - at);
    if (key.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < key.size(); ++i) same = same && std::tolower(key[i]) == std::tolower(name[i]);
    if (!same) continue;
    std::size_t value = colon + 1;
    while (value < end && head[value] == ' ') ++value;
    return head.substr(value, end - value);
  }
  return "";
}

std::optional<Response> ParseResponse(const std::string& bytes, std::size_t* used, bool head) {
  const std::size_t end = bytes.find("\r\n\r\n");
  if (end == std::string::npos) return std::nullopt;
  Response response;
  response.head = bytes.substr(0, end + 2);
  if (response.head.rfind("HTTP/1.", 0) != 0 || response.head.size() < 12) return std::nullopt;
  response.status = std::atoi(response.head.c_str() + 9);
  const std::string length = response.Header("Content-Length");
  std::size_t bodyLength = head || length.empty() ? 0 : std::stoul(length);
  if (!head && length.empty()) bodyLength = bytes.size() - end - 4;  // to the end
  if (bytes.size() < end + 4 + bodyLength) return std::nullopt;
  response.body = bytes.substr(end + 4, bodyLength);
  if (used) *used = end + 4 + bodyLength;
  return response;
}

Client::Client(uint16_t port, const char* from) {
  fd_ = socket(AF_INET, SOCK_STREAM, 0);
  if (from) {
    sockaddr_in source{};
    source.sin_family = AF_INET;
    if (inet_pton(AF_INET, from, &source.sin_addr) != 1 ||
        bind(fd_, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0) {
      close(fd_);
      fd_ = -1;
      return;
    }
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd_);
    fd_ = -1;
  }
}

Client::~Client() {
  if (fd_ >= 0) close(fd_);
}

bool Client::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes.remove_prefix(std::size_t(sent));
  }
  return true;
}

std::optional<Response> Client::Next(std::chrono::milliseconds timeout, bool head) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    std::size_t used = 0;
    // a body without Content-Length runs to the end: parse it once the end came
    if (buffer_.find("\r\n\r\n") != std::string::npos) {
      std::optional<Response> response = ParseResponse(buffer_, &used, head);
      if (response && (head || !response->Header("Content-Length").empty())) {
        buffer_.erase(0, used);
        return response;
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0 || fd_ < 0) return std::nullopt;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, int(left.count())) <= 0) return std::nullopt;
    char chunk[65536];
    const ssize_t got = recv(fd_, chunk, sizeof chunk, 0);
    if (got <= 0) {
      std::optional<Response> response = ParseResponse(buffer_, &used, head);
      buffer_.clear();
      return response;
    }
    buffer_.append(chunk, std::size_t(got));
  }
}

bool Client::ClosedWithin(std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, int(left.count())) <= 0) return false;
    char chunk[4096];
    const ssize_t got = recv(fd_, chunk, sizeof chunk, 0);
    if (got <= 0) return true;
    buffer_.append(chunk, std::size_t(got));
  }
}

Response Exchange(uint16_t port, std::string_view request, bool head) {
  Client client(port);
  client.Send(request);
  return client.Next(std::chrono::seconds(10), head).value_or(Response{});
}

// A person's browser, as the analytics see it: an empty agent is a bot's.
Response Get(uint16_t port, std::string_view target) {
  return Exchange(port, "GET " + std::string(target) + " HTTP/1.0\r\nHost: snip.invalid\r\n" + kBrowserAgent +
                            "\r\n");
}

Response Post(uint16_t port, std::string_view path, std::string_view type, std::string_view body) {
  return Exchange(port, "POST " + std::string(path) + " HTTP/1.1\r\nHost: snip.invalid\r\nConnection: close\r\n" +
                            "Content-Type: " + std::string(type) + "\r\nContent-Length: " +
                            std::to_string(body.size()) + "\r\n\r\n" + std::string(body));
}

Response Send(uint16_t port, const std::string& method, const std::string& path, const std::string& key,
              const std::string& body) {
  std::string request =
      method + " " + path + " HTTP/1.1\r\nHost: snip.invalid\r\nConnection: close\r\n" + kBrowserAgent;
  if (!key.empty()) request += "Authorization: Bearer " + key + "\r\n";
  if (!body.empty())
    request += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  return Exchange(port, request + "\r\n" + body);
}

std::string Escape(std::string_view value) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : value) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += char(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string CreateTarget(std::string_view address, std::string_view alias) {
  return "/create.php?source=indexpage&url=" + Escape(address) + "&submit=Make+TinyURL%21&alias=" + Escape(alias);
}

GivenCodes CreateAtOnce(int clients, int each,
                        const std::function<std::string(int client, int index, const std::string& address)>& create) {
  GivenCodes given;
  std::mutex mutex;
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c)
    threads.emplace_back([&, c] {
      for (int i = 0; i < each; ++i) {
        const std::string address =
            i % 2 ? "http://shared.example/" + std::to_string(i) : "http://own.example/" + std::to_string(c * 1000 + i);
        const std::string code = create(c, i, address);
        std::lock_guard lock(mutex);
        if (code.empty()) {
          ++given.failures;
          continue;
        }
        given.codesOf[address].insert(code);
        given.addressesOf[code].insert(address);
      }
    });
  for (std::thread& thread : threads) thread.join();
  return given;
}

void ExpectOneCodePerAddress(const GivenCodes& given, int clients, int each) {
  EXPECT_EQ(given.failures, 0);
  EXPECT_EQ(given.codesOf.size(), std::size_t(clients * (each / 2) + each / 2));
  for (const auto& [address, codes] : given.codesOf) EXPECT_EQ(codes.size(), 1u) << address;
  for (const auto& [code, addresses] : given.addressesOf) EXPECT_EQ(addresses.size(), 1u) << code;
}

TempDir::TempDir() {
  std::random_device random;
  path_ = std::filesystem::temp_directory_path() / ("snipora-service-test-" + std::to_string(random()));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

Settings TestSettings(const TempDir& dir) {
  Settings settings;
  settings.listen = "127.0.0.1:0";
  settings.database = dir.File("links.db");
  settings.publicHost = "snip.invalid";
  settings.creationsPerMinute = 0;
  settings.stopTimeout = 2;
  return settings;
}

void AddApiKeys(Store& store, const std::string& admin, const std::string& alice, const std::string& bob) {
  store.AddKey({"root", "admin", KeyDigest(admin), 1});
  store.AddKey({"alice", "creator", KeyDigest(alice), 1});
  store.AddKey({"bob", "creator", KeyDigest(bob), 1});
}

}  // namespace snipora::service::test
