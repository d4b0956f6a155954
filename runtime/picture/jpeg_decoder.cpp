// JPEG, decoded by libjpeg from memory, without the platform. libjpeg
// reports a fatal error by calling error_exit, whose default ends the
// process; ours jumps back to the call that started the step instead. No
// object with a destructor lives in a function between its setjmp and a jump
// back to it.
#include <csetjmp>
#include <cstring>
#include <cstdio>  // jpeglib.h needs FILE

#include <jerror.h>
#include <jpeglib.h>

#include "runtime/picture/argb.h"
#include "runtime/picture/pixel_canvas.h"

namespace snipora {
namespace {

// A normal progressive file has about ten scans; thousands of tiny ones
// would keep the decoder busy for minutes.
constexpr int kMostScans = 256;
// Enough for the coefficients of a progressive picture of the largest size.
constexpr long kMostWorkingMemory = 160L * 1024 * 1024;

struct JpegErrors {
  jpeg_error_mgr base;  // first: libjpeg hands back a pointer to it
  std::jmp_buf leave;
};

[[noreturn]] void LeaveDecoder(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->leave, 1);
}

void OnMessage(j_common_ptr info, int level) {
  if (level >= 0) return;  // trace messages
  // the library would go on and fill the rest with grey: a file cut short
  // gives no picture, as with the other formats
  if (info->err->msg_code == JWRN_JPEG_EOF) LeaveDecoder(info);
  ++info->err->num_warnings;
}

void Silent(j_common_ptr) {}

void OnProgress(j_common_ptr info) {
  if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMostScans)
    LeaveDecoder(info);
}

uint32_t FromCmyk(const uint8_t* p, bool inverted) {
  // files with the Adobe marker store ink amounts inverted
  const uint32_t c = inverted ? p[0] : 255 - p[0];
  const uint32_t m = inverted ? p[1] : 255 - p[1];
  const uint32_t y = inverted ? p[2] : 255 - p[2];
  const uint32_t k = inverted ? p[3] : 255 - p[3];
  return Argb(255, (c * k + 127) / 255, (m * k + 127) / 255, (y * k + 127) / 255);
}

class JpegSession {
 public:
  explicit JpegSession(std::span<const uint8_t> file) noexcept : file_(file) {
    info_.err = jpeg_std_error(&errors_.base);
    errors_.base.error_exit = LeaveDecoder;
    errors_.base.emit_message = OnMessage;
    errors_.base.output_message = Silent;
    progress_.progress_monitor = OnProgress;
  }
  JpegSession(const JpegSession&) = delete;  // libjpeg keeps pointers into it
  JpegSession& operator=(const JpegSession&) = delete;
  ~JpegSession() { jpeg_destroy_decompress(&info_); }

  // Reads the markers up to the first scan; false for a broken header.
  bool ReadHeader() {
    if (setjmp(errors_.leave)) return false;
    jpeg_create_decompress(&info_);
    info_.progress = &progress_;
    info_.mem->max_memory_to_use = kMostWorkingMemory;
    jpeg_mem_src(&info_, file_.data(), static_cast<unsigned long>(file_.size()));
    jpeg_read_header(&info_, TRUE);
    cmyk_ = info_.jpeg_color_space == JCS_CMYK || info_.jpeg_color_space == JCS_YCCK;
    info_.out_color_space = cmyk_ ? JCS_CMYK : JCS_EXT_BGRA;
    return true;
  }

  int64_t width() const { return info_.image_width; }
  int64_t height() const { return info_.image_height; }

  // Decodes every row into `pixels`, which hold the header's size.
  bool ReadPixels(std::span<uint32_t> pixels) {
    if (setjmp(errors_.leave)) return false;
    jpeg_start_decompress(&info_);
    if (info_.output_width != info_.image_width || info_.output_height != info_.image_height ||
        info_.output_components != 4 ||
        pixels.size() != std::size_t(info_.output_width) * std::size_t(info_.output_height))
      return false;
    while (info_.output_scanline < info_.output_height) {
      uint32_t* const first = pixels.data() + std::size_t(info_.output_scanline) * info_.output_width;
      JSAMPROW row = reinterpret_cast<JSAMPROW>(first);
      if (jpeg_read_scanlines(&info_, &row, 1) != 1) return false;
    }
    jpeg_finish_decompress(&info_);
    return true;
  }

  bool cmyk() const { return cmyk_; }
  bool invertedInk() const { return info_.saw_Adobe_marker; }

 private:
  std::span<const uint8_t> file_;
  jpeg_decompress_struct info_{};
  JpegErrors errors_{};
  jpeg_progress_mgr progress_{};
  bool cmyk_ = false;
};

}  // namespace

bool DecodeJpegPixels(std::span<const uint8_t> file, const CanvasFor& canvas) {
  if (file.size() < 2 || file[0] != 0xFF || file[1] != 0xD8) return false;
  JpegSession session(file);
  if (!session.ReadHeader()) return false;
  // sizes beyond the limits are turned down before memory is taken for them
  if (!PictureSizeAllowed(session.width(), session.height())) return false;
  const std::span<uint32_t> pixels = canvas(PictureSize{int32_t(session.width()), int32_t(session.height())});
  if (pixels.empty() || !session.ReadPixels(pixels)) return false;
  if (session.cmyk()) {
    const bool inverted = session.invertedInk();
    for (uint32_t& pixel : pixels) {
      uint8_t ink[4];
      std::memcpy(ink, &pixel, 4);
      pixel = FromCmyk(ink, inverted);
    }
  }
  return true;
}

}  // namespace snipora
