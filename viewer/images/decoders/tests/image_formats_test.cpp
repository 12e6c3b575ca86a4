// Every decoder on every depth and colour type it supports, against files
// made by the formats' own tools and the tools' own decodes of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>

#include "images/decoders/tests/decode_harness.h"
#include "images/decoders/decoders.h"

using namespace images;

namespace {

struct FormatCase {
  const char* file;
  const char* decoder;
  int output_depth;
  int source_depth;
  // Largest difference from the reference per sample: 0 where the reference
  // decodes exactly as we do, more where the tool widens 5-bit channels by
  // repeating bits, rounds 16-bit samples or converts CMYK its own way.
  int tolerance = 0;
  // libtiff's RGBA reader premultiplies unassociated alpha.
  bool premultiplied = false;
};

std::ostream& operator<<(std::ostream& out, const FormatCase& c) { return out << c.file; }

const FormatCase NetpbmCases[] = {
    {"bmp_1.bmp", "BMP", 24, 1},
    {"bmp_4.bmp", "BMP", 24, 4},
    {"bmp_8.bmp", "BMP", 24, 8},
    {"bmp_8_rle.bmp", "BMP", 24, 8},
    {"bmp_ppmtobmp_8.bmp", "BMP", 24, 8},
    {"bmp_16_555.bmp", "BMP", 24, 16, 7},
    {"bmp_16_565.bmp", "BMP", 24, 16, 7},
    {"bmp_24.bmp", "BMP", 24, 24},
    {"bmp_32.bmp", "BMP", 24, 32},
    {"bmp_os2_4.bmp", "BMP", 24, 4},
    {"bmp_os2_24.bmp", "BMP", 24, 24},

    {"png_grey_1.png", "PNG", 24, 1},
    {"png_grey_2.png", "PNG", 24, 2},
    {"png_grey_4.png", "PNG", 24, 4},
    {"png_grey_8.png", "PNG", 24, 8},
    {"png_grey_16.png", "PNG", 24, 16, 1},
    {"png_greyalpha_8.png", "PNG", 32, 8},
    {"png_greyalpha_16.png", "PNG", 32, 16, 1},
    {"png_palette_1.png", "PNG", 24, 1},
    {"png_palette_2.png", "PNG", 24, 2},
    {"png_palette_4.png", "PNG", 24, 4},
    {"png_palette_8.png", "PNG", 24, 8},
    {"png_palette_trns.png", "PNG", 32, 4},
    {"png_rgb_8.png", "PNG", 24, 24},
    {"png_rgb_16.png", "PNG", 24, 24, 1},
    {"png_rgb_trns.png", "PNG", 32, 24},
    {"png_rgba_8.png", "PNG", 32, 32},
    {"png_rgba_16.png", "PNG", 32, 32, 1},
    {"png_interlaced_rgb_8.png", "PNG", 24, 24},
    {"png_interlaced_grey_2.png", "PNG", 24, 2},

    {"jpeg_420.jpg", "JPEG", 24, 24},
    {"jpeg_422.jpg", "JPEG", 24, 24},
    {"jpeg_444.jpg", "JPEG", 24, 24},
    {"jpeg_grey.jpg", "JPEG", 24, 24},
    {"jpeg_greyscaled.jpg", "JPEG", 24, 24},
    {"jpeg_progressive.jpg", "JPEG", 24, 24},
    {"jpeg_restart.jpg", "JPEG", 24, 24},
    {"jpeg_arithmetic.jpg", "JPEG", 24, 24},
    {"jpeg_optimized.jpg", "JPEG", 24, 24},
    {"jpeg_cmyk.jpg", "JPEG", 24, 32, 2},

    {"tga_16.tga", "TGA", 24, 16, 7},
    {"tga_16_rle.tga", "TGA", 24, 16, 7},
    {"tga_24.tga", "TGA", 24, 24},
    {"tga_24_rle.tga", "TGA", 24, 24},
    {"tga_24_top.tga", "TGA", 24, 24},
    {"tga_32.tga", "TGA", 32, 32},
    {"tga_32_rle.tga", "TGA", 32, 32},
    {"tga_ppmtotga.tga", "TGA", 24, 24},
    {"tga_ppmtotga_rle.tga", "TGA", 24, 24},

    {"tiff_rgb_8.tif", "TIFF", 32, 24},
    {"tiff_rgb_8_lzw.tif", "TIFF", 32, 24},
    {"tiff_rgb_8_zip.tif", "TIFF", 32, 24},
    {"tiff_rgb_8_packbits.tif", "TIFF", 32, 24},
    {"tiff_rgb_8_tiled.tif", "TIFF", 32, 24},
    {"tiff_rgb_8_planar.tif", "TIFF", 32, 24},
    {"tiff_rgb_8_jpeg.tif", "TIFF", 32, 24, 2},
    {"tiff_rgb_16.tif", "TIFF", 32, 48, 1},
    {"tiff_grey_8.tif", "TIFF", 32, 8},
    {"tiff_grey_16.tif", "TIFF", 32, 16, 1},
    {"tiff_bilevel.tif", "TIFF", 32, 1},
    {"tiff_bilevel_g4.tif", "TIFF", 32, 1},
    {"tiff_palette_4.tif", "TIFF", 32, 4},
    {"tiff_palette_8.tif", "TIFF", 32, 8},
    {"tiff_rgba_8.tif", "TIFF", 32, 32, 1, true},
    {"tiff_cmyk_8.tif", "TIFF", 32, 32, 2},
};

std::string reference_name(const std::string& file) {
  return file.substr(0, file.rfind('.')) + ".ref.pnm";
}

// Reports the first few samples that differ by more than the tolerance.
void expect_pixels_near(const RgbaImage& actual, const RgbaImage& expected, int tolerance,
                        bool with_alpha) {
  ASSERT_EQ(actual.width, expected.width);
  ASSERT_EQ(actual.height, expected.height);
  std::ostringstream report;
  int wrong = 0;
  for (int y = 0; y < actual.height; ++y)
    for (int x = 0; x < actual.width; ++x)
      for (int s = 0; s < (with_alpha ? 4 : 3); ++s) {
        int a = actual.pixel(x, y)[s], e = expected.pixel(x, y)[s];
        if (std::abs(a - e) <= tolerance) continue;
        if (wrong++ < 5)
          report << " (" << x << "," << y << ")[" << s << "] " << a << " expected " << e;
      }
  EXPECT_EQ(wrong, 0) << "samples off by more than " << tolerance << ":" << report.str();
}

void expect_header(const Decoded& decoded, const char* decoder, int width, int height,
                   int output_depth, int source_depth) {
  EXPECT_EQ(decoded.decoder, decoder);
  EXPECT_EQ(decoded.context.width, width);
  EXPECT_EQ(decoded.context.height, height);
  EXPECT_EQ(decoded.context.output_depth, output_depth);
  EXPECT_EQ(decoded.context.source_depth, source_depth);
}

class NetpbmReferenceTest : public testing::TestWithParam<FormatCase> {};

TEST_P(NetpbmReferenceTest, DecodesLikeTheFormatsOwnTools) {
  const FormatCase& c = GetParam();
  RgbaImage expected = read_netpbm(test_image_path(reference_name(c.file)));
  ASSERT_GT(expected.width, 0);
  if (c.premultiplied)
    for (size_t i = 0; i < expected.rgba.size(); i += 4)
      for (size_t s = 0; s < 3; ++s)
        expected.rgba[i + s] = uint8_t((expected.rgba[i + s] * expected.rgba[i + 3] + 127) / 255);

  Decoded decoded = decode_bytes(read_file_bytes(test_image_path(c.file)));
  ASSERT_TRUE(decoded.accepted);
  expect_header(decoded, c.decoder, expected.width, expected.height, c.output_depth,
                c.source_depth);
  EXPECT_TRUE(decoded.decoded);
  EXPECT_FALSE(decoded.wrote_outside);
  expect_pixels_near(decoded.image(), expected, c.tolerance, c.output_depth == 32);
}

TEST_P(NetpbmReferenceTest, BottomToTopFlagTurnsTheRowsOver) {
  auto data = read_file_bytes(test_image_path(GetParam().file));
  Decoded normal = decode_bytes(data);
  Decoded turned = decode_bytes(data, DecodeBottomToTop);
  ASSERT_TRUE(normal.decoded);
  ASSERT_TRUE(turned.decoded);
  EXPECT_FALSE(turned.wrote_outside);
  EXPECT_EQ(turned.image().rgba, flipped(normal.image()).rgba);
}

INSTANTIATE_TEST_SUITE_P(Files, NetpbmReferenceTest, testing::ValuesIn(NetpbmCases),
                         [](const testing::TestParamInfo<FormatCase>& info) {
                           std::string name = info.param.file;
                           std::replace(name.begin(), name.end(), '.', '_');
                           return name;
                         });

// JPEG 2000: OpenJPEG's decode to raw component values is the reference.
struct Jpeg2000Case {
  const char* file;
  int components;
};

std::ostream& operator<<(std::ostream& out, const Jpeg2000Case& c) { return out << c.file; }

const Jpeg2000Case jpeg2000_cases[] = {
    {"j2k_rgb_8", 3},       {"j2k_rgb_8_lossy", 3}, {"j2k_rgb_8_tiled", 3},
    {"j2k_rgba_8", 4},      {"j2k_rgb_16", 3},      {"j2k_rgb_12", 3},
    {"j2k_rgb_4", 3},       {"j2k_rgb_8_signed", 3},
};

// Samples become 8 bits: signed ones are moved up by half their range,
// shorter ones widened, longer ones keep their top 8 bits.
uint8_t to_8_bits(const PgxComponent& component, int32_t value) {
  if (component.is_signed) value += 1 << (component.precision - 1);
  int shift = component.precision - 8;
  return uint8_t(shift >= 0 ? value >> shift : value << -shift);
}

class Jpeg2000ReferenceTest : public testing::TestWithParam<Jpeg2000Case> {};

TEST_P(Jpeg2000ReferenceTest, DecodesLikeOpenJpegsOwnTool) {
  const Jpeg2000Case& c = GetParam();
  std::vector<PgxComponent> components;
  for (int i = 0; i < c.components; ++i)
    components.push_back(
        read_pgx(test_image_path(std::string(c.file) + ".ref_" + std::to_string(i) + ".pgx")));
  const PgxComponent& first = components[0];
  ASSERT_GT(first.width, 0);
  RgbaImage expected{first.width, first.height,
                     std::vector<uint8_t>(size_t(first.width) * first.height * 4, 255)};
  for (int i = 0; i < c.components; ++i)
    for (size_t p = 0; p < components[i].samples.size(); ++p)
      expected.rgba[p * 4 + i] = to_8_bits(components[i], components[i].samples[p]);

  auto data = read_file_bytes(test_image_path(std::string(c.file) + ".j2k"));
  Decoded decoded = decode_bytes(data);
  ASSERT_TRUE(decoded.accepted);
  expect_header(decoded, "JPEG 2000", first.width, first.height, c.components * 8,
                c.components * 8);
  EXPECT_TRUE(decoded.decoded);
  EXPECT_FALSE(decoded.wrote_outside);
  expect_pixels_near(decoded.image(), expected, 0, c.components == 4);

  Decoded turned = decode_bytes(data, DecodeBottomToTop);
  EXPECT_EQ(turned.image().rgba, flipped(decoded.image()).rgba);
}

INSTANTIATE_TEST_SUITE_P(Files, Jpeg2000ReferenceTest, testing::ValuesIn(jpeg2000_cases),
                         [](const testing::TestParamInfo<Jpeg2000Case>& info) {
                           return std::string(info.param.file);
                         });

// Each decoder on its own refuses every other format's file.
TEST(DecoderRefusals, EachDecoderTakesOnlyItsOwnFormat) {
  struct Format {
    const char* file;
    std::function<std::unique_ptr<ImageDecoder>()> make;
  };
  const Format formats[] = {
      {"bmp_24.bmp", make_bmp_decoder},        {"png_rgb_8.png", make_png_decoder},
      {"jpeg_420.jpg", make_jpeg_decoder},     {"j2k_rgb_8.j2k", make_jpeg2000_decoder},
      {"tga_24.tga", make_tga_decoder},        {"tiff_rgb_8.tif", make_tiff_decoder},
  };
  for (const Format& decoder_format : formats) {
    auto decoder = decoder_format.make();
    for (const Format& file_format : formats) {
      auto data = read_file_bytes(test_image_path(file_format.file));
      DecodeContext context;
      context.bytes = data;
      bool own = &decoder_format == &file_format;
      EXPECT_EQ(decoder->accept(context), own) << decoder->name() << " on " << file_format.file;
      if (own) decoder->release(context);
    }
  }
}

TEST(DecoderRefusals, OneComponentJpeg2000IsRefusedByAll) {
  Decoded decoded = decode_bytes(read_file_bytes(test_image_path("j2k_grey_8.j2k")));
  EXPECT_FALSE(decoded.accepted);
  EXPECT_EQ(decoded.decoder, "");
}

}  // namespace
