// What an operator's deployment leans on: a reverse proxy in front (whose
// forwarded client addresses count, and nobody else's), the Windows program
// handed out set up for this service, and a stop that answers what still
// arrives on open connections.
#include <gtest/gtest.h>
#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "service/store/open_store.h"
#include "service/tests/support/http_client.h"

namespace snipora::service {
namespace {

using namespace std::chrono_literals;
using test::Client;
using test::CreateTarget;
using test::Exchange;
using test::Get;
using test::Response;

constexpr char kReadme[] = "Snipora\r\n";

// As large as a real program, and as incompressible: an archive this size
// goes through memory of its own (a mapping), where a buffer freed twice
// ends the process instead of passing unseen.
const std::string& Program() {
  static const std::string program = [] {
    std::string bytes = "MZ";
    uint32_t state = 2463534242u;
    while (bytes.size() < (1u << 20)) {
      state ^= state << 13, state ^= state >> 17, state ^= state << 5;
      bytes += char(state);
    }
    return bytes;
  }();
  return program;
}

// A release zip as scripts/package.sh writes one: fixed times and order.
void WriteReleaseZip(const std::string& path) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(archive, nullptr);
  for (const auto& [name, text] : {std::pair{"Snipora.exe", std::string_view(Program())},
                                   std::pair{"README.txt", std::string_view(kReadme)}}) {
    zip_source_t* source = zip_source_buffer(archive, text.data(), text.size(), 0);
    const zip_int64_t index = zip_file_add(archive, name, source, 0);
    ASSERT_GE(index, 0);
    zip_file_set_mtime(archive, zip_uint64_t(index), 1262304000, 0);
  }
  ASSERT_EQ(zip_close(archive), 0);
}

// The entries of an archive in memory, in order, with their contents.
std::vector<std::pair<std::string, std::string>> Entries(const std::string& bytes) {
  std::vector<std::pair<std::string, std::string>> entries;
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, nullptr);
  zip_t* archive = source ? zip_open_from_source(source, ZIP_CHECKCONS, nullptr) : nullptr;
  if (!archive) {
    if (source) zip_source_free(source);
    ADD_FAILURE() << "not a zip archive";
    return entries;
  }
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
    zip_stat_t stat;
    zip_stat_index(archive, zip_uint64_t(i), 0, &stat);
    std::string content(stat.size, '\0');
    zip_file_t* file = zip_fopen_index(archive, zip_uint64_t(i), 0);
    EXPECT_EQ(zip_fread(file, content.data(), content.size()), zip_int64_t(content.size()));
    zip_fclose(file);
    entries.emplace_back(stat.name, content);
  }
  zip_discard(archive);
  return entries;
}

class Deployment : public testing::Test {
 protected:
  void Start(const std::function<void(Settings&)>& adjust = {}, std::FILE* log = nullptr) {
    Settings settings = test::TestSettings(dir_);
    if (adjust) adjust(settings);
    service_ = std::make_unique<Service>(settings, nullptr, log);
    port_ = service_->port();
  }
  std::string Creation(const std::string& address, const std::string& forwardedFor) {
    return "GET " + CreateTarget(address) + " HTTP/1.1\r\nHost: snip.invalid\r\nX-Forwarded-For: " + forwardedFor +
           "\r\nConnection: close\r\n\r\n";
  }

  test::TempDir dir_;
  std::unique_ptr<Service> service_;
  uint16_t port_ = 0;
};

TEST_F(Deployment, AForgedForwardedForFromAnUntrustedPeerChangesNothing) {
  std::FILE* log = std::tmpfile();
  Start(
      [](Settings& settings) {
        settings.creationsPerMinute = 2;
        settings.trustedProxies = "10.0.0.0/8";  // not the test's own address
      },
      log);
  // a new forged address each time: still one client, and the third is too many
  EXPECT_EQ(Exchange(port_, Creation("http://a.example/1", "198.51.100.1")).status, 200);
  EXPECT_EQ(Exchange(port_, Creation("http://a.example/2", "198.51.100.2")).status, 200);
  EXPECT_EQ(Exchange(port_, Creation("http://a.example/3", "198.51.100.3")).status, 429);
  service_->Stop();
  std::rewind(log);
  char text[4096] = {};
  const std::string written(text, std::fread(text, 1, sizeof text - 1, log));
  std::fclose(log);
  EXPECT_EQ(written.find("198.51.100."), std::string::npos) << written;
  EXPECT_EQ(written.rfind("127.0.0.1 - - [", 0), 0u) << written;
}

