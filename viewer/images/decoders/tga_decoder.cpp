// Truevision TGA true-colour images, uncompressed (type 2) or run-length
// encoded (type 10), decoded here without a library. 15/16-bit (5-5-5) and
// 24-bit pixels give RGB, 32-bit pixels give RGBA.
#include <optional>

#include "images/decoders/decoder_registry.h"
#include "images/decoders/decoders.h"
#include "images/decoders/little_endian.h"
#include "images/decoders/pixel_rows.h"

namespace images {

namespace {

constexpr size_t HeaderSize = 18;
constexpr uint8_t TrueColour = 2;
constexpr uint8_t RunLengthTrueColour = 10;
constexpr uint8_t RightToLeft = 0x10;  // image descriptor bits
constexpr uint8_t TopToBottom = 0x20;


struct TgaLayout {
  int32_t width = 0;
  int32_t height = 0;
  uint8_t pixel_depth = 0;
  bool run_length = false;
  bool top_to_bottom = false;
  bool right_to_left = false;
  size_t pixel_offset = 0;
};

class TgaDecoder final : public ImageDecoder {
 public:
  const char* name() const override { return "TGA"; }
  bool accept(DecodeContext& context) override;
  bool decode(DecodeContext& context, uint8_t* pixels, size_t pitch, int flags) override;
  void release(DecodeContext&) override { layout_.reset(); }

 private:
  std::optional<TgaLayout> layout_;
};

bool TgaDecoder::accept(DecodeContext& context) {
  const uint8_t* d = context.bytes.data();
  if (context.bytes.size() < HeaderSize) return false;
  uint8_t colour_map_type = d[1], image_type = d[2];
  // The format has no signature; a colour map type other than 0 or 1 shows
  // that the bytes are something else.
  if ((image_type != TrueColour && image_type != RunLengthTrueColour) || colour_map_type > 1)
    return false;
  TgaLayout layout;
  layout.width = le16(d + 12);
  layout.height = le16(d + 14);
  if (!image_size_allowed(layout.width, layout.height)) return false;
  layout.pixel_depth = d[16];
  layout.run_length = image_type == RunLengthTrueColour;
  layout.top_to_bottom = d[17] & TopToBottom;
  layout.right_to_left = d[17] & RightToLeft;
  // A true-colour image may still carry a colour map; it is skipped.
  size_t map_bytes = colour_map_type ? size_t{le16(d + 5)} * ((d[7] + 7u) / 8) : 0;
  layout.pixel_offset = HeaderSize + d[0] + map_bytes;

  context.width = layout.width;
  context.height = layout.height;
  context.output_depth = layout.pixel_depth == 32 ? 32 : 24;
  context.source_depth = layout.pixel_depth;
  layout_ = layout;
  return true;
}

bool TgaDecoder::decode(DecodeContext& context, uint8_t* pixels, size_t pitch, int flags) {
  if (!layout_) return false;
  const TgaLayout& l = *layout_;
  const size_t in_size = l.pixel_depth == 15 ? 2 : l.pixel_depth / 8u;
  if (l.pixel_depth != 15 && l.pixel_depth != 16 && l.pixel_depth != 24 && l.pixel_depth != 32)
    return false;
  const size_t out_size = context.output_depth / 8u;
  const uint8_t* d = context.bytes.data();
  const size_t length = context.bytes.size();
  const int64_t total = int64_t{l.width} * l.height;
  size_t pos = l.pixel_offset;
  int64_t index = 0;  // pixels in file order

  auto put = [&](const uint8_t* src) {
    int32_t file_row = static_cast<int32_t>(index / l.width);
    int32_t column = static_cast<int32_t>(index % l.width);
    int32_t row = l.top_to_bottom ? file_row : l.height - 1 - file_row;
    int32_t x = l.right_to_left ? l.width - 1 - column : column;
    uint8_t* out = target_row(pixels, pitch, l.height, row, flags) + x * out_size;
    if (in_size == 2) {
      uint16_t v = le16(src);
      out[0] = static_cast<uint8_t>((v >> 10 & 31) << 3);
      out[1] = static_cast<uint8_t>((v >> 5 & 31) << 3);
      out[2] = static_cast<uint8_t>((v & 31) << 3);
    } else {
      out[0] = src[2], out[1] = src[1], out[2] = src[0];
      if (in_size == 4) out[3] = src[3];
    }
    ++index;
  };

  if (!l.run_length) {
    while (index < total) {
      if (pos >= length || length - pos < in_size) return false;
      put(d + pos);
      pos += in_size;
    }
    return true;
  }
  // Packets may run across rows; a packet that runs past the last pixel is cut.
  while (index < total) {
    if (pos >= length) return false;
    uint8_t header = d[pos++];
    int64_t count = (header & 0x7F) + 1;
    if (header & 0x80) {
      if (length - pos < in_size) return false;
      for (int64_t i = 0; i < count && index < total; ++i) put(d + pos);
      pos += in_size;
    } else {
      for (int64_t i = 0; i < count && index < total; ++i) {
        if (pos >= length || length - pos < in_size) return false;
        put(d + pos);
        pos += in_size;
      }
    }
  }
  return true;
}

}  // namespace

std::unique_ptr<ImageDecoder> make_tga_decoder() { return std::make_unique<TgaDecoder>(); }

void register_tga_decoder() {
  register_decoder_once(make_tga_decoder());
}

}  // namespace images
