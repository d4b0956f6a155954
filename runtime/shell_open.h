#pragma once
// Opening a document or web address with the system's handler for it.
#include <cstdint>
#include <optional>

#include "runtime/text.h"

namespace snipora {

struct OpenOptions {
  // 1 edit, 2 explore, 3 find, 4 open, 5 print; anything else the default verb
  std::optional<int32_t> verb;
  std::optional<TextView> parameters;
  std::optional<TextView> directory;  // absent: the empty text
  // 1 hidden, 2 normal, 3 minimised, 4 maximised, 5 shown without
  // activation, 6 minimised; absent or other: normal
  std::optional<int32_t> show;
};

void OpenDocument(TextView target, const OpenOptions& options = {});

}  // namespace snipora
