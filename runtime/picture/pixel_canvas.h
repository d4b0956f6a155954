#pragma once
// Where the decoders that produce pixels themselves (PCX, JPEG) write them.
// They are platform-neutral: the caller hands them a canvas, a painting
// bitmap on Windows or plain memory in a test.
#include <cstdint>
#include <functional>
#include <span>

#include "runtime/picture/picture_limits.h"

namespace snipora {

// Asked once, after the file's claims have been checked against the limits,
// for width * height pixels (rows top to bottom, Argb() values, every one
// written by the decoder); an empty span refuses, and decoding stops.
using CanvasFor = std::function<std::span<uint32_t>(PictureSize size)>;

// Each is given the whole file and trusts nothing in it: false for anything
// malformed, cut short or beyond the limits.
bool DecodePcxPixels(std::span<const uint8_t> file, const CanvasFor& canvas);
bool DecodeJpegPixels(std::span<const uint8_t> file, const CanvasFor& canvas);

}  // namespace snipora
