// Raw JPEG 2000 codestreams (no JP2 box wrapper) through OpenJPEG. The whole
// codestream is decoded while the data is examined, since only then is it
// known to be good; images of three or four equal-sized components are taken
// as RGB or RGBA.
#include <openjpeg.h>

#include <algorithm>
#include <cstring>

#include "images/decoders/decoder_registry.h"
#include "images/decoders/decoders.h"
#include "images/decoders/memory_reader.h"
#include "images/decoders/pixel_rows.h"
#include "runtime/owned.h"

namespace images {

namespace {

constexpr uint8_t CodestreamStart[] = {0xFF, 0x4F, 0xFF, 0x51};  // SOC, then SIZ
constexpr size_t SizeFieldsEnd = 42;  // SIZ up to its component count
// OpenJPEG sets up tens of kilobytes per tile while reading the header, so a
// few bytes that claim a huge grid of tiny tiles would cost gigabytes.
constexpr uint64_t MaxTiles = 4096;

uint64_t be32(const uint8_t* p) {
  return uint64_t{p[0]} << 24 | uint64_t{p[1]} << 16 | uint64_t{p[2]} << 8 | p[3];
}

// Checks the image and tile grid that the SIZ segment declares before the
// library allocates anything for them.
bool plausible_size_segment(std::span<const uint8_t> bytes) {
  if (bytes.size() < SizeFieldsEnd) return false;
  const uint8_t* d = bytes.data();
  uint64_t x = be32(d + 8), y = be32(d + 12), x_offset = be32(d + 16), y_offset = be32(d + 20);
  uint64_t tile_width = be32(d + 24), tile_height = be32(d + 28);
  uint64_t tile_x_offset = be32(d + 32), tile_y_offset = be32(d + 36);
  unsigned components = d[40] << 8 | d[41];
  if (components != 3 && components != 4) return false;
  if (x <= x_offset || y <= y_offset || !tile_width || !tile_height || tile_x_offset > x_offset ||
      tile_y_offset > y_offset)
    return false;
  if (!image_size_allowed(int64_t(x - x_offset), int64_t(y - y_offset))) return false;
  uint64_t columns = (x - tile_x_offset + tile_width - 1) / tile_width;
  uint64_t rows = (y - tile_y_offset + tile_height - 1) / tile_height;
  return columns * rows <= MaxTiles;
}

OPJ_SIZE_T read_stream(void* buffer, OPJ_SIZE_T count, void* user) {
  auto* stream = static_cast<MemoryReader*>(user);
  if (stream->remaining() == 0) return static_cast<OPJ_SIZE_T>(-1);
  return stream->read(buffer, count);
}

OPJ_OFF_T skip_stream(OPJ_OFF_T count, void* user) {
  auto* stream = static_cast<MemoryReader*>(user);
  if (count < 0 || static_cast<uint64_t>(count) > stream->remaining()) return -1;
  stream->position += static_cast<uint64_t>(count);
  return count;
}

OPJ_BOOL seek_stream(OPJ_OFF_T offset, void* user) {
  auto* stream = static_cast<MemoryReader*>(user);
  if (offset < 0 || static_cast<uint64_t>(offset) > stream->bytes.size()) return OPJ_FALSE;
  stream->position = static_cast<uint64_t>(offset);
  return OPJ_TRUE;
}

void ignore_message(const char*, void*) {}

using ImagePtr = runtime::Owned<opj_image_t, opj_image_destroy>;

// Three or four components of the same size, each no larger than allowed.
bool usable_components(const opj_image_t& image) {
  if (image.numcomps != 3 && image.numcomps != 4) return false;
  const opj_image_comp_t& first = image.comps[0];
  if (!image_size_allowed(first.w, first.h)) return false;
  for (OPJ_UINT32 c = 1; c < image.numcomps; ++c)
    if (image.comps[c].w != first.w || image.comps[c].h != first.h) return false;
  return true;
}

ImagePtr decode_codestream(std::span<const uint8_t> bytes) {
  MemoryReader memory{bytes};
  runtime::Owned<opj_stream_t, opj_stream_destroy> stream(opj_stream_default_create(OPJ_TRUE));
  runtime::Owned<opj_codec_t, opj_destroy_codec> codec(opj_create_decompress(OPJ_CODEC_J2K));
  if (!stream || !codec) return nullptr;
  opj_stream_set_user_data(stream.get(), &memory, nullptr);
  opj_stream_set_user_data_length(stream.get(), bytes.size());
  opj_stream_set_read_function(stream.get(), read_stream);
  opj_stream_set_skip_function(stream.get(), skip_stream);
  opj_stream_set_seek_function(stream.get(), seek_stream);
  opj_set_info_handler(codec.get(), ignore_message, nullptr);
  opj_set_warning_handler(codec.get(), ignore_message, nullptr);
  opj_set_error_handler(codec.get(), ignore_message, nullptr);
  opj_dparameters_t parameters;
  opj_set_default_decoder_parameters(&parameters);
  if (!opj_setup_decoder(codec.get(), &parameters)) return nullptr;

  opj_image_t* header = nullptr;
  bool read = opj_read_header(stream.get(), codec.get(), &header);
  ImagePtr image(header);
  // The header alone tells whether the image can be used; decoding it first
  // would only cost time and memory.
  if (!read || !image || !usable_components(*image)) return nullptr;
  if (!opj_decode(codec.get(), stream.get(), image.get()) ||
      !opj_end_decompress(codec.get(), stream.get()))
    return nullptr;
  if (!usable_components(*image)) return nullptr;
  for (OPJ_UINT32 c = 0; c < image->numcomps; ++c)
    if (!image->comps[c].data) return nullptr;
  return image;
}

// One sample scaled to 8 bits: shorter components are widened, components
// of 9 to 16 bits keep their top 8 bits.
uint8_t sample(const opj_image_comp_t& component, OPJ_INT32 value) {
  OPJ_UINT32 precision = component.prec;
  int64_t v = value;
  if (component.sgnd) v += int64_t{1} << (precision - 1);
  v = std::clamp<int64_t>(v, 0, (int64_t{1} << precision) - 1);
  return static_cast<uint8_t>(precision <= 8 ? v << (8 - precision) : v >> (precision - 8));
}

class Jpeg2000Decoder final : public ImageDecoder {
 public:
  const char* name() const override { return "JPEG 2000"; }
  bool accept(DecodeContext& context) override;
  bool decode(DecodeContext& context, uint8_t* pixels, size_t pitch, int flags) override;
  void release(DecodeContext&) override { image_.reset(); }

