// The decoder list with decoders of the tests' own that record what is asked
// of them, and the start-up registration of the six formats.
#include "images/decoders/decoder_registry.h"

#include <gtest/gtest.h>

#include <string>

#include "images/decoders/decoders.h"

using namespace images;

namespace {

// What the fake decoders were asked, in order: "accept A", "decode A", ...
std::vector<std::string> calls;

struct FakeDecoder : ImageDecoder {
  std::string label;
  bool accepts = false;
  bool decodes = true;
  int32_t width = 3, height = 2, depth = 24;

  FakeDecoder(std::string l, bool a) : label(std::move(l)), accepts(a) {}
  const char* name() const override { return label.c_str(); }
  bool accept(DecodeContext& context) override {
    calls.push_back("accept " + label + (context.width ? " (dirty context)" : ""));
    // Leaves a mark, so that a context not cleared for the next one shows.
    context.width = 99;
    if (!accepts) return false;
    context.width = width;
    context.height = height;
    context.output_depth = depth;
    context.source_depth = 8;
    return true;
  }
  bool decode(DecodeContext&, uint8_t* pixels, size_t pitch, int flags) override {
    calls.push_back("decode " + label + " pitch " + std::to_string(pitch) + " flags " +
                    std::to_string(flags));
    pixels[0] = 42;
    return decodes;
  }
  void release(DecodeContext&) override { calls.push_back("release " + label); }
};

class DecoderRegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    init_decoders();
    calls.clear();
  }
  void TearDown() override { init_decoders(); }
  FakeDecoder& add(const std::string& label, bool accepts) {
    auto decoder = std::make_unique<FakeDecoder>(label, accepts);
    FakeDecoder& ref = *decoder;
    EXPECT_TRUE(register_decoder(std::move(decoder)));
    return ref;
  }
  const uint8_t data[4] = {1, 2, 3, 4};
};

TEST_F(DecoderRegistryTest, AsksInRegistrationOrderUntilOneAccepts) {
  add("A", false);
  add("B", true);
  add("C", true);
  ASSERT_TRUE(identify_image({data, sizeof data}));
  EXPECT_EQ(calls, (std::vector<std::string>{"accept A", "accept B"}));
  EXPECT_STREQ(accepted_decoder_name(), "B");
  EXPECT_EQ(decode_context().bytes.data(), data);
  EXPECT_EQ(decode_context().bytes.size(), sizeof data);
  EXPECT_EQ(decode_context().width, 3);
  EXPECT_EQ(decode_context().height, 2);
  EXPECT_EQ(decode_context().output_depth, 24);
  EXPECT_EQ(decode_context().source_depth, 8);
}

TEST_F(DecoderRegistryTest, NothingAcceptedLeavesAClearContext) {
  EXPECT_FALSE(identify_image({data, sizeof data}));  // no decoder at all
  add("A", false);
  EXPECT_FALSE(identify_image({data, sizeof data}));
  EXPECT_EQ(decode_context().width, 0);
  EXPECT_EQ(decode_context().bytes.data(), nullptr);
  EXPECT_STREQ(accepted_decoder_name(), "");
  EXPECT_FALSE(decode_pixels(nullptr, 0, 0));
  EXPECT_EQ(calls, (std::vector<std::string>{"accept A"}));
}

TEST_F(DecoderRegistryTest, DecodeRunsTheDecodeStepThenTheReleaseStep) {
  FakeDecoder& b = add("B", true);
  uint8_t pixels[64] = {};
  ASSERT_TRUE(identify_image({data, sizeof data}));
  EXPECT_TRUE(decode_pixels(pixels, 10, DecodeBottomToTop));
  EXPECT_EQ(pixels[0], 42);
  b.decodes = false;
  ASSERT_TRUE(identify_image({data, sizeof data}));
  EXPECT_FALSE(decode_pixels(pixels, 9, 0));
  EXPECT_EQ(calls, (std::vector<std::string>{"accept B", "decode B pitch 10 flags 2", "release B",
                                             "accept B", "decode B pitch 9 flags 0", "release B"}));
  // The decoder holds nothing any more.
  EXPECT_FALSE(decode_pixels(pixels, 10, 0));
  EXPECT_EQ(calls.size(), 6u);
}

TEST_F(DecoderRegistryTest, ReleaseWithoutDecoding) {
  add("A", true);
  ASSERT_TRUE(identify_image({data, sizeof data}));
  release_decoder();
  release_decoder();
  EXPECT_EQ(calls, (std::vector<std::string>{"accept A", "release A"}));
}

TEST_F(DecoderRegistryTest, IdentifyingAgainReleasesTheEarlierImage) {
  add("A", true);
  ASSERT_TRUE(identify_image({data, sizeof data}));
  ASSERT_TRUE(identify_image({data, sizeof data}));
  EXPECT_EQ(calls, (std::vector<std::string>{"accept A", "release A", "accept A"}));
}

