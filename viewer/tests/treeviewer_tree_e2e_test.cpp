// treeviewer as a user meets it: run in a folder with a template, looked at
// on the screen of its own X server, driven from the keyboard and closed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "decoders/decoder_registry.h"
#include "decoders/decoders.h"
#include "folder_icon.h"
#include "images.h"
#include "scratch_folder.h"
#include "viewer_process.h"
#include "x_inspect.h"

// Last: the X headers' macros clash with the test framework's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// 0xRRGGBB pixels, row by row.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// The folder icon as the program decodes it (the decoders start once per
// process).
Picture decode_folder_icon() {
  Picture icon;
  init_decoders();
  register_jpeg_decoder();
  init_images();
  if (!decode_image(0, folder_icon_data, folder_icon_size)) return icon;
  GdkPixbuf* pixbuf = image_handle(0);
  icon.width = gdk_pixbuf_get_width(pixbuf);
  icon.height = gdk_pixbuf_get_height(pixbuf);
  const guchar* data = gdk_pixbuf_get_pixels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  for (int y = 0; y < icon.height; ++y)
    for (int x = 0; x < icon.width; ++x) {
      const guchar* p = data + y * stride + x * channels;
      icon.pixels.push_back(uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);
    }
  return icon;
}

const Picture& folder_icon_picture() {
  static const Picture icon = decode_folder_icon();
  return icon;
}

// What the screen shows of a window (a 24-bit true-colour screen).
Picture screenshot(Display* display, Window window) {
  Picture picture;
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return picture;
  XImage* image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes,
                            ZPixmap);
  if (!image) return picture;
  picture.width = attributes.width;
  picture.height = attributes.height;
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x)
      picture.pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF);
  XDestroyImage(image);
  return picture;
}

struct Place {
  int x;
  int y;
  bool operator==(const Place&) const = default;
};

void PrintTo(const Place& place, std::ostream* out) { *out << "(" << place.x << ", " << place.y << ")"; }

// Every place where the picture shows the icon pixel for pixel, top to
// bottom.
std::vector<Place> find_icon(const Picture& screen, const Picture& icon) {
  std::vector<Place> found;
  for (int y = 0; y + icon.height <= screen.height; ++y)
    for (int x = 0; x + icon.width <= screen.width; ++x) {
      bool same = true;
      for (int iy = 0; iy < icon.height && same; ++iy)
        for (int ix = 0; ix < icon.width && same; ++ix)
          same = screen.at(x + ix, y + iy) == icon.at(ix, iy);
      if (same) found.push_back({x, y});
    }
  return found;
}

void press_key(Display* display, KeySym key, bool shift) {
  const KeyCode shift_code = XKeysymToKeycode(display, XK_Shift_L);
  const KeyCode code = XKeysymToKeycode(display, key);
  if (shift) XTestFakeKeyEvent(display, shift_code, True, CurrentTime);
  XTestFakeKeyEvent(display, code, True, CurrentTime);
  XTestFakeKeyEvent(display, code, False, CurrentTime);
  if (shift) XTestFakeKeyEvent(display, shift_code, False, CurrentTime);
  XSync(display, False);
}

constexpr char kSettings[] = "40\n30\n400\n300\n0\n0\nTree test\n";

// Top-level rows: Alpha/ (with children), Beta/ (with a child), Gamma.txt,
// Delta/ (empty); Alpha/ holds Inner/ (with a child) and file1.txt.
constexpr char kTemplate[] =
    "0,Alpha/\n1,Inner/\n2,deep.txt\n1,file1.txt\n0,Beta/\n1,b.txt\n0,Gamma.txt\n0,Delta/\n";

std::string with_crlf(std::string text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

class TreeviewerTreeTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(x) << "no X display";
    icon = folder_icon_picture();
    ASSERT_EQ(icon.width, 16);
    ASSERT_EQ(icon.height, 16);
  }

  std::optional<Window> find_window(ViewerProcess& viewer) {
    const std::vector<Window> found = viewer_windows(x.get(), viewer);
    if (found.size() != 1) return std::nullopt;
    return found.front();
  }

  // Waits until the window shows the icon `count` times and returns where.
  std::vector<Place> icons_once_shown(Window window, size_t count) {
    std::vector<Place> places;
    x_inspect::wait_until(
        [&] {
          places = find_icon(screenshot(x.get(), window), icon);
          return places.size() == count;
        },
        10s);
    return places;
  }

  void close_and_expect_quiet_end(ViewerProcess& viewer, Window window) {
    x_inspect::send_delete_window(x.get(), window);
    EXPECT_EQ(viewer.exit_status(), 0);
    EXPECT_EQ(viewer.output(), "");
  }

  ScratchFolder folder;
  x_inspect::Connection x;
  Picture icon;
};

struct TemplateCase {
  const char* name;
  std::string tree;
};

void PrintTo(const TemplateCase& c, std::ostream* out) { *out << c.name; }

class TreeviewerTemplateTest : public TreeviewerTreeTest,
                               public testing::WithParamInterface<TemplateCase> {};