TEST_F(Deployment, BehindATrustedProxyEachForwardedClientIsLimitedAndLoggedAsItself) {
  std::FILE* log = std::tmpfile();
  Start(
      [](Settings& settings) {
        settings.creationsPerMinute = 2;
        settings.perIpConnections = 2;
        settings.trustedProxies = "127.0.0.1";
      },
      log);
  // the client's own forgery stays left of what the proxy appended
  EXPECT_EQ(Exchange(port_, Creation("http://b.example/1", "6.6.6.6, 198.51.100.1")).status, 200);
  EXPECT_EQ(Exchange(port_, Creation("http://b.example/2", "7.7.7.7, 198.51.100.1")).status, 200);
  EXPECT_EQ(Exchange(port_, Creation("http://b.example/3", "198.51.100.1")).status, 429);
  EXPECT_EQ(Exchange(port_, Creation("http://b.example/4", "198.51.100.2")).status, 200);
  // the proxy holds many clients' connections: it is not held to the per-address limit
  std::vector<std::unique_ptr<Client>> connections;
  for (int i = 0; i < 5; ++i) connections.push_back(std::make_unique<Client>(port_));
  for (auto& connection : connections) {
    ASSERT_TRUE(connection->Send("GET /healthz HTTP/1.1\r\nHost: snip.invalid\r\nX-Forwarded-For: 198.51.100.9\r\n\r\n"));
    EXPECT_EQ(connection->Next().value_or(Response{}).status, 200);
  }
  connections.clear();
  service_->Stop();
  std::rewind(log);
  char text[8192] = {};
  const std::string written(text, std::fread(text, 1, sizeof text - 1, log));
  std::fclose(log);
  EXPECT_EQ(written.rfind("198.51.100.1 - - [", 0), 0u) << written;
  EXPECT_NE(written.find("\n198.51.100.2 - - ["), std::string::npos) << written;
  EXPECT_EQ(written.find("6.6.6.6"), std::string::npos) << written;
  EXPECT_EQ(written.find("127.0.0.1"), std::string::npos) << written;
}

TEST_F(Deployment, AnUntrustedPeerIsHeldToItsConnections) {
  Start([](Settings& settings) { settings.perIpConnections = 2; });
  Client first(port_), second(port_);
  ASSERT_TRUE(first.Send("GET /healthz HTTP/1.1\r\nHost: snip.invalid\r\n\r\n"));
  ASSERT_TRUE(second.Send("GET /healthz HTTP/1.1\r\nHost: snip.invalid\r\n\r\n"));
  EXPECT_EQ(first.Next().value_or(Response{}).status, 200);
  EXPECT_EQ(second.Next().value_or(Response{}).status, 200);
  Client third(port_);
  EXPECT_TRUE(third.ClosedWithin(2s));
  // one closed makes room again
  first.Send("GET /healthz HTTP/1.1\r\nHost: snip.invalid\r\nConnection: close\r\n\r\n");
  EXPECT_TRUE(first.ClosedWithin(2s));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(Exchange(port_, "GET /healthz HTTP/1.1\r\nHost: snip.invalid\r\nConnection: close\r\n\r\n").status, 200);
}

// The program downloaded from a domain shortens on that domain.
TEST_F(Deployment, TheWindowsProgramFromEachDomainNamesThatDomain) {
  const std::string release = dir_.File("Snipora-1.2.0-win32.zip");
  WriteReleaseZip(release);
  Start([&](Settings& settings) {
    settings.clientPackage = release;
    settings.domains = "go.example,s.example:8080";
  });
  for (const auto& [host, named] : {std::pair{"go.example", "go.example"}, std::pair{"S.example", "s.example:8080"}}) {
    const Response download = Exchange(port_, "GET /download/Snipora-1.2.0-win32.zip HTTP/1.0\r\nHost: " +
                                                  std::string(host) + "\r\n\r\n");
    ASSERT_EQ(download.status, 200) << host;
    const std::vector<std::pair<std::string, std::string>> entries = Entries(download.body);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2].second, "[Service]\r\nHost=" + std::string(named) + "\r\n") << host;
  }
}

