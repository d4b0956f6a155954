#pragma once
// API keys: made from getrandom(2), shown once, kept only as a SHA-256
// digest. The keys in force are held in memory (a KeyRing) and checked in
// constant time, whatever the key and whichever of them it is; the ring is
// replaced when a key is added or revoked anywhere (links/change_feed.h).
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/app/routes.h"
#include "service/store/store.h"

namespace snipora::service {

// A new key's text: "snp_" and 64 hex digits (32 random bytes).
std::string NewKeyText();
// Its SHA-256, 32 bytes.
std::string KeyDigest(std::string_view key);

// Who a request's key says it is.
struct Caller {
  std::string name;  // the key's name
  Role role = Role::kCreator;
};

class KeyRing {
 public:
  // The keys in force: the revoked ones and unknown roles are left out.
  void Replace(const std::vector<KeyRecord>& keys);
  // The caller of a key; none for a wrong or revoked one. Compares the key's
  // digest with every key's, each in full.
  std::optional<Caller> Check(std::string_view key) const;

 private:
  struct Entry {
    std::string digest;
    Caller caller;
  };
  mutable std::mutex mutex_;
  std::shared_ptr<const std::vector<Entry>> entries_ = std::make_shared<std::vector<Entry>>();
};

}  // namespace snipora::service