TEST_P(TreeviewerTemplateTest, ShowsTopLevelFoldersThenOpensARowFromTheKeyboard) {
  folder.write("tree_window.ini", kSettings);
  folder.write("tree_display_template.txt", GetParam().tree);
  ViewerProcess viewer(folder.path());
  std::optional<Window> window = find_window(viewer);
  ASSERT_TRUE(window) << viewer.output();

  // Collapsed: the icon beside Alpha/, Beta/ and Delta/ only, one row
  // apart, then two (Gamma.txt has none).
  std::vector<Place> places = icons_once_shown(*window, 3);
  ASSERT_EQ(places.size(), 3u);
  const int row = places[1].y - places[0].y;
  ASSERT_GT(row, 0);
  EXPECT_EQ(places[2].y - places[1].y, 2 * row);
  EXPECT_EQ(places[0].x, places[1].x);
  EXPECT_EQ(places[0].x, places[2].x);
  // Inside the tree, which starts at (10, 10).
  EXPECT_GT(places[0].x, 10);
  EXPECT_GT(places[0].y, 10);

  // Select Alpha/ with a click on its text, open it with "+".
  int origin_x = 0, origin_y = 0;
  Window child;
  XTranslateCoordinates(x.get(), *window, DefaultRootWindow(x.get()), 0, 0, &origin_x, &origin_y,
                        &child);
  x_inspect::click(x.get(), origin_x + places[0].x + 40, origin_y + places[0].y + 8, 1);
  press_key(x.get(), XK_KP_Add, false);

  // Open: Inner/ shows under Alpha/, indented, and the rows below move down
  // by the two children.
  std::vector<Place> opened = icons_once_shown(*window, 4);
  ASSERT_EQ(opened.size(), 4u);
  EXPECT_EQ(opened[0], places[0]);
  EXPECT_EQ(opened[1].y, places[0].y + row);
  EXPECT_GT(opened[1].x, places[0].x);
  EXPECT_EQ(opened[2], (Place{places[1].x, places[1].y + 2 * row}));
  EXPECT_EQ(opened[3], (Place{places[2].x, places[2].y + 2 * row}));

  close_and_expect_quiet_end(viewer, *window);
}

INSTANTIATE_TEST_SUITE_P(
    Treeviewer, TreeviewerTemplateTest,
    testing::Values(TemplateCase{"LineFeeds", kTemplate},
                    TemplateCase{"CarriageReturnLineFeedsAndByteOrderMark",
                                 "\xEF\xBB\xBF" + with_crlf(kTemplate)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TreeviewerTreeTest, WithoutATemplateTheTreeIsEmpty) {
  folder.write("tree_window.ini", kSettings);
  ViewerProcess viewer(folder.path());
  std::optional<Window> window = find_window(viewer);
  ASSERT_TRUE(window) << viewer.output();
  // The hidden icon widget at (680, 10) lies outside this window anyway;
  // nothing shows the icon.
  EXPECT_EQ(icons_once_shown(*window, 0).size(), 0u);
  close_and_expect_quiet_end(viewer, *window);
}

TEST_F(TreeviewerTreeTest, WithoutSettingsTheWindowStillOpensAndCloses) {
  folder.write("tree_display_template.txt", kTemplate);
  ViewerProcess viewer(folder.path());
  std::optional<Window> window = find_window(viewer);
  ASSERT_TRUE(window) << viewer.output();
  close_and_expect_quiet_end(viewer, *window);
}

TEST_F(TreeviewerTreeTest, ShiftRightOpensEveryLevelAndAnEmptyFolderNothing) {
  folder.write("tree_window.ini", kSettings);
  folder.write("tree_display_template.txt", "0,Empty/\n0,Full/\n1,Sub/\n2,Deeper/\n");
  ViewerProcess viewer(folder.path());
  std::optional<Window> window = find_window(viewer);
  ASSERT_TRUE(window) << viewer.output();
  std::vector<Place> places = icons_once_shown(*window, 2);
  ASSERT_EQ(places.size(), 2u);
  int origin_x = 0, origin_y = 0;
  Window child;
  XTranslateCoordinates(x.get(), *window, DefaultRootWindow(x.get()), 0, 0, &origin_x, &origin_y,
                        &child);
  x_inspect::click(x.get(), origin_x + places[0].x + 40, origin_y + places[0].y + 8, 1);
  press_key(x.get(), XK_Right, true);
  press_key(x.get(), XK_Down, false);
  press_key(x.get(), XK_Right, true);
  // Empty/ stays as it was; Full/ opens with all its levels.
  std::vector<Place> opened = icons_once_shown(*window, 4);
  ASSERT_EQ(opened.size(), 4u);
  EXPECT_EQ(opened[0], places[0]);
  EXPECT_EQ(opened[1], places[1]);
  const int row = places[1].y - places[0].y;
  EXPECT_EQ(opened[2].y, places[1].y + row);
  EXPECT_EQ(opened[3].y, places[1].y + 2 * row);
  EXPECT_GT(opened[2].x, places[1].x);
  EXPECT_GT(opened[3].x, opened[2].x);
  close_and_expect_quiet_end(viewer, *window);
}

}  // namespace
