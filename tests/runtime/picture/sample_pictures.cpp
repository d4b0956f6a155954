#include "tests/runtime/picture/sample_pictures.h"

#include <algorithm>

namespace snipora::test {
namespace {

void Put16(ByteVector& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void Put32(ByteVector& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void PutBgr(ByteVector& out, uint32_t argb) {
  out.push_back(uint8_t(argb));
  out.push_back(uint8_t(argb >> 8));
  out.push_back(uint8_t(argb >> 16));
}
void PutRgb(ByteVector& out, uint32_t argb) {
  out.push_back(uint8_t(argb >> 16));
  out.push_back(uint8_t(argb >> 8));
  out.push_back(uint8_t(argb));
}
void Pad4(ByteVector& out, std::size_t rowStart) {
  while ((out.size() - rowStart) % 4) out.push_back(0);
}

void PutInfoHeader(ByteVector& out, int width, int height, int bitCount, uint32_t coloursUsed) {
  Put32(out, 40);
  Put32(out, uint32_t(width));
  Put32(out, uint32_t(height));
  Put16(out, 1);
  Put16(out, uint32_t(bitCount));
  Put32(out, 0);  // BI_RGB
  Put32(out, 0);
  Put32(out, 2835);
  Put32(out, 2835);
  Put32(out, coloursUsed);
  Put32(out, 0);
}

ByteVector BitmapFile(int width, int height, int bitCount, const std::vector<uint32_t>& palette,
                      const ByteVector& bits) {
  ByteVector out{'B', 'M'};
  const uint32_t offset = 14 + 40 + uint32_t(palette.size()) * 4;
  Put32(out, offset + uint32_t(bits.size()));
  Put32(out, 0);
  Put32(out, offset);
  PutInfoHeader(out, width, height, bitCount, uint32_t(palette.size()));
  for (uint32_t colour : palette) {
    PutBgr(out, colour);
    out.push_back(0);
  }
  out.insert(out.end(), bits.begin(), bits.end());
  return out;
}

// LZW codes, least significant bit first, as GIF packs them.
class CodeWriter {
 public:
  void Put(uint32_t code, int bits) {
    accumulator_ |= code << filled_;
    filled_ += bits;
    while (filled_ >= 8) {
      bytes_.push_back(uint8_t(accumulator_));
      accumulator_ >>= 8;
      filled_ -= 8;
    }
  }
  ByteVector Finish() {
    if (filled_) bytes_.push_back(uint8_t(accumulator_));
    return bytes_;
  }

 private:
  ByteVector bytes_;
  uint32_t accumulator_ = 0;
  int filled_ = 0;
};

void PutBe32(ByteVector& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

uint32_t Crc32(const uint8_t* bytes, std::size_t count) {
  uint32_t crc = 0xFFFFFFFF;
  for (std::size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320 ^ crc >> 1 : crc >> 1;
  }
  return ~crc;
}

void PutChunk(ByteVector& out, const char* type, const ByteVector& data) {
  PutBe32(out, uint32_t(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBe32(out, Crc32(out.data() + start, out.size() - start));
}

}  // namespace

ByteVector PngFile(const Pixels& pixels) {
  ByteVector raw;
  for (int y = 0; y < pixels.height; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < pixels.width; ++x) {
      const uint32_t argb = pixels.at(x, y);
      PutRgb(raw, argb);
      raw.push_back(uint8_t(argb >> 24));
    }
  }
  ByteVector zlib{0x78, 0x01};
  for (std::size_t i = 0; i == 0 || i < raw.size(); i += 0xFFFF) {
    const std::size_t n = std::min<std::size_t>(0xFFFF, raw.size() - i);
    zlib.push_back(i + n >= raw.size() ? 1 : 0);  // stored block, final or not
    Put16(zlib, uint32_t(n));
    Put16(zlib, uint32_t(~n & 0xFFFF));
    zlib.insert(zlib.end(), raw.begin() + i, raw.begin() + i + n);
  }
  uint32_t a = 1, b = 0;
  for (uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBe32(zlib, b << 16 | a);

  ByteVector header;
  PutBe32(header, uint32_t(pixels.width));
  PutBe32(header, uint32_t(pixels.height));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA
  ByteVector out{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  PutChunk(out, "IHDR", header);
  PutChunk(out, "IDAT", zlib);
  PutChunk(out, "IEND", {});
  return out;
}

ByteVector BitmapFile24(const Pixels& pixels) {
  ByteVector bits;
  for (int y = pixels.height - 1; y >= 0; --y) {
    const std::size_t rowStart = bits.size();
    for (int x = 0; x < pixels.width; ++x) PutBgr(bits, pixels.at(x, y));
    Pad4(bits, rowStart);
  }
  return BitmapFile(pixels.width, pixels.height, 24, {}, bits);
}

ByteVector BitmapFile8TopDown(int width, int height, const std::vector<uint32_t>& palette,
                              const std::vector<uint8_t>& indices) {
  ByteVector bits;
  for (int y = 0; y < height; ++y) {
    const std::size_t rowStart = bits.size();
    bits.insert(bits.end(), indices.begin() + y * width, indices.begin() + (y + 1) * width);
    Pad4(bits, rowStart);
  }
  return BitmapFile(width, -height, 8, palette, bits);
}

ByteVector PcxRunLength(const std::vector<uint8_t>& bytes) {
  ByteVector out;
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t run = 1;
    while (i + run < bytes.size() && bytes[i + run] == bytes[i] && run < 63) ++run;
    if (run > 1 || (bytes[i] & 0xC0) == 0xC0) {
      out.push_back(uint8_t(0xC0 | run));
      out.push_back(bytes[i]);
    } else {
      out.push_back(bytes[i]);
    }
    i += run;
  }
  return out;
}

ByteVector PcxFile(const PcxSample& pcx) {
  ByteVector out{0x0A, uint8_t(pcx.version), uint8_t(pcx.raw ? 0 : 1), uint8_t(pcx.bitsPerPixel)};
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, uint32_t(pcx.width - 1));
  Put16(out, uint32_t(pcx.height - 1));
  Put16(out, 72);
  Put16(out, 72);
  for (std::size_t i = 0; i < 16; ++i) PutRgb(out, i < pcx.headerPalette.size() ? pcx.headerPalette[i] : 0);
  out.push_back(0);
  out.push_back(uint8_t(pcx.planes));
  Put16(out, uint32_t(pcx.bytesPerLine));
  Put16(out, 1);
  out.resize(128, 0);
  const ByteVector data = pcx.raw ? pcx.lines : PcxRunLength(pcx.lines);
  out.insert(out.end(), data.begin(), data.end());
  if (pcx.vgaPalette) {
    out.push_back(0x0C);
    for (std::size_t i = 0; i < 256; ++i) PutRgb(out, i < pcx.vgaPalette->size() ? (*pcx.vgaPalette)[i] : 0);
  }
  return out;
}

ByteVector GifFile(int width, int height, const std::vector<uint32_t>& palette, const std::vector<uint8_t>& indices,
                   std::optional<uint8_t> transparent) {
  int tableBits = 1;
  while ((1u << tableBits) < palette.size()) ++tableBits;
  const int minimumCodeSize = std::max(2, tableBits);

  ByteVector out;
  const char* signature = transparent ? "GIF89a" : "GIF87a";
  out.insert(out.end(), signature, signature + 6);
  Put16(out, uint32_t(width));
  Put16(out, uint32_t(height));
  out.push_back(uint8_t(0x80 | (tableBits - 1) << 4 | (tableBits - 1)));
  out.push_back(0);  // background colour
  out.push_back(0);  // aspect ratio
  for (std::size_t i = 0; i < (std::size_t{1} << tableBits); ++i)
    PutRgb(out, i < palette.size() ? palette[i] : 0);
  if (transparent) out.insert(out.end(), {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, *transparent, 0x00});
  out.push_back(0x2C);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, uint32_t(width));
  Put16(out, uint32_t(height));
  out.push_back(0);
  out.push_back(uint8_t(minimumCodeSize));

  // Only literal codes, with a clear code before the table would grow a
  // code wider: a valid stream without a real compressor.
  const uint32_t clear = 1u << minimumCodeSize;
  const int codeBits = minimumCodeSize + 1;
  CodeWriter codes;
  uint32_t sinceClear = 0;
  codes.Put(clear, codeBits);
  for (uint8_t index : indices) {
    if (sinceClear == clear - 3) {
      codes.Put(clear, codeBits);
      sinceClear = 0;
    }
    codes.Put(index, codeBits);
    ++sinceClear;
  }
  codes.Put(clear + 1, codeBits);
  const ByteVector data = codes.Finish();
  for (std::size_t i = 0; i < data.size(); i += 255) {
    const std::size_t n = std::min<std::size_t>(255, data.size() - i);
    out.push_back(uint8_t(n));
    out.insert(out.end(), data.begin() + i, data.begin() + i + n);
  }
  out.push_back(0);
  out.push_back(0x3B);
  return out;
}

ByteVector IconFile(const std::vector<IconSample>& images, bool cursor) {
  std::vector<ByteVector> bodies;
  for (const IconSample& image : images) {
    const Pixels& p = image.pixels;
    if (image.png) {
      bodies.push_back(PngFile(p));
      continue;
    }
    ByteVector body;
    PutInfoHeader(body, p.width, p.height * 2, image.bitCount, 0);
    for (int y = p.height - 1; y >= 0; --y) {
      const std::size_t rowStart = body.size();
      for (int x = 0; x < p.width; ++x) {
        const uint32_t argb = p.at(x, y);
        const bool clear = (argb >> 24) == 0;
        PutBgr(body, image.bitCount == 24 && clear ? 0 : argb);
        if (image.bitCount == 32) body.push_back(uint8_t(argb >> 24));
      }
      Pad4(body, rowStart);
    }
    for (int y = p.height - 1; y >= 0; --y) {
      const std::size_t rowStart = body.size();
      for (int x = 0; x < p.width; x += 8) {
        uint8_t bits = 0;
        for (int b = 0; b < 8 && x + b < p.width; ++b)
          if (image.bitCount == 24 && (p.at(x + b, y) >> 24) == 0) bits |= uint8_t(0x80 >> b);
        body.push_back(bits);
      }
      Pad4(body, rowStart);
    }
    bodies.push_back(std::move(body));
  }

  ByteVector out;
  Put16(out, 0);
  Put16(out, cursor ? 2 : 1);
  Put16(out, uint32_t(images.size()));
  uint32_t offset = 6 + 16 * uint32_t(images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    const Pixels& p = images[i].pixels;
    out.push_back(uint8_t(p.width));
    out.push_back(uint8_t(p.height));
    out.push_back(0);
    out.push_back(0);
    Put16(out, 1);                                          // planes, or the hot spot's x
    Put16(out, cursor ? 1 : uint32_t(images[i].bitCount));  // bit count, or the hot spot's y
    Put32(out, uint32_t(bodies[i].size()));
    Put32(out, offset);
    offset += uint32_t(bodies[i].size());
  }
  for (const ByteVector& body : bodies) out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace snipora::test
