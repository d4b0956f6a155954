// winsock2.h must come before anything that includes windows.h
#include "tests/support/local_service/service_socket.h"

#include "tests/support/local_service/local_service.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "tests/support/local_service/request_head.h"
#include "tests/support/local_service/service_answers.h"
#include "tests/support/local_service/short_codes.h"

namespace snipora::test {
namespace {

constexpr std::size_t kMaxConnections = 32;
constexpr std::size_t kFirstWorkers = 4;
constexpr uint32_t kSendTimeoutMs = 30000;
constexpr uint32_t kResetPauseMs = 100;  // lets the bytes before a reset be read first
constexpr char kHtml[] = "text/html; charset=utf-8";

enum class HeadOutcome { Complete, NotHttp, TooLarge, Incomplete };

std::string FirstLine(const std::string& received) {
  return received.substr(0, std::min(received.find_first_of("\r\n"), received.size()));
}

Answer Page(int status, std::string_view text) {
  return {status, {{"Content-Type", kHtml}}, MessagePage(status, text)};
}

}  // namespace

uint8_t PatternByte(uint64_t index) {
  return static_cast<uint8_t>((index * 0x9E3779B97F4A7C15ull) >> 56);
}

std::string PatternBytes(uint64_t count) {
  std::string bytes(static_cast<std::size_t>(count), '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(PatternByte(i));
  return bytes;
}

struct LocalService::State {
  explicit State(LocalServiceOptions givenOptions)
      : options(std::move(givenOptions)) {}

  bool Listen();
  void AcceptLoop();
  void WorkLoop();
  void Serve(Socket client);
  HeadOutcome ReadHead(SOCKET client, std::string& received);
  Answer Route(const RequestHead& head);
  bool Relay(Socket& client, const RequestHead& head);
  void Respond(Socket& client, const Behaviour& behaviour, Answer answer);
  void Record(const std::string& received);

  LocalServiceOptions options;
  WinsockUser winsock;
  Socket listener;
  uint16_t port = 0;
  std::atomic<bool> stopping{false};
  std::thread acceptor;

  // Workers stay for the service's life: starting a thread costs Wine
  // several milliseconds, more than answering a request.
  std::mutex poolMutex;  // guards the pool
  std::condition_variable workAvailable;
  std::deque<Socket> pending;
  std::size_t idleWorkers = 0;
  std::vector<std::thread> workers;  // once started, touched by the accept thread only

  mutable std::mutex mutex;  // guards what follows
  ShortCodes codes;
  std::deque<std::string> requests;
  std::deque<Behaviour> queued;
  Behaviour standing;
};

bool LocalService::State::Listen() {
  if (!winsock.started()) return false;
  listener.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!listener) return false;
  if (options.port) {
    // a restart on the same port must not wait for old connections to age
    const BOOL yes = TRUE;
    setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof yes);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(options.port);
  if (bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return false;
  if (listen(listener.get(), SOMAXCONN) != 0) return false;
  int length = sizeof address;
  if (getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) return false;
  u_long nonBlocking = 1;
  ioctlsocket(listener.get(), FIONBIO, &nonBlocking);
  port = ntohs(address.sin_port);
  return true;
}

void LocalService::State::AcceptLoop() {
  while (!stopping.load()) {
    const Wait wait = WaitFor(listener.get(), false, GetTickCount64() + 1000, stopping);
    if (wait == Wait::Stopped) break;
    if (wait == Wait::Failed) Sleep(20);
    if (wait != Wait::Ready) continue;
    Socket client(accept(listener.get(), nullptr, nullptr));
    if (!client) continue;
    u_long nonBlocking = 1;
    ioctlsocket(client.get(), FIONBIO, &nonBlocking);
    std::lock_guard lock(poolMutex);
    if (idleWorkers > pending.size()) {
      pending.push_back(std::move(client));
      workAvailable.notify_one();
    } else if (workers.size() < kMaxConnections) {
      try {
        workers.emplace_back([this] { WorkLoop(); });
        pending.push_back(std::move(client));
      } catch (const std::system_error&) {
        // no thread to be had: the connection closes
      }
    }
    // else: too many clients at once; this one is closed unanswered
  }
  {
    std::lock_guard lock(poolMutex);
    pending.clear();
  }
  workAvailable.notify_all();
  for (std::thread& worker : workers) worker.join();
}

void LocalService::State::WorkLoop() {
  while (true) {
    Socket client;
    {
      std::unique_lock lock(poolMutex);
      ++idleWorkers;
      workAvailable.wait(lock, [this] { return stopping.load() || !pending.empty(); });
      --idleWorkers;
      if (stopping.load()) return;
      client = std::move(pending.front());
      pending.pop_front();
    }
    Serve(std::move(client));
  }
}

HeadOutcome LocalService::State::ReadHead(SOCKET client, std::string& received) {
  const uint64_t deadline = GetTickCount64() + options.headTimeoutMs;
  char buffer[4096];
  while (true) {
    const std::size_t end = FindHeadEnd(received);
    if (end != std::string::npos) {
      received.resize(end);  // anything after the head is not ours to keep
      return HeadOutcome::Complete;
    }
    if (CannotBeHttp(received)) return HeadOutcome::NotHttp;
    if (received.size() >= kMaxRequestHead) return HeadOutcome::TooLarge;
    const std::size_t room = std::min(sizeof buffer, kMaxRequestHead - received.size());
    const int n = recv(client, buffer, static_cast<int>(room), 0);
    if (n > 0) {
      received.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK) return HeadOutcome::Incomplete;
    if (WaitFor(client, false, deadline, stopping) != Wait::Ready) return HeadOutcome::Incomplete;
  }
}

void LocalService::State::Record(const std::string& received) {
  std::lock_guard lock(mutex);
  requests.push_back(received);
  if (requests.size() > kMaxRecorded) requests.pop_front();
}

void LocalService::State::Serve(Socket client) {
  std::string received;
  const HeadOutcome outcome = ReadHead(client.get(), received);
  if (!received.empty()) {
    Record(received);
    if (options.onRequest) options.onRequest(FirstLine(received));
  }
  if (stopping.load()) return;
  if (outcome == HeadOutcome::NotHttp || outcome == HeadOutcome::Incomplete) {
    CloseGently(client, stopping);
    return;
  }
  if (outcome == HeadOutcome::TooLarge) {
    Respond(client, {}, Page(431, "The request head is too large."));
    return;
  }
  const std::optional<RequestHead> head = ParseRequestHead(received);
  if (!head) {
    Respond(client, {}, Page(400, "The request line cannot be read."));
    return;
  }

  Behaviour behaviour;
  {
    std::lock_guard lock(mutex);
    if (!queued.empty()) {
      behaviour = queued.front();
      queued.pop_front();
    } else {
      behaviour = standing;
    }
  }
  if (behaviour.stallMs) Pause(behaviour.stallMs, stopping);
  if (stopping.load()) return;
  if (behaviour.refuse) {
    CloseGently(client, stopping);
    return;
  }
  if (behaviour.notHttp) {
    SendAll(client.get(), *behaviour.notHttp, GetTickCount64() + kSendTimeoutMs, stopping);
    CloseGently(client, stopping);
    return;
  }

  Answer answer;
  if (!behaviour.redirectTo.empty()) {
    answer = Page(302, "Found elsewhere.");
    answer.headers.emplace_back("Location", LocationValue(behaviour.redirectTo));
  } else if (behaviour.status) {
    answer = Page(behaviour.status, "As the test asked.");
  } else if (options.relayPort && head->path != kStatusImagePath && head->path != kGatewayStatusPath) {
    if (!Relay(client, *head)) Respond(client, {}, Page(502, "The shortening service did not answer."));
    return;
  } else {
    answer = Route(*head);
  }
  if (behaviour.status) answer.status = behaviour.status;
  if (behaviour.body) answer.body = *behaviour.body;
  if (behaviour.nulBytes) {
    const std::size_t body = answer.body.find("<body>");
    answer.body.insert(body == std::string::npos ? 0 : body + 6, std::string(3, '\0'));
  }
  Respond(client, behaviour, std::move(answer));
}

Answer LocalService::State::Route(const RequestHead& head) {
  if (head.method != "GET") {
    Answer answer = Page(405, "Only GET is answered here.");
    answer.headers.emplace_back("Allow", "GET");
    return answer;
  }
  if (head.path == "/create.php") {
    const std::optional<std::string> address = QueryValue(head.query, "url");
    if (!address || address->empty()) return Page(400, "The url parameter is missing or empty.");
    std::optional<std::string> code;
    {
      std::lock_guard lock(mutex);
      code = codes.CodeFor(*address);
    }
    if (!code) return Page(503, "The table of short addresses is full.");
    return {200, {{"Content-Type", kHtml}}, CreatedPage(options.shortHost + "/" + *code, *address)};
  }
  if (head.path == kStatusImagePath || head.path == kGatewayStatusPath)
    return {200, {{"Content-Type", "image/gif"}}, StatusImage()};
  if (head.path == "/") return Page(200, "A local shortening service: GET /create.php?url=<address>.");
  const std::string code = head.path.substr(1);
  if (ShortCodes::IsCode(code)) {
    std::optional<std::string> address;
    {
      std::lock_guard lock(mutex);
      address = codes.AddressOf(code);
    }
    if (address) {
      Answer answer = Page(301, "Moved to " + *address);
      answer.headers.emplace_back("Location", LocationValue(*address));
      return answer;
    }
  }
  return Page(404, "No such short address.");
}

// The request, as HTTP/1.0 without keep-alive so that the answer ends with
// the connection, to the shortening service; its answer, byte for byte, back.
bool LocalService::State::Relay(Socket& client, const RequestHead& head) {
  Socket upstream(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(options.relayPort);
  if (!upstream || connect(upstream.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    return false;
  u_long nonBlocking = 1;
  ioctlsocket(upstream.get(), FIONBIO, &nonBlocking);
  const uint64_t deadline = GetTickCount64() + kSendTimeoutMs;
  const std::string request = head.method + " " + head.target + " HTTP/1.0\r\nHost: " +
                              (head.host.empty() ? options.shortHost : head.host) + "\r\n\r\n";
  if (!SendAll(upstream.get(), request, deadline, stopping)) return false;
  std::string answer;
  char buffer[16384];
  for (;;) {
    const int n = recv(upstream.get(), buffer, sizeof buffer, 0);
    if (n > 0) {
      answer.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n == 0) break;
    if (WSAGetLastError() != WSAEWOULDBLOCK || WaitFor(upstream.get(), false, deadline, stopping) != Wait::Ready)
      return false;
  }
  if (answer.empty()) return false;
  SendAll(client.get(), answer, deadline, stopping);
  CloseGently(client, stopping);
  return true;
}

void LocalService::State::Respond(Socket& client, const Behaviour& behaviour, Answer answer) {
  const bool large = behaviour.largeBody >= 0;
  if (large) answer.headers.emplace_back("Content-Type", "application/octet-stream");
  const uint64_t length = large ? uint64_t(behaviour.largeBody) : answer.body.size();
  const long long stated = behaviour.omitContentLength          ? -1
                           : behaviour.statedContentLength >= 0 ? behaviour.statedContentLength
                                                                : static_cast<long long>(length);
  const uint64_t sent =
      behaviour.resetAfter >= 0 ? std::min<uint64_t>(uint64_t(behaviour.resetAfter), length) : length;

  const uint64_t deadline = GetTickCount64() + kSendTimeoutMs + behaviour.silenceMs;
  bool ok = SendAll(client.get(), AnswerHead(answer, stated), deadline, stopping);
  // the body in pieces, with the silence where the behaviour puts it
  const uint64_t silenceAt = std::min<uint64_t>(uint64_t(std::max<int64_t>(behaviour.silenceAfter, 0)), sent);
  std::string chunk;
  for (uint64_t at = 0; ok && at <= sent; at += chunk.size()) {
    if (at == silenceAt && behaviour.silenceMs) Pause(behaviour.silenceMs, stopping);
    if (at == sent) break;
    const uint64_t end = std::min<uint64_t>({sent, at + (1 << 20), at < silenceAt ? silenceAt : sent});
    if (large) {
      chunk.resize(static_cast<std::size_t>(end - at));
      for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(PatternByte(at + i));
    } else {
      chunk.assign(answer.body, static_cast<std::size_t>(at), static_cast<std::size_t>(end - at));
    }
    ok = SendAll(client.get(), chunk, deadline, stopping);
  }
  if (behaviour.resetAfter >= 0 && ok) {
    Pause(kResetPauseMs, stopping);
    Reset(client);
    return;
  }
  if (!ok) {
    client.reset();
    return;
  }
  CloseGently(client, stopping);
}

LocalService::LocalService(LocalServiceOptions options) : state_(std::make_unique<State>(std::move(options))) {
  if (!state_->Listen()) return;
  for (std::size_t i = 0; i < kFirstWorkers; ++i) state_->workers.emplace_back([state = state_.get()] { state->WorkLoop(); });
  state_->acceptor = std::thread([state = state_.get()] { state->AcceptLoop(); });
}

LocalService::~LocalService() {
  {
    std::lock_guard lock(state_->poolMutex);
    state_->stopping.store(true);
  }
  state_->workAvailable.notify_all();
  if (state_->acceptor.joinable()) state_->acceptor.join();
  for (std::thread& worker : state_->workers)
    if (worker.joinable()) worker.join();
}

uint16_t LocalService::port() const { return state_->acceptor.joinable() ? state_->port : 0; }

std::string LocalService::origin() const { return "http://127.0.0.1:" + std::to_string(port()); }

std::vector<std::string> LocalService::requests() const {
  std::lock_guard lock(state_->mutex);
  return {state_->requests.begin(), state_->requests.end()};
}

void LocalService::ClearRequests() {
  std::lock_guard lock(state_->mutex);
  state_->requests.clear();
}

void LocalService::SetBehaviour(const Behaviour& behaviour) {
  std::lock_guard lock(state_->mutex);
  state_->standing = behaviour;
}

void LocalService::QueueBehaviour(const Behaviour& behaviour) {
  std::lock_guard lock(state_->mutex);
  state_->queued.push_back(behaviour);
}

std::optional<std::string> LocalService::AddressOf(const std::string& code) const {
  std::lock_guard lock(state_->mutex);
  return state_->codes.AddressOf(code);
}

}  // namespace snipora::test
