// The layout of the pixel buffer a decoder writes into: the distance between
// rows, and where each row goes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "images/decoders/image_decoder.h"

namespace images {

// The pitch the image layer gives an image: 4 bytes a pixel at depth 32;
// otherwise 3 bytes a pixel and width % 4 bytes more.
inline size_t row_pitch(int32_t width, int32_t depth) {
  return depth == 32 ? size_t(width) * 4 : size_t(width) * 3 + size_t(width % 4);
}

// Where a decoder puts image row `row` (0 = top) in the caller's buffer.
inline uint8_t* target_row(uint8_t* pixels, size_t pitch, int32_t height, int32_t row,
                           int flags) {
  int32_t index = (flags & DecodeBottomToTop) ? height - 1 - row : row;
  return pixels + static_cast<size_t>(index) * pitch;
}

}  // namespace images
