// PNG through libpng. Every colour type and bit depth comes out as 8-bit RGB,
// or RGBA when the image has an alpha channel or a transparent colour.
//
// libpng reports errors by jumping back to a setjmp point. The functions that
// set one (read_header, read_pixels) hold only plain locals and call nothing
// that owns a resource, so the jump never skips a destructor.
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "images/decoders/decoder_registry.h"
#include "images/decoders/decoders.h"
#include "images/decoders/memory_reader.h"
#include "images/decoders/pixel_rows.h"

namespace images {

namespace {

constexpr size_t SignatureSize = 8;

// The libpng objects of one image and the window of memory they read.
struct PngReader {
  png_structp png = nullptr;
  png_infop info = nullptr;
  MemoryReader memory;
  int passes = 1;

  PngReader() = default;
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;
  ~PngReader() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
};

struct PngHeader {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bit_depth = 0;
  int colour_type = 0;
  int channels = 0;
};

void fail_png(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void ignore_png_warning(png_structp, png_const_charp) {}

void read_png_memory(png_structp png, png_bytep out, size_t count) {
  auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
  if (reader->memory.remaining() < count) png_error(png, "data ends early");
  reader->memory.read(out, count);
}

bool read_header(PngReader* reader, PngHeader* header) {
  png_structp png = reader->png;
  png_infop info = reader->info;
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  header->width = png_get_image_width(png, info);
  header->height = png_get_image_height(png, info);
  header->bit_depth = png_get_bit_depth(png, info);
  header->colour_type = png_get_color_type(png, info);
  if (!image_size_allowed(header->width, header->height)) return false;

  if (header->colour_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (header->colour_type == PNG_COLOR_TYPE_GRAY && header->bit_depth < 8)
    png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (header->bit_depth == 16) png_set_scale_16(png);
  if (!(header->colour_type & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
  reader->passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  header->channels = png_get_channels(png, info);
  return header->channels == 3 || header->channels == 4;
}

// Interlaced images are read pass by pass straight into the caller's rows,
// where each pass adds its pixels to those of the passes before.
bool read_pixels(PngReader* reader, uint8_t* pixels, size_t pitch, int32_t height, int flags) {
  png_structp png = reader->png;
  int passes = reader->passes;
  if (setjmp(png_jmpbuf(png))) return false;
  for (int pass = 0; pass < passes; ++pass)
    for (int32_t y = 0; y < height; ++y)
      png_read_row(png, target_row(pixels, pitch, height, y, flags), nullptr);
  return true;
}

class PngDecoder final : public ImageDecoder {
 public:
  const char* name() const override { return "PNG"; }
  bool accept(DecodeContext& context) override;
  bool decode(DecodeContext& context, uint8_t* pixels, size_t pitch, int flags) override {
    return reader_ && read_pixels(reader_.get(), pixels, pitch, context.height, flags);
  }
  void release(DecodeContext&) override { reader_.reset(); }

 private:
  std::unique_ptr<PngReader> reader_;
};

bool PngDecoder::accept(DecodeContext& context) {
  if (context.bytes.size() < SignatureSize || png_sig_cmp(context.bytes.data(), 0, SignatureSize)) return false;
  auto reader = std::make_unique<PngReader>();
  reader->memory.bytes = context.bytes;
  reader->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, fail_png, ignore_png_warning);
  if (!reader->png) return false;
  reader->info = png_create_info_struct(reader->png);
  if (!reader->info) return false;
  png_set_read_fn(reader->png, reader.get(), read_png_memory);
  png_set_user_limits(reader->png, MaxImageSide, MaxImageSide);
  PngHeader header;
  if (!read_header(reader.get(), &header)) return false;

  context.width = static_cast<int32_t>(header.width);
  context.height = static_cast<int32_t>(header.height);
  context.output_depth = header.channels * 8;
  switch (header.colour_type) {
    case PNG_COLOR_TYPE_RGB:
      context.source_depth = 24;
      break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      context.source_depth = 32;
      break;
    default:  // grey, palette, grey with alpha
      context.source_depth = header.bit_depth;
      break;
  }
  reader_ = std::move(reader);
  return true;
}

}  // namespace

std::unique_ptr<ImageDecoder> make_png_decoder() { return std::make_unique<PngDecoder>(); }

void register_png_decoder() {
  register_decoder_once(make_png_decoder());
}

}  // namespace images