 private:
  ImagePtr image_;
};

bool Jpeg2000Decoder::accept(DecodeContext& context) {
  if (context.bytes.size() < 5 || std::memcmp(context.bytes.data(), CodestreamStart, sizeof CodestreamStart) ||
      !plausible_size_segment(context.bytes))
    return false;
  ImagePtr image = decode_codestream(context.bytes);
  if (!image) return false;
  context.width = static_cast<int32_t>(image->comps[0].w);
  context.height = static_cast<int32_t>(image->comps[0].h);
  context.output_depth = static_cast<int32_t>(image->numcomps * 8);
  context.source_depth = context.output_depth;
  image_ = std::move(image);
  return true;
}

bool Jpeg2000Decoder::decode(DecodeContext& context, uint8_t* pixels, size_t pitch, int flags) {
  if (!image_) return false;
  const size_t components = image_->numcomps;
  const size_t width = static_cast<size_t>(context.width);
  for (size_t c = 0; c < components; ++c) {
    const opj_image_comp_t& component = image_->comps[c];
    // Deeper samples than 16 bits are left unwritten.
    if (component.prec == 0 || component.prec > 16) continue;
    for (int32_t y = 0; y < context.height; ++y) {
      const OPJ_INT32* in = component.data + static_cast<size_t>(y) * width;
      uint8_t* out = target_row(pixels, pitch, context.height, y, flags) + c;
      for (size_t x = 0; x < width; ++x, out += components) *out = sample(component, in[x]);
    }
  }
  return true;
}

}  // namespace

std::unique_ptr<ImageDecoder> make_jpeg2000_decoder() {
  return std::make_unique<Jpeg2000Decoder>();
}

void register_jpeg2000_decoder() {
  register_decoder_once(make_jpeg2000_decoder());
}

}  // namespace images
