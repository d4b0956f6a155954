#include "service/app/keys.h"

#include <nettle/memops.h>
#include <nettle/sha2.h>
#include <sys/random.h>

#include <stdexcept>

namespace snipora::service {

std::string NewKeyText() {
  unsigned char bytes[32];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) throw std::runtime_error("getrandom failed");
    got += std::size_t(n);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string key = "snp_";
  for (unsigned char byte : bytes) {
    key += kHex[byte >> 4];
    key += kHex[byte & 15];
  }
  return key;
}

std::string KeyDigest(std::string_view key) {
  sha256_ctx context;
  sha256_init(&context);
  sha256_update(&context, key.size(), reinterpret_cast<const uint8_t*>(key.data()));
  std::string digest(SHA256_DIGEST_SIZE, '\0');
  sha256_digest(&context, SHA256_DIGEST_SIZE, reinterpret_cast<uint8_t*>(digest.data()));
  return digest;
}

void KeyRing::Replace(const std::vector<KeyRecord>& keys) {
  auto entries = std::make_shared<std::vector<Entry>>();
  for (const KeyRecord& key : keys) {
    if (key.revoked || key.digest.size() != SHA256_DIGEST_SIZE) continue;
    if (key.role == "admin")
      entries->push_back({key.digest, {key.name, Role::kAdmin}});
    else if (key.role == "creator")
      entries->push_back({key.digest, {key.name, Role::kCreator}});
  }
  std::lock_guard lock(mutex_);
  entries_ = std::move(entries);
}

std::optional<Caller> KeyRing::Check(std::string_view key) const {
  const std::string digest = KeyDigest(key);
  std::shared_ptr<const std::vector<Entry>> entries;
  {
    std::lock_guard lock(mutex_);
    entries = entries_;
  }
  // every entry compared in full, the match remembered without a branch on
  // where it was
  const Entry* match = nullptr;
  for (const Entry& entry : *entries) {
    const bool same = memeql_sec(entry.digest.data(), digest.data(), SHA256_DIGEST_SIZE) != 0;
    match = same ? &entry : match;
  }
  if (!match) return std::nullopt;
  return match->caller;
}

}  // namespace snipora::service
