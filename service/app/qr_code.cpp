#include "service/app/qr_code.h"

#include <png.h>
#include <qrencode.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

namespace snipora::service {
namespace {

// A whole number of at most four digits, nothing else (no sign, no spaces).
std::optional<int> SmallNumber(std::string_view text) {
  if (text.empty() || text.size() > 4) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

QRecLevel LibraryLevel(QrLevel level) {
  switch (level) {
    case QrLevel::kL: return QR_ECLEVEL_L;
    case QrLevel::kQ: return QR_ECLEVEL_Q;
    case QrLevel::kH: return QR_ECLEVEL_H;
    case QrLevel::kM: break;
  }
  return QR_ECLEVEL_M;
}

char LevelLetter(QrLevel level) {
  switch (level) {
    case QrLevel::kL: return 'L';
    case QrLevel::kQ: return 'Q';
    case QrLevel::kH: return 'H';
    case QrLevel::kM: break;
  }
  return 'M';
}

struct QrCodeFree {
  void operator()(QRcode* code) const { QRcode_free(code); }
};
using QrCodePtr = std::unique_ptr<QRcode, QrCodeFree>;

// The modules with the quiet zone around them, and the pixels of one module.
struct Layout {
  const QRcode& code;
  int margin;
  int modules;  // a side, quiet zone included
  int scale;
  int pixels() const { return modules * scale; }
  bool Dark(int x, int y) const {
    x -= margin;
    y -= margin;
    if (x < 0 || y < 0 || x >= code.width || y >= code.width) return false;
    return code.data[std::size_t(y) * std::size_t(code.width) + std::size_t(x)] & 1;
  }
};

std::string Svg(const Layout& layout) {
  const std::string side = std::to_string(layout.modules);
  const std::string pixels = std::to_string(layout.pixels());
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + pixels + "\" height=\"" + pixels +
                    "\" viewBox=\"0 0 " + side + " " + side + "\" shape-rendering=\"crispEdges\">"
                    "<rect width=\"" + side + "\" height=\"" + side + "\" fill=\"#fff\"/><path fill=\"#000\" d=\"";
  // one rectangle per run of dark modules in a row
  for (int y = layout.margin; y < layout.modules - layout.margin; ++y) {
    for (int x = layout.margin; x < layout.modules - layout.margin;) {
      if (!layout.Dark(x, y)) {
        ++x;
        continue;
      }
      int run = 1;
      while (layout.Dark(x + run, y)) ++run;
      const std::string length = std::to_string(run);
      svg += "M" + std::to_string(x) + " " + std::to_string(y) + "h" + length + "v1h-" + length + "z";
      x += run;
    }
  }
  svg += "\"/></svg>\n";
  return svg;
}

// Where libpng's output goes. Trivially destructible: libpng may longjmp
// across the callback that fills it.
struct PngSink {
  std::string* out;
  bool outOfMemory;
};

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
  try {
    sink->out->append(reinterpret_cast<const char*>(data), length);
  } catch (const std::bad_alloc&) {
    sink->outOfMemory = true;
  }
  // outside the try block, with nothing left to destroy on the way out
  if (sink->outOfMemory) png_error(png, "out of memory");
}

void PngFlush(png_structp) {}

// libpng's messages would go to standard error; a failure is answered instead.
void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

// The one frame libpng's errors jump back to: it holds no object with a
// destructor, so the jump skips none.
bool WritePng(png_structp png, png_infop info, png_uint_32 pixels, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, pixels, pixels, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

class PngWriter {
 public:
  PngWriter() {
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~PngWriter() { png_destroy_write_struct(&png_, info_ ? &info_ : nullptr); }
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;
  bool ready() const { return png_ && info_; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

std::optional<std::string> Png(const Layout& layout) {
  // 1-bit grey, 0 black: one packed row per row of modules, shared by the
  // `scale` rows of pixels it makes
  const std::size_t rowBytes = (std::size_t(layout.pixels()) + 7) / 8;
  std::vector<png_byte> modules(rowBytes * std::size_t(layout.modules), 0xFF);
  for (int y = 0; y < layout.modules; ++y) {
    png_byte* row = &modules[rowBytes * std::size_t(y)];
    for (int x = 0; x < layout.modules; ++x) {
      if (!layout.Dark(x, y)) continue;
      for (int p = x * layout.scale; p < (x + 1) * layout.scale; ++p) row[p / 8] &= png_byte(~(0x80u >> (p % 8)));
    }
  }
  std::vector<png_bytep> rows(std::size_t(layout.pixels()));
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = &modules[rowBytes * (i / std::size_t(layout.scale))];

  PngWriter writer;
  if (!writer.ready()) return std::nullopt;
  std::string out;
  out.reserve(1024);
  PngSink sink{&out, false};
  png_set_write_fn(writer.png(), &sink, PngWrite, PngFlush);
  if (!WritePng(writer.png(), writer.info(), png_uint_32(layout.pixels()), rows.data())) return std::nullopt;
  return out;
}

uint64_t Fnv1a(std::string_view text) {
  uint64_t hash = 0xcbf29ce484222325u;
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3u;
  }
  return hash;
}

}  // namespace

std::optional<QrOptions> ReadQrOptions(const std::vector<Field>& fields, std::string* why) {
  QrOptions options;
  if (const std::string* format = FindField(fields, "format")) {
    if (*format == "svg") {
      options.format = QrFormat::kSvg;
    } else if (*format == "png") {
      options.format = QrFormat::kPng;
    } else {
      *why = "format is svg or png.";
      return std::nullopt;
    }
  }
  if (const std::string* size = FindField(fields, "size")) {
    const std::optional<int> value = SmallNumber(*size);
    if (!value || *value < kQrMinSize || *value > kQrMaxSize) {
      *why = "size is a number of pixels from " + std::to_string(kQrMinSize) + " to " + std::to_string(kQrMaxSize) +
             ".";
      return std::nullopt;
    }
    options.size = *value;
  }
  if (const std::string* margin = FindField(fields, "margin")) {
    const std::optional<int> value = SmallNumber(*margin);
    if (!value || *value > kQrMaxMargin) {
      *why = "margin is a number of modules from 0 to " + std::to_string(kQrMaxMargin) + ".";
      return std::nullopt;
    }
    options.margin = *value;
  }
  if (const std::string* level = FindField(fields, "errorCorrection")) {
    if (*level == "L") {
      options.level = QrLevel::kL;
    } else if (*level == "M") {
      options.level = QrLevel::kM;
    } else if (*level == "Q") {
      options.level = QrLevel::kQ;
    } else if (*level == "H") {
      options.level = QrLevel::kH;
    } else {
      *why = "errorCorrection is L, M, Q or H.";
      return std::nullopt;
    }
  }
  return options;
}

const char* QrContentType(QrFormat format) {
  return format == QrFormat::kPng ? "image/png" : "image/svg+xml";
}

std::optional<QrImage> DrawQrCode(std::string_view text, const QrOptions& options) {
  if (text.empty() || text.find('\0') != std::string_view::npos) return std::nullopt;
  try {
    const std::string terminated(text);
    // 8-bit data where needed: the codes are case-sensitive
    const QrCodePtr code(QRcode_encodeString(terminated.c_str(), 0, LibraryLevel(options.level), QR_MODE_8, 1));
    if (!code || code->width <= 0) return std::nullopt;
    const int margin = std::clamp(options.margin, 0, kQrMaxMargin);
    const int modules = code->width + 2 * margin;
    const Layout layout{*code, margin, modules, std::max(1, std::clamp(options.size, kQrMinSize, kQrMaxSize) / modules)};
    QrImage image;
    image.pixels = layout.pixels();
    if (options.format == QrFormat::kSvg) {
      image.bytes = Svg(layout);
    } else {
      std::optional<std::string> png = Png(layout);
      if (!png) return std::nullopt;
      image.bytes = std::move(*png);
    }
    return image;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::string QrEtag(std::string_view code, std::string_view text, const QrOptions& options) {
  // the text (the public host with the code) is in the hash: a service moved
  // to another host draws other codes
  constexpr char kHex[] = "0123456789abcdef";
  std::string hash(16, '0');
  uint64_t value = Fnv1a(text);
  for (int i = 15; i >= 0; --i, value >>= 4) hash[std::size_t(i)] = kHex[value & 15];
  return "\"qr-" + std::string(code) + (options.format == QrFormat::kPng ? "-png-" : "-svg-") +
         std::to_string(options.size) + "-" + std::to_string(options.margin) + "-" + LevelLetter(options.level) + "-" +
         hash + "\"";
}

bool EtagMatches(std::string_view ifNoneMatch, std::string_view etag) {
  while (!ifNoneMatch.empty()) {
    const std::size_t comma = ifNoneMatch.find(',');
    std::string_view tag = ifNoneMatch.substr(0, comma);
    ifNoneMatch = comma == std::string_view::npos ? std::string_view() : ifNoneMatch.substr(comma + 1);
    while (!tag.empty() && (tag.front() == ' ' || tag.front() == '\t')) tag.remove_prefix(1);
    while (!tag.empty() && (tag.back() == ' ' || tag.back() == '\t')) tag.remove_suffix(1);
    if (tag == "*") return true;
    // If-None-Match compares weakly
    if (tag.starts_with("W/")) tag.remove_prefix(2);
    if (tag == etag) return true;
  }
  return false;
}

}  // namespace snipora::service
