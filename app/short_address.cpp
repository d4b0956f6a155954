#include "app/short_address.h"

namespace snipora::app {
namespace {

constexpr char kStartMarker[] = "</b><br><small>[<a href=\"http://";
constexpr char kEndMarker[] = "\" target=\"_blank\">Open in new window</a>]</small></blockquote>";
static_assert(sizeof kStartMarker - 1 == 32 && sizeof kEndMarker - 1 == 62);

}  // namespace

Text CutShortAddress(TextView page) {
  const int32_t f = FindText(page, kStartMarker);
  if (f < 0) return Text();
  const int32_t start = f + TextLength(kStartMarker);
  const int32_t h = FindText(page, kEndMarker, start);
  if (h < 0) return Text();
  return MidText(page, start, h - start);
}

}  // namespace snipora::app
