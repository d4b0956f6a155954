#include "service/app/webhook_signature.h"

#include <nettle/base64.h>
#include <nettle/hmac.h>

#include <cstdint>

namespace snipora::service {

std::optional<std::string> WebhookKey(std::string_view fileText) {
  while (!fileText.empty() && (fileText.back() == '\n' || fileText.back() == '\r')) fileText.remove_suffix(1);
  constexpr std::string_view kPrefix = "whsec_";
  if (!fileText.starts_with(kPrefix)) return std::string(fileText);
  const std::string_view encoded = fileText.substr(kPrefix.size());
  std::string key(BASE64_DECODE_LENGTH(encoded.size()), '\0');
  base64_decode_ctx context;
  base64_decode_init(&context);
  std::size_t length = key.size();
  if (encoded.empty() ||
      !base64_decode_update(&context, &length, reinterpret_cast<uint8_t*>(key.data()), encoded.size(), encoded.data()) ||
      !base64_decode_final(&context))
    return std::nullopt;
  key.resize(length);
  return key;
}

std::string SignWebhook(std::string_view key, std::string_view id, int64_t timestamp, std::string_view body) {
  hmac_sha256_ctx context;
  hmac_sha256_set_key(&context, key.size(), reinterpret_cast<const uint8_t*>(key.data()));
  const std::string stamp = std::to_string(timestamp);
  const auto update = [&](std::string_view part) {
    hmac_sha256_update(&context, part.size(), reinterpret_cast<const uint8_t*>(part.data()));
  };
  update(id);
  update(".");
  update(stamp);
  update(".");
  update(body);
  uint8_t digest[SHA256_DIGEST_SIZE];
  hmac_sha256_digest(&context, SHA256_DIGEST_SIZE, digest);
  std::string encoded(BASE64_ENCODE_RAW_LENGTH(SHA256_DIGEST_SIZE), '\0');
  base64_encode_raw(encoded.data(), SHA256_DIGEST_SIZE, digest);
  return "v1," + encoded;
}

}  // namespace snipora::service
