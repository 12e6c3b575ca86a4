// Damaged, cut-short and hostile data: the decoders stay inside the data and
// the pixel buffer, refuse absurd sizes and print nothing.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <filesystem>
#include <functional>

#include "images/decoders/tests/decode_harness.h"
#include "images/decoders/decoders.h"

using namespace images;

namespace {

using Bytes = std::vector<uint8_t>;
using Rgb = std::array<uint8_t, 3>;
constexpr Rgb Untouched = {0xA5, 0xA5, 0xA5};  // what decode_bytes fills the buffer with
constexpr Rgb Black = {0, 0, 0}, Red = {255, 0, 0}, Green = {0, 255, 0}, Blue = {0, 0, 255};

void put16(Bytes& b, size_t at, uint32_t v) {
  b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8);
}
void put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A bitmap with a 40-byte info header, a BGR0 palette and the given pixel data.
Bytes bmp(int32_t width, int32_t height, uint16_t bpp, uint32_t compression,
          const std::vector<Rgb>& palette, const Bytes& pixels, uint32_t colours_used = 0) {
  size_t offset = 14 + 40 + palette.size() * 4;
  Bytes b(offset);
  b[0] = 'B', b[1] = 'M';
  put32(b, 2, uint32_t(offset + pixels.size()));
  put32(b, 10, uint32_t(offset));
  put32(b, 14, 40);
  put32(b, 18, uint32_t(width));
  put32(b, 22, uint32_t(height));
  put16(b, 26, 1);
  put16(b, 28, bpp);
  put32(b, 30, compression);
  put32(b, 46, colours_used);
  for (size_t i = 0; i < palette.size(); ++i) {
    b[54 + 4 * i] = palette[i][2], b[55 + 4 * i] = palette[i][1], b[56 + 4 * i] = palette[i][0];
  }
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

// An 18-byte TGA header followed by the given bytes.
Bytes tga(uint8_t type, uint16_t width, uint16_t height, uint8_t depth, uint8_t descriptor,
          const Bytes& rest, uint8_t colour_map_type = 0) {
  Bytes b(18 + rest.size());
  std::copy(rest.begin(), rest.end(), b.begin() + 18);
  b[1] = colour_map_type;
  b[2] = type;
  put16(b, 12, width);
  put16(b, 14, height);
  b[16] = depth;
  b[17] = descriptor;
  return b;
}

// Rows top to bottom of what the decoder wrote.
void expect_rgb_rows(const Decoded& decoded, const std::vector<std::vector<Rgb>>& rows) {
  ASSERT_TRUE(decoded.accepted);
  ASSERT_EQ(decoded.context.height, int(rows.size()));
  RgbaImage image = decoded.image();
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      const uint8_t* p = image.pixel(x, y);
      EXPECT_EQ((Rgb{p[0], p[1], p[2]}), rows[y][x]) << "pixel " << x << "," << y;
    }
  EXPECT_FALSE(decoded.wrote_outside);
}

const std::vector<Rgb> FourColours = {Black, Red, Green, Blue};

struct RunLengthCase {
  const char* what;
  Bytes codes;
  bool complete;
  std::vector<std::vector<Rgb>> rows;  // top to bottom; the file's first row is the last
};

std::ostream& operator<<(std::ostream& out, const RunLengthCase& c) { return out << c.what; }

class BmpRunLengthTest : public testing::TestWithParam<RunLengthCase> {};

TEST_P(BmpRunLengthTest, CodesThatLeaveTheImageAreCutAtItsEdge) {
  const RunLengthCase& c = GetParam();
  Decoded decoded = decode_bytes(bmp(4, 3, 8, 1, FourColours, c.codes));
  EXPECT_EQ(decoded.decoded, c.complete);
  expect_rgb_rows(decoded, c.rows);
}

