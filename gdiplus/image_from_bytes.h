#pragma once
// Decoding an image file held in a byte block into a GDI+ image.
#include <windows.h>

#include "runtime/byte_set.h"
#include "runtime/gdiplus_handles.h"

namespace snipora {

// The decoded image, 0 when the bytes are no image GDI+ can read or a PNG
// larger than the program's pictures may be (16384 a side, 16 Mi pixels). Frame 0 of
// `frameDimension` is selected when one is given, so an animated image shows
// its first frame. The stream and memory GDI+ reads from stay alive for the
// rest of the process: the image needs them for as long as it exists.
GpImage* LoadImageFromBytes(BytesView bytes, const GUID* frameDimension);

}  // namespace snipora
