// Windows and OS/2 bitmaps, decoded here without a library: 1-, 4- and 8-bit
// palette images, 8-bit run-length data, 16- and 32-bit pixels (5-5-5 and
// 8-8-8 unless the file gives its own bit masks) and 24-bit pixels.
#include <array>
#include <bit>
#include <optional>

#include "images/decoders/decoder_registry.h"
#include "images/decoders/decoders.h"
#include "images/decoders/little_endian.h"
#include "images/decoders/pixel_rows.h"

namespace images {

namespace {

constexpr uint32_t Uncompressed = 0;
constexpr uint32_t RunLength8 = 1;
constexpr uint32_t BitFields = 3;
constexpr uint32_t AlphaBitFields = 6;
constexpr size_t FileHeaderSize = 14;
constexpr size_t CoreHeaderSize = 12;  // OS/2 1.x: 16-bit width and height
constexpr size_t MaskOffset = 54;      // masks follow a 40-byte info header


using Rgb = std::array<uint8_t, 3>;

// One colour channel of a 16- or 32-bit pixel, widened or narrowed to 8 bits.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;

  explicit Channel(uint32_t m = 0) : mask(m) {
    if (!m) return;
    shift = std::countr_zero(m);
    bits = 32 - std::countl_zero(m >> shift);
  }
  uint8_t operator()(uint32_t pixel) const {
    uint32_t value = (pixel & mask) >> shift;
    return static_cast<uint8_t>(bits >= 8 ? value >> (bits - 8) : value << (8 - bits));
  }
};

struct BmpLayout {
  int32_t width = 0;
  int32_t height = 0;
  bool top_down = false;
  uint16_t bits_per_pixel = 0;
  uint32_t compression = Uncompressed;
  size_t pixel_offset = 0;
  std::array<Rgb, 256> palette{};
  std::array<Channel, 3> channels;
};

class BmpDecoder final : public ImageDecoder {
 public:
  const char* name() const override { return "BMP"; }
  bool accept(DecodeContext& context) override;
  bool decode(DecodeContext& context, uint8_t* pixels, size_t pitch, int flags) override;
  void release(DecodeContext&) override { layout_.reset(); }

 private:
  bool decode_uncompressed(const DecodeContext& context, uint8_t* pixels, size_t pitch,
                           int flags) const;
  bool decode_run_length(const DecodeContext& context, uint8_t* pixels, size_t pitch,
                         int flags) const;
  uint8_t* output_row(uint8_t* pixels, size_t pitch, int flags, int64_t file_row) const {
    int32_t row = layout_->top_down ? static_cast<int32_t>(file_row)
                                    : layout_->height - 1 - static_cast<int32_t>(file_row);
    return target_row(pixels, pitch, layout_->height, row, flags);
  }

