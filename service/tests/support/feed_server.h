#pragma once
// A threat feed's server for the tests, on loopback: serves one body under
// any path with an ETag that changes with it, answers 304 to a matching
// If-None-Match, and 500 while told to fail.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

struct MHD_Daemon;
struct MHD_Connection;

namespace snipora::service::test {

class FeedServer {
 public:
  FeedServer();
  ~FeedServer();
  FeedServer(const FeedServer&) = delete;
  FeedServer& operator=(const FeedServer&) = delete;

  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/feed.txt"; }
  // The body from now on, under a new ETag.
  void Serve(std::string body);
  void Fail(bool failing) { failing_ = failing; }
  int requests() const { return requests_; }
  int bodiesSent() const { return bodies_; }
  int notModified() const { return notModified_; }

 private:
  static int Answer(void* self, MHD_Connection* connection, const char* url, const char* method, const char* version,
                    const char* upload, std::size_t* uploadSize, void** state);
  MHD_Daemon* daemon_ = nullptr;
  uint16_t port_ = 0;
  std::mutex mutex_;
  std::string body_, etag_;
  int version_ = 0;
  std::atomic<bool> failing_{false};
  std::atomic<int> requests_{0}, bodies_{0}, notModified_{0};
};

}  // namespace snipora::service::test
