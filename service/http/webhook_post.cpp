#include "service/http/webhook_post.h"

#include <curl/curl.h>

#include <memory>

namespace snipora::service {
namespace {

struct CurlCleanup {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListCleanup {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

std::size_t Discard(char*, std::size_t size, std::size_t count, void*) { return size * count; }

}  // namespace

WebhookAnswer PostWebhook(const WebhookPost& post) {
  WebhookAnswer answer;
  std::unique_ptr<CURL, CurlCleanup> curl(curl_easy_init());
  if (!curl) {
    answer.error = "libcurl could not start a transfer";
    return answer;
  }
  std::unique_ptr<curl_slist, ListCleanup> headers;
  const auto addHeader = [&](const std::string& header) {
    headers.reset(curl_slist_append(headers.release(), header.c_str()));
  };
  addHeader("Content-Type: application/json");
  addHeader("Expect:");  // no wait for a 100 Continue that a small receiver never sends
  for (const auto& [name, value] : post.headers) addHeader(name + ": " + value);
  char error[CURL_ERROR_SIZE] = "";
  CURL* handle = curl.get();
  curl_easy_setopt(handle, CURLOPT_URL, post.url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);  // no SIGALRM in a threaded program
  curl_easy_setopt(handle, CURLOPT_TIMEOUT, post.timeoutSeconds);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, post.timeoutSeconds);
  curl_easy_setopt(handle, CURLOPT_USERAGENT, "snipora-service");
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(handle, CURLOPT_POSTFIELDS, post.body.data());
  curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(post.body.size()));
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, Discard);
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error);
  const CURLcode code = curl_easy_perform(handle);
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &answer.status);
  if (code != CURLE_OK) {
    answer.status = 0;
    answer.error = error[0] ? error : curl_easy_strerror(code);
  }
  return answer;
}

}  // namespace snipora::service