TEST_F(Deployment, TheWindowsProgramIsHandedOutSetUpForThisServiceTheSameBytesEveryTime) {
  const std::string release = dir_.File("Snipora-1.2.0-win32.zip");
  WriteReleaseZip(release);
  // the package installs a stable name that links to the versioned file
  std::filesystem::create_symlink(release, dir_.File("Snipora-win32.zip"));
  const auto withPackage = [&](Settings& settings) { settings.clientPackage = dir_.File("Snipora-win32.zip"); };
  Start(withPackage);
  const std::string path = "/download/Snipora-1.2.0-win32.zip";
  const Response download = Get(port_, path);
  ASSERT_EQ(download.status, 200);
  EXPECT_EQ(download.Header("Content-Type"), "application/zip");
  EXPECT_EQ(download.Header("Content-Disposition"), "attachment; filename=\"Snipora-1.2.0-win32.zip\"");
  const std::string etag = download.Header("ETag");
  EXPECT_EQ(etag.front(), '"');
  const std::vector<std::pair<std::string, std::string>> entries = Entries(download.body);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0], (std::pair<std::string, std::string>{"Snipora.exe", Program()}));
  EXPECT_EQ(entries[1].first, "README.txt");
  EXPECT_EQ(entries[2], (std::pair<std::string, std::string>{"Snipora.ini", "[Service]\r\nHost=snip.invalid\r\n"}));
  EXPECT_NE(Get(port_, "/").body.find("href=\"/download/Snipora-1.2.0-win32.zip\""), std::string::npos);

  EXPECT_EQ(Get(port_, path).body, download.body);
  const Response head = Exchange(port_, "HEAD " + path + " HTTP/1.0\r\n\r\n", true);
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.Header("Content-Length"), std::to_string(download.body.size()));
  EXPECT_EQ(head.Header("ETag"), etag);
  const Response unchanged = Exchange(port_, "GET " + path + " HTTP/1.0\r\nIf-None-Match: " + etag + "\r\n\r\n");
  EXPECT_EQ(unchanged.status, 304);
  EXPECT_TRUE(unchanged.body.empty());
  EXPECT_EQ(Get(port_, "/download/Snipora-win32.zip").status, 404);
  EXPECT_EQ(Get(port_, "/download/").status, 404);

  // after a restart: the same bytes
  service_.reset();
  Start(withPackage);
  const Response again = Get(port_, path);
  EXPECT_EQ(again.body, download.body);
  EXPECT_EQ(again.Header("ETag"), etag);
  // another public host: another file, another validator
  service_.reset();
  Start([&](Settings& settings) {
    withPackage(settings);
    settings.publicHost = "s.example.org:8080";
  });
  const Response other = Exchange(port_, "GET " + path + " HTTP/1.0\r\nHost: s.example.org:8080\r\n\r\n");
  EXPECT_NE(other.Header("ETag"), etag);
  EXPECT_EQ(Entries(other.body).back().second, "[Service]\r\nHost=s.example.org:8080\r\n");
}

TEST_F(Deployment, WithoutAPackageNothingIsOfferedAndABrokenOneStopsTheStart) {
  Start();
  EXPECT_EQ(Get(port_, "/download/Snipora-1.2.0-win32.zip").status, 404);
  EXPECT_EQ(Get(port_, "/").body.find("/download/"), std::string::npos);
  service_.reset();

  std::ofstream(dir_.File("Snipora-1.2.0-win32.zip")) << "not a zip";
  for (const std::string& bad : {dir_.File("Snipora-1.2.0-win32.zip"), dir_.File("missing.zip")}) {
    try {
      Start([&](Settings& settings) { settings.clientPackage = bad; });
      ADD_FAILURE() << "started with " << bad;
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find(bad), std::string::npos) << error.what();
    }
  }
}

TEST_F(Deployment, AStoppingServiceRefusesNewConnectionsAndAnswersWhatArrivesOnOpenOnes) {
  Start();
  Client kept(port_), probe(port_);
  for (Client* client : {&kept, &probe}) {
    ASSERT_TRUE(client->Send("GET /healthz HTTP/1.1\r\nHost: snip.invalid\r\n\r\n"));
    ASSERT_EQ(client->Next().value_or(Response{}).status, 200);
  }
  std::thread stopping([&] { service_->Stop(); });
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Get(port_, "/healthz").status, 0);  // no new connection
  // a monitor's kept connection is told why, even for redirects
  for (const char* target : {"/healthz", "/healthz?ready=redirects"}) {
    ASSERT_TRUE(probe.Send("GET " + std::string(target) + " HTTP/1.1\r\nHost: snip.invalid\r\n\r\n"));
    const Response health = probe.Next().value_or(Response{});
    EXPECT_EQ(health.status, 503) << target;
    EXPECT_EQ(health.body.substr(0, 9), "stopping:") << target;
    if (health.Header("Connection") == "close") break;
  }
  // a creation on a connection a proxy kept: committed and answered, and the connection closed after it
  ASSERT_TRUE(kept.Send("GET " + CreateTarget("http://drained.example/") + " HTTP/1.1\r\nHost: snip.invalid\r\n\r\n"));
  const Response answer = kept.Next().value_or(Response{});
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.Header("Connection"), "close");
  EXPECT_TRUE(kept.ClosedWithin(2s));
  stopping.join();
  EXPECT_TRUE(OpenStore(dir_.File("links.db"))->FindAddress("http://drained.example/"));
}

}  // namespace
}  // namespace snipora::service
