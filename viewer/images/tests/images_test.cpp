// Numbered images over GDK pixbufs; runs against a private X server.
#include "images/images.h"

#include <gtest/gtest.h>
#include <gdk/gdk.h>

#include <algorithm>
#include <string>

#include "images/decoders/tests/decode_harness.h"
#include "images/folder_icon.h"
#include "gtk/gobject_ptr.h"

using gtk::GObjectPtr;
using namespace images;

namespace {

class ImagesTest : public testing::Test {
 protected:
  void SetUp() override {
    use_standard_decoders();
    init_images();
  }
  void TearDown() override { release_images(); }

  intptr_t decode_file(int number, const std::string& name) {
    auto data = read_file_bytes(test_image_path(name));
    return decode_image(number, {data.data(), data.size()});
  }
};

// The pixbuf's pixels as RGBA, for comparing with a reference.
RgbaImage pixbuf_image(GdkPixbuf* pixbuf) {
  RgbaImage image{gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf), {}};
  int channels = gdk_pixbuf_get_n_channels(pixbuf), pitch = gdk_pixbuf_get_rowstride(pixbuf);
  const guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      const guchar* p = pixels + y * pitch + x * channels;
      image.rgba.insert(image.rgba.end(), {p[0], p[1], p[2], channels == 4 ? p[3] : uint8_t(255)});
    }
  return image;
}

TEST_F(ImagesTest, TheFolderIconBecomesImageZero) {
  intptr_t handle = decode_image(0, {folder_icon_data, folder_icon_size});
  GdkPixbuf* pixbuf = image_handle(0);
  ASSERT_NE(pixbuf, nullptr);
  EXPECT_EQ(handle, reinterpret_cast<intptr_t>(pixbuf));
  EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), 16);
  EXPECT_EQ(gdk_pixbuf_get_height(pixbuf), 16);
  EXPECT_EQ(gdk_pixbuf_get_rowstride(pixbuf), 48);
  EXPECT_EQ(gdk_pixbuf_get_n_channels(pixbuf), 3);
  EXPECT_FALSE(gdk_pixbuf_get_has_alpha(pixbuf));
  EXPECT_EQ(gdk_pixbuf_get_bits_per_sample(pixbuf), 8);
  EXPECT_EQ(gdk_pixbuf_get_colorspace(pixbuf), GDK_COLORSPACE_RGB);
  EXPECT_EQ(pixbuf_image(pixbuf).rgba, read_netpbm(test_image_path("folder_icon.ref.pnm")).rgba);
}

TEST_F(ImagesTest, RowsArePaddedToFourBytesAtDepth24) {
  const struct {
    const char* file;
    int width;
    int pitch;
    bool alpha;
  } cases[] = {
      {"width_5.bmp", 5, 16, false},
      {"width_4.png", 4, 12, false},
      {"png_rgb_8.png", 13, 40, false},
      {"png_rgba_8.png", 13, 52, true},
  };
  int number = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ASSERT_NE(decode_file(number, c.file), 0);
    GdkPixbuf* pixbuf = image_handle(number++);
    ASSERT_NE(pixbuf, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), c.width);
    EXPECT_EQ(gdk_pixbuf_get_rowstride(pixbuf), c.pitch);
    EXPECT_EQ(gdk_pixbuf_get_has_alpha(pixbuf), c.alpha);
    std::string file = c.file;
    RgbaImage reference = read_netpbm(test_image_path(file.substr(0, file.rfind('.')) + ".ref.pnm"));
    EXPECT_EQ(pixbuf_image(pixbuf).rgba, reference.rgba);
  }
}

TEST_F(ImagesTest, UnrecognisedDataChangesNothing) {
  const uint8_t junk[] = "no image format starts like this";
  EXPECT_EQ(decode_image(3, {junk, sizeof junk}), 0);
  EXPECT_EQ(image_handle(3), nullptr);

  ASSERT_NE(decode_image(0, {folder_icon_data, folder_icon_size}), 0);
  GdkPixbuf* before = image_handle(0);
  EXPECT_EQ(decode_image(0, {junk, sizeof junk}), 0);
  EXPECT_EQ(image_handle(0), before);
  EXPECT_EQ(decode_image(0, {}), 0);
  EXPECT_EQ(image_handle(0), before);
}

