#include "service/http/outgoing.h"

#include <curl/curl.h>

#include <memory>

namespace snipora::service {
namespace {

constexpr std::size_t kMaxBody = 1 << 20;
constexpr long kTimeoutSeconds = 10;

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

std::size_t Take(char* data, std::size_t size, std::size_t count, void* into) {
  auto* body = static_cast<std::string*>(into);
  const std::size_t bytes = size * count;
  if (body->size() + bytes > kMaxBody) return 0;  // curl then fails the transfer
  body->append(data, bytes);
  return bytes;
}

}  // namespace

Fetched Fetch(const FetchAsk& ask) {
  Fetched fetched;
  const std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) {
    fetched.error = "libcurl could not start";
    return fetched;
  }
  CURL* handle = curl.get();
  curl_easy_setopt(handle, CURLOPT_URL, ask.url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT, kTimeoutSeconds);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Take);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &fetched.body);
  if (!ask.form.empty()) {
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, ask.form.c_str());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, long(ask.form.size()));
  }
  if (!ask.user.empty()) {
    curl_easy_setopt(handle, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
    curl_easy_setopt(handle, CURLOPT_USERNAME, ask.user.c_str());
    curl_easy_setopt(handle, CURLOPT_PASSWORD, ask.password.c_str());
  }
  const CURLcode result = curl_easy_perform(handle);
  if (result != CURLE_OK) {
    fetched.error = curl_easy_strerror(result);
    fetched.body.clear();
    return fetched;
  }
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &fetched.status);
  return fetched;
}

}  // namespace snipora::service
