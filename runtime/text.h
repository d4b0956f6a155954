#pragma once
// Texts: zero-terminated GBK byte strings; null is the empty text. Lengths and
// positions count bytes, positions are 1-based and "not found" is -1. Every
// text a primitive returns is a new block of the runtime heap, owned by a Text.
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>

namespace snipora {

class Text;

// A text argument: never null, so primitives read through it without tests.
class TextView {
 public:
  TextView(const char* text) noexcept : text_(text ? text : "") {}  // NOLINT: implicit by design
  TextView(const Text& text) noexcept;                                // NOLINT
  const char* c_str() const noexcept { return text_; }

 private:
  const char* text_;
};

// Owner of one text block; releases it when it goes.
class Text {
 public:
  Text() noexcept = default;
  static Text Adopt(char* block) noexcept { return Text(block); }
  Text(Text&& other) noexcept : block_(other.release()) {}
  Text& operator=(Text&& other) noexcept;
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  ~Text();

  const char* c_str() const noexcept { return block_ ? block_ : ""; }
  char* get() const noexcept { return block_; }  // null for the empty text
  bool empty() const noexcept { return !block_ || !*block_; }
  [[nodiscard]] char* release() noexcept {
    char* b = block_;
    block_ = nullptr;
    return b;
  }

 private:
  explicit Text(char* block) noexcept : block_(block) {}
  char* block_ = nullptr;
};

inline TextView::TextView(const Text& text) noexcept : text_(text.c_str()) {}

int32_t TextLength(TextView text);
// start absent: from the first byte. ignoreCase folds ASCII letters only.
int32_t FindText(TextView text, TextView sought, std::optional<int32_t> start = std::nullopt,
                 bool ignoreCase = false);
Text MidText(TextView text, int32_t start, int32_t count);
Text BlankText(int32_t count);
// Never the empty text: always a block, at least the terminating zero.
Text JoinText(std::initializer_list<TextView> parts);
template <class... Parts>
Text JoinText(const Parts&... parts) {
  return JoinText({TextView(parts)...});
}
// -1, 0 or 1 by unsigned bytes; null and "" are equal.
int32_t CompareText(TextView a, TextView b);

Text ToText(TextView text);
Text ToText(int32_t value);
Text ToText(int16_t value);
Text ToText(uint8_t value);
// A fixed byte buffer: the bytes before the first zero byte.
Text ToText(std::span<const uint8_t> bytes);

// New text block holding exactly these bytes (empty when count is 0).
Text TextFromBytes(const void* bytes, std::size_t count);

}  // namespace snipora
