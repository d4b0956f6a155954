#include "service/tests/support/feed_server.h"

#include <microhttpd.h>

#include <stdexcept>

namespace snipora::service::test {

FeedServer::FeedServer() {
  daemon_ = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD, 0, nullptr, nullptr,
                             reinterpret_cast<MHD_AccessHandlerCallback>(&FeedServer::Answer), this,
                             MHD_OPTION_END);
  if (!daemon_) throw std::runtime_error("the feed server did not start");
  port_ = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT)->port;
}

FeedServer::~FeedServer() { MHD_stop_daemon(daemon_); }

void FeedServer::Serve(std::string body) {
  std::lock_guard lock(mutex_);
  body_ = std::move(body);
  etag_ = "\"v" + std::to_string(++version_) + "\"";
}

int FeedServer::Answer(void* self, MHD_Connection* connection, const char*, const char*, const char*, const char*,
                       std::size_t*, void** state) {
  auto* server = static_cast<FeedServer*>(self);
  // the first call brings the head alone; answered from the second
  if (!*state) {
    *state = server;
    return MHD_YES;
  }
  ++server->requests_;
  std::string body, etag;
  {
    std::lock_guard lock(server->mutex_);
    body = server->body_;
    etag = server->etag_;
  }
  unsigned status = MHD_HTTP_OK;
  const char* asked = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "If-None-Match");
  if (server->failing_) {
    status = MHD_HTTP_INTERNAL_SERVER_ERROR;
    body = "down";
  } else if (asked && asked == etag) {
    status = MHD_HTTP_NOT_MODIFIED;
    body.clear();
    ++server->notModified_;
  } else {
    ++server->bodies_;
  }
  MHD_Response* response = MHD_create_response_from_buffer(body.size(), body.data(), MHD_RESPMEM_MUST_COPY);
  if (!server->failing_) MHD_add_response_header(response, "ETag", etag.c_str());
  const MHD_Result queued = MHD_queue_response(connection, status, response);
  MHD_destroy_response(response);
  return queued;
}

}  // namespace snipora::service::test