TEST_F(DecoderRegistryTest, APitchTooSmallForARowIsNotHandedOn) {
  add("A", true);  // 3 pixels of 3 bytes
  uint8_t pixels[64] = {};
  ASSERT_TRUE(identify_image({data, sizeof data}));
  EXPECT_FALSE(decode_pixels(pixels, 8, 0));
  EXPECT_EQ(calls, (std::vector<std::string>{"accept A", "release A"}));
}

TEST_F(DecoderRegistryTest, SizesNoImageCanHaveCountAsRefusal) {
  const struct {
    int32_t width, height, depth;
  } cases[] = {{-1, 2, 24}, {40000, 1, 24}, {30000, 30000, 24}, {3, 2, 16}};
  for (const auto& c : cases) {
    init_decoders();
    calls.clear();
    FakeDecoder& odd = add("odd", true);
    odd.width = c.width, odd.height = c.height, odd.depth = c.depth;
    add("next", true);
    ASSERT_TRUE(identify_image({data, sizeof data}));
    EXPECT_STREQ(accepted_decoder_name(), "next");
    EXPECT_EQ(calls, (std::vector<std::string>{"accept odd", "release odd", "accept next"}));
  }
}

TEST_F(DecoderRegistryTest, TheThirtyFirstRegistrationIsRefused) {
  for (int i = 0; i < MaxDecoders; ++i) add(std::string("D").append(std::to_string(i)), false);
  EXPECT_FALSE(register_decoder(std::make_unique<FakeDecoder>("extra", true)));
  EXPECT_EQ(decoder_count(), MaxDecoders);
  EXPECT_FALSE(identify_image({data, sizeof data}));
  EXPECT_EQ(calls.size(), size_t(MaxDecoders));
}

TEST_F(DecoderRegistryTest, InitEmptiesTheListAndReleasesAHeldImage) {
  add("A", true);
  ASSERT_TRUE(identify_image({data, sizeof data}));
  init_decoders();
  EXPECT_EQ(decoder_count(), 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"accept A", "release A"}));
}

TEST_F(DecoderRegistryTest, NonJpegDataStartingWithTheJpegMarkerGoesOnToLaterDecoders) {
  register_decoder(make_jpeg_decoder());
  add("after JPEG", true);
  const uint8_t not_jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 'x', 'y', 0x12, 0x34};
  testing::internal::CaptureStderr();
  ASSERT_TRUE(identify_image({not_jpeg, sizeof not_jpeg}));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_STREQ(accepted_decoder_name(), "after JPEG");
}

const std::vector<std::string> StandardOrder = {"BMP", "PNG", "JPEG", "JPEG 2000", "TGA", "TIFF"};

std::vector<std::string> decoder_names() {
  std::vector<std::string> names;
  for (int i = 0; i < decoder_count(); ++i) names.emplace_back(decoder_name(i));
  return names;
}

TEST_F(DecoderRegistryTest, RegistersTheFormatsInOrderEachOnceInTheList) {
  register_bmp_decoder();
  register_png_decoder();
  register_jpeg_decoder();
  register_jpeg2000_decoder();
  register_tga_decoder();
  register_tiff_decoder();
  ASSERT_EQ(decoder_names(), StandardOrder);

  register_png_decoder();
  register_jpeg_decoder();
  register_jpeg2000_decoder();
  register_tga_decoder();
  register_tiff_decoder();
  EXPECT_EQ(decoder_names(), StandardOrder);
  register_bmp_decoder();  // registers on every call
  EXPECT_EQ(decoder_count(), 7);
  EXPECT_STREQ(decoder_name(6), "BMP");
}

TEST_F(DecoderRegistryTest, AnEmptiedListTakesEveryFormatAgain) {
  register_standard_decoders();
  init_decoders();
  register_png_decoder();
  register_tiff_decoder();
  EXPECT_EQ(decoder_names(), (std::vector<std::string>{"PNG", "TIFF"}));
}

TEST_F(DecoderRegistryTest, StartUpGivesTheSixFormatsHoweverOftenItRuns) {
  for (int run = 1; run <= 3; ++run) {
    register_standard_decoders();
    EXPECT_EQ(decoder_names(), StandardOrder) << "start-up run " << run;
  }
}

TEST_F(DecoderRegistryTest, AFormatAlreadyInTheListIsNotAddedTwice) {
  add("A", false);
  EXPECT_TRUE(register_decoder_once(std::make_unique<FakeDecoder>("A", true)));
  EXPECT_TRUE(register_decoder_once(std::make_unique<FakeDecoder>("B", true)));
  EXPECT_TRUE(register_decoder_once(std::make_unique<FakeDecoder>("B", true)));
  EXPECT_FALSE(register_decoder_once(nullptr));
  EXPECT_EQ(decoder_names(), (std::vector<std::string>{"A", "B"}));
  // The one first registered is the one asked.
  ASSERT_TRUE(identify_image({data, sizeof data}));
  EXPECT_EQ(calls, (std::vector<std::string>{"accept A", "accept B"}));
}

}  // namespace