const auto U = Untouched;
INSTANTIATE_TEST_SUITE_P(
    Codes, BmpRunLengthTest,
    testing::Values(
        RunLengthCase{"a run past the right edge does not wrap",
                      {10, 1, 0, 0, 2, 2, 0, 1},
                      true,
                      {{U, U, U, U}, {Green, Green, U, U}, {Red, Red, Red, Red}}},
        RunLengthCase{"deltas past the right and top edges write nothing",
                      {1, 1, 0, 2, 200, 0, 1, 2, 0, 0, 0, 2, 0, 200, 1, 3, 0, 1},
                      true,
                      {{U, U, U, U}, {U, U, U, U}, {Red, U, U, U}}},
        RunLengthCase{"an absolute run past the right edge is cut",
                      {0, 6, 1, 2, 3, 1, 2, 3, 0, 1},
                      true,
                      {{U, U, U, U}, {U, U, U, U}, {Red, Green, Blue, Red}}},
        RunLengthCase{"an odd absolute run skips its padding byte",
                      {0, 3, 1, 2, 3, 0, 2, 1, 0, 1},
                      true,
                      {{U, U, U, U}, {U, U, U, U}, {Red, Green, Blue, Red}}},
        RunLengthCase{"an absolute run cut short by the data",
                      {0, 9, 1, 2},
                      false,
                      {{U, U, U, U}, {U, U, U, U}, {Red, Green, U, U}}},
        RunLengthCase{"data that ends without an end code",
                      {4, 3},
                      false,
                      {{U, U, U, U}, {U, U, U, U}, {Blue, Blue, Blue, Blue}}},
        RunLengthCase{"end of bitmap stops early",
                      {4, 1, 0, 1, 4, 2},
                      true,
                      {{U, U, U, U}, {U, U, U, U}, {Red, Red, Red, Red}}}),
    [](const testing::TestParamInfo<RunLengthCase>& info) {
      return "Case" + std::to_string(info.index);
    });

TEST(BmpDecoder, IndexesPastTheColoursUsedAreBlack) {
  // 8-bit, two colours used, indexes 1 and 5 (the palette still holds 4).
  Decoded decoded = decode_bytes(bmp(2, 1, 8, 0, FourColours, {1, 5, 0, 0}, 2));
  EXPECT_TRUE(decoded.decoded);
  expect_rgb_rows(decoded, {{Red, Black}});
}

TEST(BmpDecoder, OneBitPixelsUseThePalette) {
  Decoded decoded = decode_bytes(bmp(3, 1, 1, 0, {Blue, Green}, {0b10100000, 0, 0, 0}));
  expect_rgb_rows(decoded, {{Green, Blue, Green}});
}

TEST(BmpDecoder, RowsCutShortByTheDataEndTheDecode) {
  // 24-bit, 2 x 2: the bottom row whole, the top row with one pixel of two.
  Bytes pixels = {0, 0, 255, 255, 0, 0, 0, 0, 0, 255, 0};
  Decoded decoded = decode_bytes(bmp(2, 2, 24, 0, {}, pixels));
  EXPECT_FALSE(decoded.decoded);
  expect_rgb_rows(decoded, {{Green, U}, {Red, Blue}});
}

TEST(BmpDecoder, NegativeHeightMeansRowsFromTheTop) {
  Bytes file = read_file_bytes(test_image_path("bmp_24.bmp"));
  RgbaImage reference = read_netpbm(test_image_path("bmp_24.ref.pnm"));
  put32(file, 22, uint32_t(-reference.height));
  Decoded decoded = decode_bytes(file);
  ASSERT_TRUE(decoded.decoded);
  EXPECT_EQ(decoded.context.height, reference.height);
  EXPECT_EQ(decoded.image().rgba, flipped(reference).rgba);
}

struct UnwrittenCase {
  const char* what;
  Bytes file;
  int source_depth;
};

