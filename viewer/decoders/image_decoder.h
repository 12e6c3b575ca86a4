// One image file format: decides whether it accepts some bytes, then writes
// their pixels. The registry asks its decoders in registration order.
#pragma once

#include <cstddef>
#include <cstdint>

struct DecodeContext {
  const uint8_t* data = nullptr;
  size_t length = 0;  // decoders never read beyond this
  int32_t width = 0;
  int32_t height = 0;
  int32_t output_depth = 0;  // 24 (RGB) or 32 (RGBA)
  int32_t source_depth = 0;
};

// Row order flag of decode().
inline constexpr int DecodeBottomToTop = 2;

class ImageDecoder {
 public:
  virtual ~ImageDecoder() = default;
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
