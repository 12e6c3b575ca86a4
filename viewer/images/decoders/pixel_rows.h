// Where a decoder puts image row `row` (0 = top) in the caller's buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "images/decoders/image_decoder.h"

inline uint8_t* target_row(uint8_t* pixels, size_t pitch, int32_t height, int32_t row,
                           int flags) {
  int32_t index = (flags & DecodeBottomToTop) ? height - 1 - row : row;
  return pixels + static_cast<size_t>(index) * pitch;
}