  std::optional<BmpLayout> layout_;
};

bool BmpDecoder::accept(DecodeContext& context) {
  const uint8_t* d = context.bytes.data();
  size_t length = context.bytes.size();
  if (length < FileHeaderSize + 4 || d[0] != 'B' || d[1] != 'M' || le16(d + 6) || le16(d + 8))
    return false;
  BmpLayout layout;
  size_t header_size = le32(d + 14);
  int64_t width, height;
  bool core = header_size == CoreHeaderSize;
  if (core) {
    if (length < 26) return false;
    width = le16(d + 18);
    height = le16(d + 20);
    layout.bits_per_pixel = le16(d + 24);
  } else {
    if (length < 30) return false;
    width = static_cast<int32_t>(le32(d + 18));
    height = static_cast<int32_t>(le32(d + 22));
    layout.bits_per_pixel = le16(d + 28);
    if (header_size >= 20 && length >= 34) layout.compression = le32(d + 30);
  }
  // A negative height marks rows stored from the top down.
  layout.top_down = height < 0;
  if (height < 0) height = -height;
  if (!image_size_allowed(width, height)) return false;
  layout.width = static_cast<int32_t>(width);
  layout.height = static_cast<int32_t>(height);
  layout.pixel_offset = le32(d + 10);

  uint16_t bpp = layout.bits_per_pixel;
  if (bpp == 1) layout.palette[1] = {255, 255, 255};  // for files that omit their palette
  if (bpp >= 1 && bpp <= 8) {
    size_t entries = size_t{1} << bpp;
    if (!core && header_size >= 36 && length >= 50) {
      uint32_t used = le32(d + 46);
      if (used > 0 && used < entries) entries = used;
    }
    size_t entry_size = core ? 3 : 4;
    size_t start = FileHeaderSize + header_size;
    for (size_t i = 0; i < entries; ++i) {
      size_t at = start + i * entry_size;
      if (at < start || at + 3 > length) break;
      layout.palette[i] = {d[at + 2], d[at + 1], d[at]};
    }
  }
  uint32_t red = bpp == 16 ? 0x7C00 : 0xFF0000, green = bpp == 16 ? 0x03E0 : 0xFF00,
           blue = bpp == 16 ? 0x001F : 0xFF;
  bool masks_given = layout.compression == BitFields || layout.compression == AlphaBitFields;
  if (masks_given && (bpp == 16 || bpp == 32) && !core && length >= MaskOffset + 12) {
    red = le32(d + MaskOffset);
    green = le32(d + MaskOffset + 4);
    blue = le32(d + MaskOffset + 8);
  }
  layout.channels = {Channel(red), Channel(green), Channel(blue)};

  context.width = layout.width;
  context.height = layout.height;
  context.output_depth = 24;
  context.source_depth = bpp;
  layout_ = layout;
  return true;
}

bool BmpDecoder::decode(DecodeContext& context, uint8_t* pixels, size_t pitch, int flags) {
  if (!layout_) return false;
  switch (layout_->compression) {
    case Uncompressed:
    case BitFields:
    case AlphaBitFields:
      return decode_uncompressed(context, pixels, pitch, flags);
    case RunLength8:
      return layout_->bits_per_pixel == 8 && decode_run_length(context, pixels, pitch, flags);
    default:
      return false;
  }
}

bool BmpDecoder::decode_uncompressed(const DecodeContext& context, uint8_t* pixels, size_t pitch,
                                     int flags) const {
  const BmpLayout& l = *layout_;
  const uint32_t bpp = l.bits_per_pixel;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  const uint8_t* d = context.bytes.data();
  const size_t length = context.bytes.size();
  const uint64_t stride = (static_cast<uint64_t>(l.width) * bpp + 31) / 32 * 4;
  for (int64_t r = 0; r < l.height; ++r) {
    uint64_t start = l.pixel_offset + static_cast<uint64_t>(r) * stride;
    if (start >= length) return false;
    const uint8_t* src = d + start;
    uint64_t available = std::min<uint64_t>(stride, length - start);
    // Only pixels whose bytes are all present are written.
    int32_t count = static_cast<int32_t>(std::min<uint64_t>(l.width, available * 8 / bpp));
    uint8_t* out = output_row(pixels, pitch, flags, r);
    switch (bpp) {
      case 1:
      case 4:
      case 8: {
        const uint32_t per_byte = 8 / bpp, mask = (1u << bpp) - 1;
        for (int32_t x = 0; x < count; ++x) {
          uint32_t byte = src[x / per_byte];
          uint32_t shift = 8 - bpp * (x % per_byte + 1);
          const Rgb& c = l.palette[(byte >> shift) & mask];
          out[3 * x] = c[0], out[3 * x + 1] = c[1], out[3 * x + 2] = c[2];
        }
        break;
      }
      case 16:
      case 32:
        for (int32_t x = 0; x < count; ++x) {
          uint32_t value = bpp == 16 ? le16(src + 2 * x) : le32(src + 4 * x);
          out[3 * x] = l.channels[0](value);
          out[3 * x + 1] = l.channels[1](value);
          out[3 * x + 2] = l.channels[2](value);
        }
        break;
      case 24:
        for (int32_t x = 0; x < count; ++x) {
          out[3 * x] = src[3 * x + 2], out[3 * x + 1] = src[3 * x + 1], out[3 * x + 2] = src[3 * x];
        }
        break;
    }
    if (count < l.width) return false;
  }
  return true;
}

// Runs, absolute runs and delta moves that would leave the image are cut off
// at its edge; nothing wraps to the next row.
bool BmpDecoder::decode_run_length(const DecodeContext& context, uint8_t* pixels, size_t pitch,
                                   int flags) const {
  const BmpLayout& l = *layout_;
  const uint8_t* d = context.bytes.data();
  const size_t length = context.bytes.size();
  size_t pos = l.pixel_offset;
  int64_t x = 0, y = 0;
  auto put = [&](uint8_t index) {
    if (x < l.width && y < l.height) {
      uint8_t* out = output_row(pixels, pitch, flags, y) + 3 * x;
      const Rgb& c = l.palette[index];
      out[0] = c[0], out[1] = c[1], out[2] = c[2];
    }
    ++x;
  };
  while (y < l.height && pos < length && length - pos >= 2) {
    uint8_t count = d[pos], value = d[pos + 1];
    pos += 2;
    if (count > 0) {
      int64_t end = x + count;
      while (x < end && x < l.width) put(value);
      x = end;
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        return true;
      case 2:  // move right and up (towards later rows)
        if (length - pos < 2) return false;
        x += d[pos];
        y += d[pos + 1];
        pos += 2;
        break;
      default: {  // absolute run, padded to an even byte count
        size_t run = value;
        size_t present = std::min(run, length - pos);
        for (size_t i = 0; i < present; ++i) put(d[pos + i]);
        if (present < run) return false;
        pos += run + (run & 1);
        break;
      }
    }
  }
  return y >= l.height;
}

}  // namespace

std::unique_ptr<ImageDecoder> make_bmp_decoder() { return std::make_unique<BmpDecoder>(); }

void register_bmp_decoder() { register_decoder(make_bmp_decoder()); }

}  // namespace images