TEST(BmpDecoder, AcceptsButWritesNothingForWhatItCannotDecode) {
  const UnwrittenCase cases[] = {
      {"pixel data offset past the end", [] {
         Bytes b = bmp(2, 2, 24, 0, {}, Bytes(16, 7));
         put32(b, 10, 0xFFFFFFF0);
         return b;
       }(), 24},
      {"2 bits per pixel", bmp(4, 1, 2, 0, FourColours, {0x1B, 0, 0, 0}), 2},
      {"4-bit run-length data", bmp(4, 1, 4, 2, FourColours, {4, 0x12, 0, 1}), 4},
      {"an embedded PNG", bmp(4, 1, 24, 5, {}, Bytes(16, 1)), 24},
  };
  for (const UnwrittenCase& c : cases) {
    SCOPED_TRACE(c.what);
    Decoded decoded = decode_bytes(c.file);
    ASSERT_TRUE(decoded.accepted);
    EXPECT_EQ(decoded.decoder, "BMP");
    EXPECT_EQ(decoded.context.source_depth, c.source_depth);
    EXPECT_FALSE(decoded.decoded);
    EXPECT_TRUE(decoded.untouched());
  }
}

// Sizes a decoder refuses while reading the header, before anything is
// allocated for them.
struct SizeCase {
  int32_t width;
  int32_t height;
};

TEST(ImageSizeLimits, BmpRefusesAbsurdDimensions) {
  const SizeCase cases[] = {{INT32_MAX, 1}, {1, INT32_MIN},  {-5, 5},       {32768, 1},
                            {1, -32768},    {20000, 20000}, {65536, 65536}, {32767, 513}};
  auto decoder = make_bmp_decoder();
  for (const SizeCase& c : cases) {
    Bytes file = bmp(c.width, c.height, 24, 0, {}, Bytes(64, 1));
    DecodeContext context{file};
    EXPECT_FALSE(decoder->accept(context)) << c.width << " x " << c.height;
  }
  Bytes largest = bmp(32767, -512, 24, 0, {}, Bytes(64, 1));
  DecodeContext context{largest};
  EXPECT_TRUE(decoder->accept(context));
  decoder->release(context);
}

void put_be32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (24 - 8 * i));
}
void put_be16(Bytes& b, size_t at, uint32_t v) { b[at] = uint8_t(v >> 8), b[at + 1] = uint8_t(v); }

// Position of the first JPEG marker `code` (after SOI).
size_t jpeg_marker(const Bytes& b, uint8_t code) {
  for (size_t i = 2; i + 4 <= b.size();) {
    if (b[i] != 0xFF) return 0;
    if (b[i + 1] == code) return i;
    i += 2 + (size_t(b[i + 2]) << 8 | b[i + 3]);
  }
  return 0;
}

// The value field of a TIFF tag in a little-endian file's first directory.
size_t tiff_tag_value(const Bytes& b, uint16_t tag) {
  size_t ifd = b[4] | b[5] << 8 | b[6] << 16 | size_t(b[7]) << 24;
  size_t count = b[ifd] | b[ifd + 1] << 8;
  for (size_t i = 0; i < count; ++i) {
    size_t entry = ifd + 2 + 12 * i;
    if ((b[entry] | b[entry + 1] << 8) == tag) return entry + 8;
  }
  return 0;
}

struct HostileCase {
  const char* what;
  const char* file;
  std::function<void(Bytes&)> damage;
};

TEST(ImageSizeLimits, LibraryFormatsRefuseAbsurdDimensions) {
  const HostileCase cases[] = {
      {"PNG 40000 wide", "png_rgb_8.png",
       [](Bytes& b) {
         put_be32(b, 16, 40000);
         put_be32(b, 29, uint32_t(crc32(0, &b[12], 17)));  // IHDR's CRC
       }},
      {"JPEG 65535 x 65535", "jpeg_420.jpg",
       [](Bytes& b) {
         size_t sof = jpeg_marker(b, 0xC0);
         ASSERT_NE(sof, 0u);
         put_be16(b, sof + 5, 65535);
         put_be16(b, sof + 7, 65535);
       }},
      {"JPEG 2000 100000 wide", "j2k_rgb_8.j2k",
       [](Bytes& b) { put_be32(b, 8, 100000); }},
      // 4000 x 4000 is allowed, but not as 62500 tiles (OpenJPEG would take
      // about a gigabyte to set them up, then decode the broken data).
      {"JPEG 2000 of 16 x 16 tiles", "j2k_rgb_8.j2k",
       [](Bytes& b) {
         put_be32(b, 8, 4000), put_be32(b, 12, 4000);
         put_be32(b, 24, 16), put_be32(b, 28, 16);
       }},
      {"TGA cannot be: its sizes are 16-bit, 65535 x 65535", "tga_24.tga",
       [](Bytes& b) { put16(b, 12, 65535), put16(b, 14, 65535); }},
      {"TIFF 40000 wide", "tiff_rgb_8.tif",
       [](Bytes& b) {
         size_t value = tiff_tag_value(b, 256);
         ASSERT_NE(value, 0u);
         put32(b, value, 40000);
       }},
  };
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes file = read_file_bytes(test_image_path(c.file));
    c.damage(file);
    testing::internal::CaptureStderr();
    Decoded decoded = decode_bytes(file);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(decoded.accepted) << decoded.decoder;
  }
}

