#pragma once
// A webhooks' receiver for the tests, on loopback: keeps every POST with its
// webhook-* headers, answers 200, or 503 while told to refuse, or holds the
// answer back while told to (until told otherwise, or stopped).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct MHD_Daemon;
struct MHD_Connection;

namespace snipora::service::test {

struct Received {
  std::string id, timestamp, signature, body;
  bool taken = false;  // answered 200
};

class WebhookReceiver {
 public:
  WebhookReceiver();
  ~WebhookReceiver();
  WebhookReceiver(const WebhookReceiver&) = delete;
  WebhookReceiver& operator=(const WebhookReceiver&) = delete;

  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/hook"; }
  void Refuse(bool refusing) { refusing_ = refusing; }
  void Hold(bool holding);
  int holding() const { return held_; }  // requests waiting for their answer now
  std::vector<Received> received();

 private:
  struct Upload;
  static int Answer(void* self, MHD_Connection* connection, const char* url, const char* method, const char* version,
                    const char* upload, std::size_t* uploadSize, void** state);
  static void Done(void* self, MHD_Connection* connection, void** state, int why);
  MHD_Daemon* daemon_ = nullptr;
  uint16_t port_ = 0;
  std::mutex mutex_;
  std::condition_variable released_;
  bool holding_ = false;
  std::vector<Received> received_;
  std::atomic<bool> refusing_{false};
  std::atomic<int> held_{0};
};

}  // namespace snipora::service::test
