#include "service/http/feed_fetch.h"

#include <curl/curl.h>

#include <memory>
#include <string_view>

namespace snipora::service {
namespace {

struct CurlCleanup {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListCleanup {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// Redirects followed at most: a feed moved once or twice is still read.
constexpr long kMaxRedirects = 5;

struct Receiving {
  Fetched* fetched;
  std::size_t maxBytes;
  bool tooLong = false;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* receiving = static_cast<Receiving*>(user);
  const std::size_t bytes = size * count;
  if (receiving->fetched->body.size() + bytes > receiving->maxBytes) {
    receiving->tooLong = true;
    return 0;  // libcurl ends the transfer
  }
  receiving->fetched->body.append(data, bytes);
  return bytes;
}

std::string_view TrimHeader(std::string_view value) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' '))
    value.remove_suffix(1);
  return value;
}

bool NameIs(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':') return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = line[i];
    const char lower = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    if (lower != name[i]) return false;
  }
  return true;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* fetched = static_cast<Fetched*>(user);
  const std::string_view line(data, size * count);
  // each answer of a redirect starts its own headers: only the last one's count
  if (line.starts_with("HTTP/")) {
    fetched->etag.clear();
    fetched->lastModified.clear();
  } else if (NameIs(line, "etag")) {
    fetched->etag = TrimHeader(line.substr(5));
  } else if (NameIs(line, "last-modified")) {
    fetched->lastModified = TrimHeader(line.substr(14));
  }
  return size * count;
}

}  // namespace

Fetched FetchFeed(const FetchAsk& ask) {
  Fetched fetched;
  std::unique_ptr<CURL, CurlCleanup> curl(curl_easy_init());
  if (!curl) {
    fetched.error = "libcurl could not start a transfer";
    return fetched;
  }
  std::unique_ptr<curl_slist, ListCleanup> headers;
  const auto addHeader = [&](const std::string& header) {
    headers.reset(curl_slist_append(headers.release(), header.c_str()));
  };
  if (!ask.etag.empty()) addHeader("If-None-Match: " + ask.etag);
  if (!ask.lastModified.empty()) addHeader("If-Modified-Since: " + ask.lastModified);
  Receiving receiving{&fetched, ask.maxBytes};
  char error[CURL_ERROR_SIZE] = "";
  CURL* handle = curl.get();
  curl_easy_setopt(handle, CURLOPT_URL, ask.url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);  // no SIGALRM in a threaded program
  curl_easy_setopt(handle, CURLOPT_TIMEOUT, ask.timeoutSeconds);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, ask.timeoutSeconds < 10 ? ask.timeoutSeconds : 10L);
  curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");  // whatever libcurl decodes
  curl_easy_setopt(handle, CURLOPT_USERAGENT, "snipora-service");
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &receiving);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &fetched);
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error);
  const CURLcode code = curl_easy_perform(handle);
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &fetched.status);
  if (receiving.tooLong) {
    fetched.body.clear();
    fetched.error = "the feed is longer than " + std::to_string(ask.maxBytes) + " bytes";
    return fetched;
  }
  if (code != CURLE_OK) {
    fetched.body.clear();
    fetched.error = error[0] ? error : curl_easy_strerror(code);
    return fetched;
  }
  if (fetched.status == 304) {
    fetched.body.clear();
    fetched.outcome = Fetched::kNotModified;
    return fetched;
  }
  if (fetched.status != 200) {
    fetched.body.clear();
    fetched.error = "answered HTTP " + std::to_string(fetched.status);
    return fetched;
  }
  fetched.outcome = Fetched::kBody;
  return fetched;
}

}  // namespace snipora::service
