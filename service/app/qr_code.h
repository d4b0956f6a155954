#pragma once
// The QR code of a short address, as SVG or PNG: libqrencode makes the
// modules, libpng writes the PNG into memory. What is drawn is bounded (a
// short address, at most 1024 pixels a side), so an image is a few kilobytes.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/core/request.h"

namespace snipora::service {

enum class QrFormat { kSvg, kPng };
enum class QrLevel { kL, kM, kQ, kH };  // error correction: 7, 15, 25, 30 % of the code may be lost

inline constexpr int kQrMinSize = 64;
inline constexpr int kQrMaxSize = 1024;
inline constexpr int kQrMaxMargin = 16;

struct QrOptions {
  QrFormat format = QrFormat::kSvg;
  int size = 300;   // pixels a side asked for
  int margin = 4;   // modules of quiet zone on each side
  QrLevel level = QrLevel::kM;
};

// The query's format, size, margin and errorCorrection over the defaults;
// other fields are left to others. Nothing, with a sentence for the person
// in `why`, when a value is unknown or out of bounds.
std::optional<QrOptions> ReadQrOptions(const std::vector<Field>& fields, std::string* why);

const char* QrContentType(QrFormat format);

struct QrImage {
  std::string bytes;
  int pixels = 0;  // width and height
};

// `text` as a QR code. Every module is a whole number of pixels: the largest
// that fits the size asked for, and at least one, so a dense code at a small
// size comes out larger than asked. Nothing when the text is too long for any
// QR code (or holds a NUL) or memory runs out.
std::optional<QrImage> DrawQrCode(std::string_view text, const QrOptions& options);

// A strong ETag for the image of `text` under `code` with these options.
std::string QrEtag(std::string_view code, std::string_view text, const QrOptions& options);
// Whether an If-None-Match value ("*", or a list of tags, weak ones
// included) names `etag`.
bool EtagMatches(std::string_view ifNoneMatch, std::string_view etag);

}  // namespace snipora::service
