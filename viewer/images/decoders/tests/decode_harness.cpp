#include "images/decoders/tests/decode_harness.h"

#include <algorithm>
#include <memory>

#include "images/decoders/decoder_registry.h"
#include "images/decoders/decoders.h"

using namespace images;

namespace {
constexpr uint8_t Fill = 0xA5;
constexpr size_t RowSlack = 5;  // bytes after each row that no decoder may touch
constexpr size_t GuardSize = 64;
}  // namespace

void use_standard_decoders() {
  static const bool done = (register_standard_decoders(), true);
  (void)done;
}

Decoded decode_bytes(const std::vector<uint8_t>& data, int flags) {
  use_standard_decoders();
  Decoded result;
  auto copy = std::make_unique<uint8_t[]>(data.size());
  std::copy(data.begin(), data.end(), copy.get());
  result.accepted = identify_image({copy.get(), data.size()});
  result.context = decode_context();
  result.context.bytes = {};
  result.decoder = accepted_decoder_name();
  if (!result.accepted) return result;
  const DecodeContext& c = result.context;
  size_t row_bytes = size_t(c.width) * (c.output_depth / 8);
  result.pitch = row_bytes + RowSlack;
  result.buffer.assign(result.pitch * (size_t(c.height) + 1) + GuardSize, Fill);
  result.decoded = decode_pixels(result.buffer.data(), result.pitch, flags);
  for (size_t i = 0; i < result.buffer.size(); ++i) {
    size_t row = i / result.pitch, column = i % result.pitch;
    bool inside = row < size_t(c.height) && column < row_bytes;
    if (!inside && result.buffer[i] != Fill) result.wrote_outside = true;
  }
  return result;
}

RgbaImage Decoded::image() const {
  RgbaImage out{context.width, context.height, {}};
  out.rgba.resize(size_t(out.width) * out.height * 4);
  int channels = context.output_depth / 8;
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) {
      const uint8_t* s = &buffer[y * pitch + size_t(x) * channels];
      uint8_t* d = &out.rgba[(size_t(y) * out.width + x) * 4];
      d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = channels == 4 ? s[3] : 255;
    }
  return out;
}

bool Decoded::untouched() const {
  return std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == Fill; });
}

RgbaImage flipped(const RgbaImage& image) {
  RgbaImage out = image;
  size_t row = size_t(image.width) * 4;
  for (int y = 0; y < image.height; ++y)
    std::copy_n(&image.rgba[(image.height - 1 - y) * row], row, &out.rgba[y * row]);
  return out;
}
