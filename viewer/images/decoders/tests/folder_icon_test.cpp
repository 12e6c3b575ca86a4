// The embedded folder icon: its JPEG structure and its decode.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "images/decoders/tests/decode_harness.h"
#include "images/decoders/decoders.h"
#include "images/folder_icon.h"

using namespace images;

namespace {

struct Segment {
  uint8_t marker;
  std::vector<uint8_t> payload;  // without the length field

  bool starts_with(const std::string& id) const {
    return payload.size() >= id.size() && std::equal(id.begin(), id.end(), payload.begin());
  }
};

// Segments from after SOI up to and including SOS; `scan` gets the rest.
std::vector<Segment> header_segments(const std::vector<uint8_t>& jpeg,
                                     std::vector<uint8_t>& scan) {
  std::vector<Segment> segments;
  size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
    uint8_t marker = jpeg[at + 1];
    size_t length = size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
    if (length < 2 || at + 2 + length > jpeg.size()) break;
    segments.push_back({marker, {jpeg.begin() + at + 4, jpeg.begin() + at + 2 + length}});
    at += 2 + length;
    if (marker == 0xDA) {
      scan.assign(jpeg.begin() + at, jpeg.end());
      break;
    }
  }
  return segments;
}

// The Orientation value in an Exif segment's first directory, or 0.
int exif_orientation(const std::vector<uint8_t>& exif) {
  const uint8_t* tiff = exif.data() + 6;
  size_t size = exif.size() - 6;
  bool little = tiff[0] == 'I';
  auto u16 = [&](size_t at) {
    return at + 2 > size ? 0 : little ? tiff[at] | tiff[at + 1] << 8 : tiff[at] << 8 | tiff[at + 1];
  };
  auto u32 = [&](size_t at) { return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2); };
  size_t ifd = u32(4);
  for (int i = 0; i < u16(ifd); ++i) {
    size_t entry = ifd + 2 + 12 * size_t(i);
    if (u16(entry) == 0x0112 && u16(entry + 2) == 3) return u16(entry + 8);
  }
  return 0;
}

std::vector<uint8_t> icon_bytes() { return {folder_icon_data, folder_icon_data + folder_icon_size}; }

TEST(FolderIcon, IsABaselineJpegWithMetadataAndRestartMarkers) {
  std::vector<uint8_t> jpeg = icon_bytes();
  ASSERT_GT(jpeg.size(), 4u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  EXPECT_EQ(jpeg[jpeg.size() - 2], 0xFF);
  EXPECT_EQ(jpeg[jpeg.size() - 1], 0xD9);

  std::vector<uint8_t> scan;
  std::vector<Segment> segments = header_segments(jpeg, scan);
  ASSERT_GE(segments.size(), 4u);
  EXPECT_EQ(segments[0].marker, 0xE0);
  EXPECT_TRUE(segments[0].starts_with(std::string("JFIF\0", 5)));
  EXPECT_EQ(segments[1].marker, 0xE1);
  ASSERT_TRUE(segments[1].starts_with(std::string("Exif\0\0", 6)));
  EXPECT_EQ(exif_orientation(segments[1].payload), 1);
  auto further_app = std::find_if(segments.begin() + 2, segments.end(), [](const Segment& s) {
    return s.marker >= 0xE0 && s.marker <= 0xEF;
  });
  EXPECT_NE(further_app, segments.end()) << "no application segment after JFIF and Exif";

  int frames = 0, restart_interval = 0;
  for (const Segment& s : segments) {
    bool frame = s.marker >= 0xC0 && s.marker <= 0xCF && s.marker != 0xC4 && s.marker != 0xC8 &&
                 s.marker != 0xCC;
    if (!frame) {
      if (s.marker == 0xDD && s.payload.size() == 2) restart_interval = s.payload[0] << 8 | s.payload[1];
      continue;
    }
    ++frames;
    EXPECT_EQ(s.marker, 0xC0) << "not a baseline frame";
    ASSERT_EQ(s.payload.size(), 6u + 3 * 3);
    EXPECT_EQ(s.payload[0], 8);                                    // precision
    EXPECT_EQ(s.payload[1] << 8 | s.payload[2], 16);               // height
    EXPECT_EQ(s.payload[3] << 8 | s.payload[4], 16);               // width
    EXPECT_EQ(s.payload[5], 3);                                    // components
    for (int c = 0; c < 3; ++c) EXPECT_EQ(s.payload[6 + 3 * c + 1], 0x11) << "component " << c;
  }
  EXPECT_EQ(frames, 1);
  EXPECT_GT(restart_interval, 0);
  EXPECT_EQ(segments.back().marker, 0xDA);
  bool restart_marker = false;
  for (size_t i = 0; i + 1 < scan.size(); ++i)
    if (scan[i] == 0xFF && scan[i + 1] >= 0xD0 && scan[i + 1] <= 0xD7) restart_marker = true;
  EXPECT_TRUE(restart_marker);
}

TEST(FolderIcon, DecodesThroughTheJpegDecoderLikeDjpeg) {
  std::vector<uint8_t> jpeg = icon_bytes();
  for (auto make : {make_bmp_decoder, make_png_decoder}) {
    auto decoder = make();
    DecodeContext context{jpeg};
    EXPECT_FALSE(decoder->accept(context)) << decoder->name();
  }
  testing::internal::CaptureStderr();
  Decoded decoded = decode_bytes(jpeg);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_TRUE(decoded.accepted);
  EXPECT_EQ(decoded.decoder, "JPEG");
  EXPECT_EQ(decoded.context.width, 16);
  EXPECT_EQ(decoded.context.height, 16);
  EXPECT_EQ(decoded.context.output_depth, 24);
  EXPECT_EQ(decoded.context.source_depth, 24);
  EXPECT_TRUE(decoded.decoded);
  EXPECT_EQ(decoded.image().rgba, read_netpbm(test_image_path("folder_icon.ref.pnm")).rgba);
}

}  // namespace
