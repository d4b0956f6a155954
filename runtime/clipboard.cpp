#include "runtime/clipboard.h"

#include <cstring>

namespace snipora {
namespace {

// A global block the clipboard has not taken yet.
class GlobalBlock {
 public:
  explicit GlobalBlock(HGLOBAL block) : block_(block) {}
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;
  ~GlobalBlock() {
    if (block_) GlobalFree(block_);
  }
  HGLOBAL get() const { return block_; }
  HGLOBAL release() {
    HGLOBAL b = block_;
    block_ = nullptr;
    return b;
  }

 private:
  HGLOBAL block_;
};

class OpenedClipboard {
 public:
  explicit OpenedClipboard(const ClipboardApi& api) : api_(api), open_(api.open(nullptr)) {}
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  ~OpenedClipboard() {
    if (open_) api_.close();
  }
  bool is_open() const { return open_; }

 private:
  const ClipboardApi& api_;
  bool open_;
};

}  // namespace

const ClipboardApi& SystemClipboard() {
  static const ClipboardApi api{OpenClipboard, EmptyClipboard, GlobalAlloc, SetClipboardData, CloseClipboard};
  return api;
}

bool SetClipboardText(TextView text, const ClipboardApi& api) {
  OpenedClipboard clipboard(api);
  if (!clipboard.is_open()) return false;
  api.empty();
  const std::size_t length = std::strlen(text.c_str());
  GlobalBlock block(api.allocate(GMEM_MOVEABLE | GMEM_ZEROINIT, length + 1));
  if (!block.get()) return false;
  void* bytes = GlobalLock(block.get());
  if (!bytes) return false;
  std::memcpy(bytes, text.c_str(), length + 1);
  GlobalUnlock(block.get());
  if (!api.hand_over(CF_TEXT, block.get())) return false;
  (void)block.release();  // the clipboard owns it now
  return true;
}

}  // namespace snipora
