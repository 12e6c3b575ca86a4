// TIFF through libtiff, read from memory through the library's client I/O
// routines. Pixels come from the library's RGBA image reader, so every layout
// it understands (strips or tiles, any photometric interpretation it can
// convert) gives 8-bit RGBA.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <bit>
#include <cstdio>
#include <cstring>
#include <vector>

#include "images/decoders/decoder_registry.h"
#include "images/decoders/decoders.h"
#include "images/decoders/memory_reader.h"
#include "images/decoders/pixel_rows.h"
#include "runtime/owned.h"

namespace images {

namespace {

// Compressions that are refused: the old PKZIP-style Deflate code and the
// old-style JPEG-in-TIFF.
constexpr uint16_t RefusedDeflate = 32946;
constexpr uint16_t RefusedOldJpeg = 6;
// The largest single allocation libtiff may make for one image.
constexpr tmsize_t MaxLibraryAllocation = tmsize_t{1} << 28;

MemoryReader& source_of(thandle_t handle) { return *static_cast<MemoryReader*>(handle); }

tmsize_t read_source(thandle_t handle, void* buffer, tmsize_t size) {
  if (size <= 0) return 0;
  return static_cast<tmsize_t>(source_of(handle).read(buffer, static_cast<uint64_t>(size)));
}

tmsize_t write_source(thandle_t, void*, tmsize_t) { return 0; }

toff_t seek_source(thandle_t handle, toff_t offset, int whence) {
  MemoryReader& source = source_of(handle);
  uint64_t base = whence == SEEK_CUR ? source.position : whence == SEEK_END ? source.bytes.size() : 0;
  // libtiff hands negative offsets as large unsigned numbers.
  uint64_t target = base + offset;
  if (whence != SEEK_SET && static_cast<int64_t>(offset) < 0 && target > base)
    return static_cast<toff_t>(-1);
  source.position = target;
  return target;
}

// Returning 1 tells libtiff the message was handled, so it is never printed.
int drop_message(TIFF*, void*, const char*, const char*, va_list) { return 1; }

int close_source(thandle_t) { return 0; }
toff_t size_of_source(thandle_t handle) { return source_of(handle).bytes.size(); }
// Handing libtiff the data as a mapped file lets it decode straight from it.
// It only reads a mapping opened for reading (it checks every offset against
// the size), and its reads through read_source of uncompressed tiles fail in
// this library version.
int map_source(thandle_t handle, void** base, toff_t* size) {
  MemoryReader& source = source_of(handle);
  *base = const_cast<uint8_t*>(source.bytes.data());
  *size = source.bytes.size();
  return 1;
}
void unmap_source(thandle_t, void*, toff_t) {}


class TiffDecoder final : public ImageDecoder {
 public:
  const char* name() const override { return "TIFF"; }
  bool accept(DecodeContext& context) override;
  bool decode(DecodeContext& context, uint8_t* pixels, size_t pitch, int flags) override;
  void release(DecodeContext&) override {
    tiff_.reset();  // before the source it reads
    source_.reset();
  }

 private:
  std::unique_ptr<MemoryReader> source_;
  runtime::Owned<TIFF, TIFFClose> tiff_;
};

bool TiffDecoder::accept(DecodeContext& context) {
  auto source = std::make_unique<MemoryReader>(MemoryReader{context.bytes});
  runtime::Owned<TIFFOpenOptions, TIFFOpenOptionsFree> options(TIFFOpenOptionsAlloc());
  if (!options) return false;
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), MaxLibraryAllocation);
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), drop_message, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), drop_message, nullptr);
  runtime::Owned<TIFF, TIFFClose> tiff(TIFFClientOpenExt(
      "image", "r", source.get(), read_source, write_source, seek_source, close_source,
      size_of_source, map_source, unmap_source, options.get()));
  if (!tiff) return false;
  uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_COMPRESSION, &compression);
  if (compression == RefusedDeflate || compression == RefusedOldJpeg) return false;
  uint32_t width = 0, height = 0;
  uint16_t bits_per_sample = 1, samples_per_pixel = 1;
  if (!TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) ||
      !TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) ||
      !image_size_allowed(width, height))
    return false;
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits_per_sample);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples_per_pixel);

  context.width = static_cast<int32_t>(width);
  context.height = static_cast<int32_t>(height);
  context.output_depth = 32;
  context.source_depth =
      static_cast<int32_t>(std::min<int64_t>(int64_t{bits_per_sample} * samples_per_pixel, 0xFFFF));
  source_ = std::move(source);
  tiff_ = std::move(tiff);
  return true;
}

bool TiffDecoder::decode(DecodeContext& context, uint8_t* pixels, size_t pitch, int flags) {
  if (!tiff_) return false;
  const uint32_t width = static_cast<uint32_t>(context.width);
  const uint32_t height = static_cast<uint32_t>(context.height);
  const int orientation = (flags & DecodeBottomToTop) ? ORIENTATION_BOTLEFT : ORIENTATION_TOPLEFT;
  const size_t row_bytes = size_t{width} * 4;
  // The reader packs R, G, B, A from the lowest byte up, which on a
  // little-endian machine is the buffer's own byte order: when the rows are
  // packed it writes straight into the buffer.
  if constexpr (std::endian::native == std::endian::little) {
    if (pitch == row_bytes && reinterpret_cast<uintptr_t>(pixels) % alignof(uint32_t) == 0)
      return TIFFReadRGBAImageOriented(tiff_.get(), width, height,
                                       reinterpret_cast<uint32_t*>(pixels), orientation, 0);
  }
  std::vector<uint32_t> raster(size_t{width} * height);
  bool done = TIFFReadRGBAImageOriented(tiff_.get(), width, height, raster.data(), orientation, 0);
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* out = pixels + y * pitch;
    const uint32_t* in = raster.data() + size_t{y} * width;
    for (uint32_t x = 0; x < width; ++x) {
      out[4 * x] = static_cast<uint8_t>(TIFFGetR(in[x]));
      out[4 * x + 1] = static_cast<uint8_t>(TIFFGetG(in[x]));
      out[4 * x + 2] = static_cast<uint8_t>(TIFFGetB(in[x]));
      out[4 * x + 3] = static_cast<uint8_t>(TIFFGetA(in[x]));
    }
  }
  return done;
}

}  // namespace

std::unique_ptr<ImageDecoder> make_tiff_decoder() { return std::make_unique<TiffDecoder>(); }

void register_tiff_decoder() {
  // Damaged TIFF data must not print anything.
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  register_decoder_once(make_tiff_decoder());
}

}  // namespace images