TEST(TgaDecoder, PacketsPastTheLastPixelAreCut) {
  // 2 x 2, top origin: a run of 10 red pixels, then a raw packet of 8.
  Bytes codes = {0x89, 0, 0, 255, 0x07};
  for (int i = 0; i < 8; ++i) codes.insert(codes.end(), {255, 0, 0});
  Decoded run = decode_bytes(tga(10, 2, 2, 24, 0x20, codes));
  EXPECT_TRUE(run.decoded);
  expect_rgb_rows(run, {{Red, Red}, {Red, Red}});

  Bytes raw = {0x07};
  for (int i = 0; i < 8; ++i) raw.insert(raw.end(), {0, 255, 0});
  Decoded raw_only = decode_bytes(tga(10, 2, 1, 24, 0x20, raw));
  EXPECT_TRUE(raw_only.decoded);
  expect_rgb_rows(raw_only, {{Green, Green}});
}

TEST(TgaDecoder, DataThatEndsEarlyLeavesTheRestUnwritten) {
  // 2 x 2, bottom origin: the first (bottom) row and half a pixel.
  Decoded decoded = decode_bytes(tga(2, 2, 2, 24, 0, {0, 0, 255, 255, 0, 0, 0, 255}));
  EXPECT_FALSE(decoded.decoded);
  expect_rgb_rows(decoded, {{U, U}, {Red, Blue}});
}

TEST(TgaDecoder, SkipsTheIdAndColourMapOfATrueColourImage) {
  Bytes file = tga(2, 1, 1, 24, 0, {'i', 'd', 9, 9, 9, 8, 8, 8, 0, 255, 0}, 1);
  file[0] = 2;        // id length
  put16(file, 5, 2);  // two colour map entries
  file[7] = 24;       // of 24 bits
  expect_rgb_rows(decode_bytes(file), {{Green}});
}

TEST(TgaDecoder, DescriptorBitsTurnRowsAndColumns) {
  Bytes file = read_file_bytes(test_image_path("tga_24.tga"));
  RgbaImage reference = read_netpbm(test_image_path("tga_24.ref.pnm"));
  Bytes from_top = file;
  from_top[17] ^= 0x20;
  EXPECT_EQ(decode_bytes(from_top).image().rgba, flipped(reference).rgba);

  Bytes from_right = file;
  from_right[17] ^= 0x10;
  RgbaImage mirrored = reference;
  for (int y = 0; y < reference.height; ++y)
    for (int x = 0; x < reference.width; ++x)
      std::copy_n(reference.pixel(reference.width - 1 - x, y), 4,
                  &mirrored.rgba[(size_t(y) * reference.width + x) * 4]);
  EXPECT_EQ(decode_bytes(from_right).image().rgba, mirrored.rgba);
}

TEST(TgaDecoder, AcceptsOnlyTrueColourTypesWithAValidColourMapType) {
  Bytes pixel = {1, 2, 3};
  EXPECT_EQ(decode_bytes(tga(2, 1, 1, 24, 0, pixel)).decoder, "TGA");
  EXPECT_EQ(decode_bytes(tga(10, 1, 1, 24, 0, {0, 1, 2, 3})).decoder, "TGA");
  EXPECT_FALSE(decode_bytes(tga(1, 1, 1, 8, 0, pixel)).accepted);  // colour-mapped
  EXPECT_FALSE(decode_bytes(tga(3, 1, 1, 8, 0, pixel)).accepted);  // grey
  EXPECT_FALSE(decode_bytes(tga(2, 1, 1, 24, 0, pixel, 2)).accepted);
  EXPECT_FALSE(decode_bytes(Bytes{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 24}).accepted);
  // 8-bit pixels in a true-colour image are not decoded.
  Decoded eight_bit = decode_bytes(tga(2, 2, 1, 8, 0, {1, 2}));
  EXPECT_EQ(eight_bit.context.source_depth, 8);
  EXPECT_TRUE(eight_bit.untouched());
}

