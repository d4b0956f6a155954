// The bare side of the redirect benchmark: the same HTTP library with the same
// threading answering 301 from an in-memory table of the same codes, and
// nothing else (no log, no metrics, no limits, no clicks).
//   bare_redirect_server PORT THREADS LINKS-FILE   ("code address" a line)
#include <microhttpd.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unordered_map>

namespace {

std::unordered_map<std::string, std::string> links;

MHD_Result Answer(void*, MHD_Connection* connection, const char* url, const char*, const char*, const char*,
                  size_t*, void** context) {
  // answered on the second call, as the service does (keep-alive, see there)
  static int seen;
  if (!*context) {
    *context = &seen;
    return MHD_YES;
  }
  const auto found = links.find(url + 1);
  MHD_Response* response = MHD_create_response_from_buffer(0, const_cast<char*>(""), MHD_RESPMEM_PERSISTENT);
  unsigned status = MHD_HTTP_NOT_FOUND;
  if (found != links.end()) {
    MHD_add_response_header(response, MHD_HTTP_HEADER_LOCATION, found->second.c_str());
    status = MHD_HTTP_MOVED_PERMANENTLY;
  }
  const MHD_Result queued = MHD_queue_response(connection, status, response);
  MHD_destroy_response(response);
  return queued;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: bare_redirect_server PORT THREADS LINKS-FILE\n");
    return 2;
  }
  std::ifstream in(argv[3]);
  std::string code, address;
  while (in >> code >> address) links.emplace(code, address);
  MHD_Daemon* daemon = MHD_start_daemon(
      MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_ERROR_LOG, uint16_t(std::atoi(argv[1])), nullptr, nullptr, &Answer,
      nullptr, MHD_OPTION_THREAD_POOL_SIZE, unsigned(std::atoi(argv[2])), MHD_OPTION_CONNECTION_LIMIT, 1000u,
      MHD_OPTION_LISTEN_BACKLOG_SIZE, 1024u, MHD_OPTION_END);
  if (!daemon) return 1;
  std::fprintf(stderr, "bare server: %zu links\n", links.size());
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  int signal = 0;
  sigwait(&signals, &signal);
  MHD_stop_daemon(daemon);
  return 0;
}
