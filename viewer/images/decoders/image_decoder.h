// One image file format: decides whether it accepts some bytes, then writes
// their pixels. The registry asks its decoders in registration order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace images {

struct DecodeContext {
  std::span<const uint8_t> bytes;  // decoders never read outside these
  int32_t width = 0;
  int32_t height = 0;
  int32_t output_depth = 0;  // 24 (RGB) or 32 (RGBA)
  int32_t source_depth = 0;
};

// Row order flag of decode().
inline constexpr int DecodeBottomToTop = 2;

// Images larger than this are refused while their header is read: an image's
// width and height are kept as 16-bit numbers, and the pixel count bounds the
// memory a few header bytes can make the program allocate (a 64 MB pixel
// buffer, and what the libraries need besides for such an image).
inline constexpr int64_t MaxImageSide = 32767;
inline constexpr int64_t MaxImagePixels = int64_t{1} << 24;

inline bool image_size_allowed(int64_t width, int64_t height) {
  return width >= 0 && height >= 0 && width <= MaxImageSide && height <= MaxImageSide &&
         width * height <= MaxImagePixels;
}

class ImageDecoder {
 public:
  virtual ~ImageDecoder() = default;
  // The format's short name ("BMP", "PNG", ...).
  virtual const char* name() const { return ""; }
  // On acceptance fills width, height and the depths and keeps what decode()
  // needs; on refusal keeps nothing.
  virtual bool accept(DecodeContext&) { return false; }
  // Writes height rows of width pixels, rows `pitch` bytes apart.
  virtual bool decode(DecodeContext&, uint8_t* /*pixels*/, size_t /*pitch*/, int /*flags*/) {
    return false;
  }
  // Frees what accept() kept.
  virtual void release(DecodeContext&) {}
};

}  // namespace images