TEST(DecoderRefusals, BmpWithReservedWordsSetIsNotTaken) {
  Bytes file = read_file_bytes(test_image_path("bmp_24.bmp"));
  for (size_t at : {6, 8}) {
    Bytes damaged = file;
    damaged[at + 1] = 1;
    EXPECT_FALSE(decode_bytes(damaged).accepted) << "offset " << at;
  }
}

TEST(DecoderRefusals, TiffWithRefusedCompressionsIsNotTaken) {
  Bytes file = read_file_bytes(test_image_path("tiff_rgb_8_zip.tif"));
  for (uint16_t compression : {32946, 6}) {
    Bytes damaged = file;
    size_t value = tiff_tag_value(damaged, 259);
    ASSERT_NE(value, 0u);
    put16(damaged, value, compression);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(decode_bytes(damaged).accepted) << compression;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
}

TEST(DecoderRefusals, DataStartingLikeJpegButHoldingNoImageIsRefused) {
  const Bytes cases[] = {
      {0xFF, 0xD8},
      {0xFF, 0xD8, 0xFF, 0xD9},
      {0xFF, 0xD8, 0x02, 0x00, 'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g', 0, 0, 0, 0, 0, 0},
      // A header of tables only, no frame.
      {0xFF, 0xD8, 0xFF, 0xDD, 0x00, 0x04, 0x00, 0x01, 0xFF, 0xD9},
  };
  auto jpeg = make_jpeg_decoder();
  for (const Bytes& data : cases) {
    testing::internal::CaptureStderr();
    DecodeContext context{data};
    EXPECT_FALSE(jpeg->accept(context));
    EXPECT_FALSE(decode_bytes(data).accepted);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
}

TEST(DamagedJpeg, DataEndingInsideTheScanStillDecodes) {
  Bytes file = read_file_bytes(test_image_path("jpeg_progressive.jpg"));
  Decoded whole = decode_bytes(file);
  file.resize(file.size() * 3 / 4);
  testing::internal::CaptureStderr();
  Decoded cut = decode_bytes(file);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_TRUE(cut.accepted);
  EXPECT_TRUE(cut.decoded);
  EXPECT_EQ(cut.context.width, whole.context.width);
  EXPECT_EQ(cut.context.height, whole.context.height);
  EXPECT_FALSE(cut.wrote_outside);
}

// Every test file cut at many lengths: no read past the data (the harness
// copies each prefix into a block of its exact size), no write outside the
// image, and not a word printed.
TEST(DamagedFiles, CutShortFilesDecodeQuietlyWithinBounds) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(TEST_IMAGE_DIR)) {
    std::string name = entry.path().filename().string();
    if (name.find(".ref") == std::string::npos && name != "stamp") files.push_back(name);
  }
  ASSERT_GT(files.size(), 50u);
  testing::internal::CaptureStderr();
  for (const std::string& name : files) {
    Bytes file = read_file_bytes(test_image_path(name));
    const size_t n = file.size();
    for (size_t cut : {size_t{1}, size_t{2}, size_t{8}, size_t{17}, size_t{18}, size_t{30},
                       n / 4, n / 2, 3 * n / 4, n - 16, n - 1}) {
      if (cut == 0 || cut >= n) continue;
      Bytes prefix(file.begin(), file.begin() + cut);
      for (int flags : {0, DecodeBottomToTop}) {
        Decoded decoded = decode_bytes(prefix, flags);
        EXPECT_FALSE(decoded.wrote_outside) << name << " cut at " << cut;
      }
    }
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
