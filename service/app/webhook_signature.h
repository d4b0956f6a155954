#pragma once
// Standard Webhooks signing: "v1," and the base64 of the HMAC-SHA256 of
// "ID.TIMESTAMP.BODY", keyed with the secret (nettle).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace snipora::service {

// The key a secret file's text stands for: "whsec_" and base64 decoded (as
// Standard Webhooks clients take it), else the bytes as they are; a final
// line end is no part of either. Nothing: whsec_ with no valid base64 after.
std::optional<std::string> WebhookKey(std::string_view fileText);

std::string SignWebhook(std::string_view key, std::string_view id, int64_t timestamp, std::string_view body);

}  // namespace snipora::service
