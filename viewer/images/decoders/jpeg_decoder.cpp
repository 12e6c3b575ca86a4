// JPEG through libjpeg. Colour and greyscale files come out as RGB exactly as
// coded (no scaling, no Exif orientation); four-component CMYK and YCCK files
// are converted to RGB here.
//
// libjpeg reports errors through an error-exit routine that must not return;
// ours jumps back to a setjmp point. The functions that set one (start_reading,
// read_pixels) hold only plain locals and call nothing that owns a resource,
// so the jump never skips a destructor.
#include <stdio.h>  // jpeglib.h needs FILE and size_t first

#include <jpeglib.h>

#include <csetjmp>
#include <cstring>
#include <span>

#include "images/decoders/decoder_registry.h"
#include "images/decoders/decoders.h"
#include "images/decoders/pixel_rows.h"

namespace images {

namespace {

// The message numbers a caller may add to the library's own (none are used).
constexpr int FirstAddonMessage = 1000;
constexpr int LastAddonMessage = 1018;

struct JpegErrors {
  jpeg_error_mgr manager;  // first, so the library's pointer to it is ours
  jmp_buf jump;
};

// The decompression object of one image, with its error manager and the
// one-row sample buffer the library fills.
struct JpegReader {
  jpeg_decompress_struct info{};
  JpegErrors errors{};
  JSAMPARRAY row = nullptr;
  bool cmyk = false;
  bool cmyk_inverted = false;

  JpegReader() = default;
  JpegReader(const JpegReader&) = delete;
  JpegReader& operator=(const JpegReader&) = delete;
  // Safe on an object whose creation failed part-way: the library checks.
  ~JpegReader() { jpeg_destroy_decompress(&info); }
};

void fail_jpeg(j_common_ptr info) {
  longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

// Counts warnings (level -1) as the standard routine does, but never prints:
// with trace level -1 the standard one would print nothing either.
void count_jpeg_message(j_common_ptr info, int level) {
  if (level < 0) ++info->err->num_warnings;
}

void drop_jpeg_message(j_common_ptr) {}

void set_up_errors(JpegReader* reader) {
  jpeg_error_mgr* errors = jpeg_std_error(&reader->errors.manager);
  errors->error_exit = fail_jpeg;
  errors->emit_message = count_jpeg_message;
  errors->output_message = drop_jpeg_message;
  errors->trace_level = -1;
  errors->addon_message_table = nullptr;
  errors->first_addon_message = FirstAddonMessage;
  errors->last_addon_message = LastAddonMessage;
  reader->info.err = errors;
}

// Reads the header and starts decompression. The memory source hands the
// library the whole data at once; when it asks for more, the source warns
// (silently) and supplies a fake end-of-image marker.
bool start_reading(JpegReader* reader, std::span<const uint8_t> bytes) {
  j_decompress_ptr info = &reader->info;
  if (setjmp(reader->errors.jump)) return false;
  jpeg_create_decompress(info);
  jpeg_mem_src(info, bytes.data(), bytes.size());
  if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK) return false;
  info->dct_method = JDCT_ISLOW;
  if (info->jpeg_color_space == JCS_GRAYSCALE) info->out_color_space = JCS_RGB;
  jpeg_calc_output_dimensions(info);
  if (!image_size_allowed(info->output_width, info->output_height)) return false;
  reader->cmyk = info->out_color_space == JCS_CMYK && info->output_components == 4;
  // Adobe's writers store CMYK inverted, and they mark their files.
  reader->cmyk_inverted = reader->cmyk && info->saw_Adobe_marker;
  if (info->output_components != 3 && !reader->cmyk) return false;
  JDIMENSION row_size = (info->output_width * info->output_components + 3) & ~3u;
  reader->row = (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE,
                                           row_size, 1);
  return jpeg_start_decompress(info);
}

void cmyk_to_rgb(const JSAMPLE* in, uint8_t* out, JDIMENSION width, bool inverted) {
  for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
    unsigned c = in[0], m = in[1], y = in[2], k = in[3];
    if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    out[0] = static_cast<uint8_t>((c * k + 127) / 255);
    out[1] = static_cast<uint8_t>((m * k + 127) / 255);
    out[2] = static_cast<uint8_t>((y * k + 127) / 255);
  }
}

bool read_pixels(JpegReader* reader, uint8_t* pixels, size_t pitch, int flags) {
  j_decompress_ptr info = &reader->info;
  int32_t height = static_cast<int32_t>(info->output_height);
  JDIMENSION width = info->output_width;
  if (setjmp(reader->errors.jump)) return false;
  for (int32_t i = 0; i < height; ++i) {
    uint8_t* out = target_row(pixels, pitch, height, i, flags);
    if (jpeg_read_scanlines(info, reader->row, 1) != 1) return false;
    if (reader->cmyk)
      cmyk_to_rgb(reader->row[0], out, width, reader->cmyk_inverted);
    else
      std::memcpy(out, reader->row[0], static_cast<size_t>(width) * 3);
  }
  jpeg_finish_decompress(info);
  return true;
}

class JpegDecoder final : public ImageDecoder {
 public:
  const char* name() const override { return "JPEG"; }
  bool accept(DecodeContext& context) override;
  bool decode(DecodeContext&, uint8_t* pixels, size_t pitch, int flags) override {
    return reader_ && read_pixels(reader_.get(), pixels, pitch, flags);
  }
  void release(DecodeContext&) override { reader_.reset(); }

 private:
  std::unique_ptr<JpegReader> reader_;
};

bool JpegDecoder::accept(DecodeContext& context) {
  if (context.bytes.size() < 2 || context.bytes[0] != 0xFF || context.bytes[1] != 0xD8) return false;
  auto reader = std::make_unique<JpegReader>();
  set_up_errors(reader.get());
  if (!start_reading(reader.get(), context.bytes)) return false;
  context.width = static_cast<int32_t>(reader->info.output_width);
  context.height = static_cast<int32_t>(reader->info.output_height);
  context.output_depth = 24;
  context.source_depth = reader->info.output_components * 8;
  reader_ = std::move(reader);
  return true;
}

}  // namespace

std::unique_ptr<ImageDecoder> make_jpeg_decoder() { return std::make_unique<JpegDecoder>(); }

void register_jpeg_decoder() {
  register_decoder_once(make_jpeg_decoder());
}

}  // namespace images
