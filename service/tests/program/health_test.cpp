// /healthz on a disk that fills up: 503 naming the full disk while the
// creations fail for space, 200 for redirects meanwhile, and ok again by
// itself once there is room.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "service/tests/support/http_client.h"

namespace snipora::service {
namespace {

using namespace std::chrono_literals;
using test::Get;

// A small tmpfs of its own, unmounted at the end; mounting needs root.
class SmallDisk {
 public:
  explicit SmallDisk(const std::filesystem::path& path) : path_(path) {
    std::filesystem::create_directory(path_);
    mounted_ = mount("tmpfs", path_.c_str(), "tmpfs", 0, "size=600k") == 0;
  }
  ~SmallDisk() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  // Writes a file until the disk refuses more.
  void Fill(const std::filesystem::path& file) {
    std::FILE* out = std::fopen(file.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    const std::string block(4096, 'x');
    while (std::fwrite(block.data(), 1, block.size(), out) == block.size() && std::fflush(out) == 0) {
    }
    std::fclose(out);
  }

 private:
  std::filesystem::path path_;
  bool mounted_ = false;
};

std::string Creation(int i) {
  return "/api-create.php?format=simple&url=" + test::Escape("https://full.example/" + std::to_string(i));
}

TEST(Health, AFullDiskIsNamedWhileCreationsFailForSpaceAndClearsByItselfOnceThereIsRoom) {
  test::TempDir dir;
  SmallDisk disk(dir.path() / "disk");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  Settings settings = test::TestSettings(dir);
  settings.database = (dir.path() / "disk" / "links.db").string();
  Service service(settings, nullptr, nullptr);
  const uint16_t port = service.port();
  const test::Response first = Get(port, Creation(0));
  ASSERT_EQ(first.status, 200);
  const std::string cached = first.body.substr(first.body.rfind('/') + 1);
  ASSERT_EQ(Get(port, "/healthz").body, "ok\n");

  disk.Fill(dir.path() / "disk" / "ballast");
  int refused = 0;
  for (int i = 1; i < 3000 && refused == 0; ++i)
    if (Get(port, Creation(i)).status == 503) ++refused;
  ASSERT_GT(refused, 0) << "the full disk never refused a creation";
  const test::Response full = Get(port, "/healthz");
  EXPECT_EQ(full.status, 503);
  EXPECT_EQ(full.body, "the disk is full: the last creations failed for space\n");
  const test::Response redirects = Get(port, "/healthz?ready=redirects");
  EXPECT_EQ(redirects.status, 200);
  EXPECT_EQ(Get(port, "/" + cached).status, 301);

  // room again, and no creation asked: a load balancer that took the
  // instance out sends none until it says ok
  std::filesystem::remove(dir.path() / "disk" / "ballast");
  int status = 0;
  for (int i = 0; i < 100 && status != 200; ++i) {
    std::this_thread::sleep_for(100ms);
    status = Get(port, "/healthz").status;
  }
  EXPECT_EQ(status, 200);
  EXPECT_EQ(Get(port, Creation(5000)).status, 200);
}

}  // namespace
}  // namespace snipora::service
