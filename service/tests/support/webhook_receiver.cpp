#include "service/tests/support/webhook_receiver.h"

#include <microhttpd.h>

#include <stdexcept>

namespace snipora::service::test {

struct WebhookReceiver::Upload {
  std::string body;
};

WebhookReceiver::WebhookReceiver() {
  // a thread for each connection: a held answer holds back no other
  daemon_ = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_THREAD_PER_CONNECTION, 0, nullptr, nullptr,
                             reinterpret_cast<MHD_AccessHandlerCallback>(&WebhookReceiver::Answer), this,
                             MHD_OPTION_NOTIFY_COMPLETED,
                             reinterpret_cast<MHD_RequestCompletedCallback>(&WebhookReceiver::Done), this,
                             MHD_OPTION_END);
  if (!daemon_) throw std::runtime_error("the webhook receiver did not start");
  port_ = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT)->port;
}

WebhookReceiver::~WebhookReceiver() {
  Hold(false);
  MHD_stop_daemon(daemon_);
}

void WebhookReceiver::Hold(bool holding) {
  {
    std::lock_guard lock(mutex_);
    holding_ = holding;
  }
  released_.notify_all();
}

std::vector<Received> WebhookReceiver::received() {
  std::lock_guard lock(mutex_);
  return received_;
}

void WebhookReceiver::Done(void*, MHD_Connection*, void** state, int) {
  delete static_cast<Upload*>(*state);
  *state = nullptr;
}

int WebhookReceiver::Answer(void* self, MHD_Connection* connection, const char*, const char*, const char*,
                            const char* upload, std::size_t* uploadSize, void** state) {
  auto* receiver = static_cast<WebhookReceiver*>(self);
  if (!*state) {
    *state = new Upload;
    return MHD_YES;
  }
  auto* body = static_cast<Upload*>(*state);
  if (*uploadSize > 0) {
    body->body.append(upload, *uploadSize);
    *uploadSize = 0;
    return MHD_YES;
  }
  const auto header = [&](const char* name) {
    const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return std::string(value ? value : "");
  };
  Received received{header("webhook-id"), header("webhook-timestamp"), header("webhook-signature"), body->body};
  {
    std::unique_lock lock(receiver->mutex_);
    ++receiver->held_;
    receiver->released_.wait(lock, [&] { return !receiver->holding_; });
    --receiver->held_;
    received.taken = !receiver->refusing_;
    receiver->received_.push_back(received);
  }
  MHD_Response* response = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
  const MHD_Result queued = MHD_queue_response(
      connection, received.taken ? MHD_HTTP_OK : MHD_HTTP_SERVICE_UNAVAILABLE, response);
  MHD_destroy_response(response);
  return queued;
}

}  // namespace snipora::service::test
