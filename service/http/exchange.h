#pragma once
// What passes between the transport (transport.h, libmicrohttpd) and the
// application (app/application.h): a request as the application sees it and the
// reply it makes. Neither side sees the other's types.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace snipora::service {

inline constexpr char kHtml[] = "text/html; charset=utf-8";
inline constexpr char kJson[] = "application/json";
inline constexpr char kText[] = "text/plain; charset=utf-8";

struct Reply {
  int status = 200;
  const char* type = kHtml;  // a string literal
  std::string body;
  std::vector<std::pair<const char*, std::string>> headers;  // after Content-Type, in this order
  std::string_view fixedBody = {};  // sent without a copy: bytes that outlive the server
  // A header sent before `headers` whose value is lent, not owned: it lives
  // at least until the reply is sent on the thread that made it (a
  // redirect's Location, written into room its thread keeps, so that the
  // reply allocates nothing). Never in a reply put off.
  const char* lentName = nullptr;
  const std::string* lentValue = nullptr;
};

// Which latency histogram a request's time goes to.
enum class RequestKind { kRedirect, kCreation, kOther };

class HttpRequest {
 public:
  std::string target;  // raw, as it came
  std::string method, version;
  std::string client;  // the peer, or the client a trusted proxy names
  bool viaTrustedProxy = false;  // the peer is a trusted proxy: its X-Forwarded-Proto may be believed
  std::string body;
  bool bodyTooLarge = false;  // the body was cut at --max-body
  RequestKind kind = RequestKind::kOther;

  // The first header of that name, null when there is none. Valid while the
  // request is being handled.
  virtual const char* Header(const char* name) const = 0;
  // Puts the reply off: the handler answers nothing now, and calls the
  // returned function once, from any thread, with what makes the reply; the
  // transport calls that on its own thread (so that making a reply that
  // reads the store never holds up the thread that finished the work).
  virtual std::function<void(std::function<Reply()>)> Defer() = 0;

 protected:
  ~HttpRequest() = default;
};

// The application behind the transport.
class RequestHandler {
 public:
  virtual ~RequestHandler() = default;
  // The reply, or nothing after request.Defer().
  virtual std::optional<Reply> Handle(HttpRequest& request) = 0;
};

}  // namespace snipora::service