TEST_F(ImagesTest, ImagesWithoutPixelsAreNotMade) {
  // A bitmap header of width 0.
  uint8_t empty[54] = {'B', 'M'};
  empty[10] = 54, empty[14] = 40, empty[22] = 1, empty[26] = 1, empty[28] = 24;
  EXPECT_EQ(decode_image(1, {empty, sizeof empty}), 0);
  EXPECT_EQ(image_handle(1), nullptr);
  EXPECT_EQ(decode_image(-2, {folder_icon_data, folder_icon_size}), 0);
}

TEST_F(ImagesTest, ANewImageUnderANumberReplacesTheOldOneWhoseHoldersKeepIt) {
  ASSERT_NE(decode_image(0, {folder_icon_data, folder_icon_size}), 0);
  // What a tree row does with the icon: holds its own reference.
  auto row_icon = GObjectPtr<GdkPixbuf>::share(image_handle(0));
  ASSERT_NE(decode_file(0, "png_rgb_8.png"), 0);
  ASSERT_NE(image_handle(0), row_icon.get());
  EXPECT_EQ(gdk_pixbuf_get_width(image_handle(0)), 13);
  EXPECT_EQ(pixbuf_image(row_icon.get()).rgba,
            read_netpbm(test_image_path("folder_icon.ref.pnm")).rgba);
}

TEST_F(ImagesTest, MinusOneChoosesAFreshNumber) {
  intptr_t first = decode_image(-1, {folder_icon_data, folder_icon_size});
  intptr_t second = decode_file(-1, "png_rgb_8.png");
  ASSERT_NE(first, 0);
  ASSERT_NE(second, 0);
  EXPECT_NE(first, second);
  ASSERT_NE(image_handle(int(first)), nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(image_handle(int(first))), 16);
  EXPECT_EQ(gdk_pixbuf_get_width(image_handle(int(second))), 13);
}

TEST_F(ImagesTest, ReleaseDropsEveryImageButNotTheReferencesOthersHold) {
  ASSERT_NE(decode_image(0, {folder_icon_data, folder_icon_size}), 0);
  ASSERT_NE(decode_file(5, "png_rgba_8.png"), 0);
  intptr_t automatic = decode_file(-1, "width_5.bmp");
  auto widget_icon = GObjectPtr<GdkPixbuf>::share(image_handle(0));
  release_images();
  EXPECT_EQ(image_handle(0), nullptr);
  EXPECT_EQ(image_handle(5), nullptr);
  EXPECT_EQ(image_handle(int(automatic)), nullptr);
  EXPECT_EQ(pixbuf_image(widget_icon.get()).rgba,
            read_netpbm(test_image_path("folder_icon.ref.pnm")).rgba);
}

TEST_F(ImagesTest, ADecodeThatStopsEarlyStillMakesTheWholeImage) {
  // The bottom rows of a bitmap come first; cut inside the fourth of nine.
  auto data = read_file_bytes(test_image_path("bmp_24.bmp"));
  RgbaImage reference = read_netpbm(test_image_path("bmp_24.ref.pnm"));
  size_t pixel_offset = data[10] | data[11] << 8;
  data.resize(pixel_offset + 3 * 40 + 20);
  ASSERT_NE(decode_image(0, {data.data(), data.size()}), 0);
  RgbaImage image = pixbuf_image(image_handle(0));
  ASSERT_EQ(image.height, 9);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 13; ++x) {
      const uint8_t* p = image.pixel(x, y);
      if (y >= 6) {
        EXPECT_TRUE(std::equal(p, p + 3, reference.pixel(x, y))) << x << "," << y;
      } else if (y < 5) {
        EXPECT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 0) << x << "," << y;
      }
    }
}

int hidden_small_windows() {
  GList* windows = gdk_screen_get_toplevel_windows(gdk_screen_get_default());
  int count = 0;
  for (GList* w = windows; w; w = w->next) {
    auto* window = static_cast<GdkWindow*>(w->data);
    int width = 0, height = 0;
    gdk_drawable_get_size(window, &width, &height);
    if (width == 10 && height == 10 && !gdk_window_is_visible(window)) ++count;
  }
  g_list_free(windows);
  return count;
}

// GDK keeps a hidden 10 x 10 window of its own, so windows are counted
// against the number without the image library's.
TEST_F(ImagesTest, KeepsAHiddenTenByTenWindowFromStartUpToRelease) {
  release_images();
  int others = hidden_small_windows();
  init_images();
  EXPECT_EQ(hidden_small_windows(), others + 1);
  release_images();
  EXPECT_EQ(hidden_small_windows(), others);
  init_images();
}

}  // namespace
