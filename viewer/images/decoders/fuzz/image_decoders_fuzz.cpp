// libFuzzer target: arbitrary bytes through identify_image and decode_pixels
// with all six decoders registered in start-up order.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "images/decoders/decoder_registry.h"
#include "images/decoders/decoders.h"
#include "images/decoders/pixel_rows.h"

using namespace images;

namespace {

// Decoding is skipped (the decoder only released) above this many pixels:
// a few header bytes can ask for 64 million, which would make each run slow
// without reaching any code the smaller images do not.
constexpr int64_t MaxFuzzPixels = int64_t{1} << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (register_standard_decoders(), true);
  (void)registered;
  if (!identify_image({data, size})) return 0;
  const DecodeContext& c = decode_context();
  if (int64_t{c.width} * c.height > MaxFuzzPixels) {
    release_decoder();
    return 0;
  }
  // The image layer's layout: 4-byte rows at depth 24, height + 1 rows.
  size_t pitch = row_pitch(c.width, c.output_depth);
  std::vector<uint8_t> pixels(pitch * (size_t(c.height) + 1));
  // The last byte picks the row order, so both orders are explored.
  int flags = size > 0 && (data[size - 1] & 1) ? DecodeBottomToTop : 0;
  decode_pixels(pixels.data(), pitch, flags);
  return 0;
}
