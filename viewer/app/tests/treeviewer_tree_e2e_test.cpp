// treeviewer as a user meets it: run in a folder with a template, looked at
// on the screen of its own X server, driven from the keyboard and closed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
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

#include "images/decoders/decoder_registry.h"
#include "images/decoders/decoders.h"
#include "images/folder_icon.h"
#include "images/images.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/x_client_message.h"
#include "tests/viewer_process.h"
#include "tests/x_inspect.h"

// Last: the X headers' macros clash with the test framework's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

using namespace images;

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
  if (!decode_image(0, {folder_icon_data, folder_icon_size})) return icon;
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
  x_inspect::press_key(display, key, shift ? ShiftMask : 0);
}

constexpr char SettingsText[] = "40\n30\n400\n300\n0\n0\nTree test\n";

// Top-level rows: Alpha/ (with children), Beta/ (with a child), Gamma.txt,
// Delta/ (empty); Alpha/ holds Inner/ (with a child) and file1.txt.
constexpr char TemplateText[] =
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
        // Generous: a loaded machine or a sanitizer build draws late.
        60s);
    return places;
  }

  void close_and_expect_quiet_end(ViewerProcess& viewer, Window window) {
    test_support::send_delete_window(x.get(), window);
    EXPECT_EQ(viewer.exit_status(), 0);
    EXPECT_EQ(viewer.output(), "");
  }

  // Starts the viewer on the template and waits until its window shows the
  // folder icon `icons` times.
  std::optional<Window> start(ViewerProcess& viewer, size_t icons) {
    std::optional<Window> window = find_window(viewer);
    if (!window) return window;
    shown = icons_once_shown(*window, icons);
    if (shown.size() != icons) return std::nullopt;
    // The keyboard goes to it, as a window manager would arrange.
    XSetInputFocus(x.get(), *window, RevertToParent, CurrentTime);
    XSync(x.get(), False);
    return window;
  }

  // The text of the selected row, copied with Ctrl+C and read back from
  // the clipboard once the viewer has handled the key.
  std::string copied_row(Window window) {
    x_inspect::press_key(x.get(), XK_c, ControlMask);
    if (!x_inspect::answers_ping(x.get(), window, 20s)) return "(no answer to a ping)";
    return x_inspect::clipboard_text(x.get(), 20s).value_or("(nothing in the clipboard)");
  }

  // Where the window's inside starts on the screen.
  Place origin(Window window) {
    Place place{0, 0};
    Window child;
    XTranslateCoordinates(x.get(), window, DefaultRootWindow(x.get()), 0, 0, &place.x, &place.y, &child);
    return place;
  }

  test_support::ScratchFolder folder{TREE_TEST_SCRATCH};
  std::vector<Place> shown;
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
  folder.write("tree_window.ini", SettingsText);
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
    testing::Values(TemplateCase{"LineFeeds", TemplateText},
                    TemplateCase{"CarriageReturnLineFeedsAndByteOrderMark",
                                 "\xEF\xBB\xBF" + with_crlf(TemplateText)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TreeviewerTreeTest, WithoutATemplateTheTreeIsEmpty) {
  folder.write("tree_window.ini", SettingsText);
  ViewerProcess viewer(folder.path());
  std::optional<Window> window = find_window(viewer);
  ASSERT_TRUE(window) << viewer.output();
  // The hidden icon widget at (680, 10) lies outside this window anyway;
  // nothing shows the icon.
  EXPECT_EQ(icons_once_shown(*window, 0).size(), 0u);
  close_and_expect_quiet_end(viewer, *window);
}

TEST_F(TreeviewerTreeTest, WithoutSettingsTheWindowStillOpensAndCloses) {
  folder.write("tree_display_template.txt", TemplateText);
  ViewerProcess viewer(folder.path());
  std::optional<Window> window = find_window(viewer);
  ASSERT_TRUE(window) << viewer.output();
  close_and_expect_quiet_end(viewer, *window);
}

TEST_F(TreeviewerTreeTest, ShiftRightOpensEveryLevelAndAnEmptyFolderNothing) {
  folder.write("tree_window.ini", SettingsText);
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

// The text after the first comma is the name, commas and all; a folder loses
// only its final "/"; malformed bytes show as U+FFFD. Each row is read back
// with Ctrl+C, going down with the cursor key from the first row, which holds
// the cursor from the start.
TEST_F(TreeviewerTreeTest, ShowsNamesAsWritten) {
  folder.write("tree_window.ini", SettingsText);
  folder.write("tree_display_template.txt",
               "0,Smith, John/\n0,report, final.pdf\n0,x,y/\n0,a/,b\n0,caf\xE9 au lait\n"
               "0,a\xED\xA0\x80z\nno comma at all\n0,\xF0\x9F\x98\x80 end\n");
  ViewerProcess viewer(folder.path());
  const std::optional<Window> window = start(viewer, 2);
  ASSERT_TRUE(window) << viewer.output();
  // The folders are the first and the third row.
  const int row = (shown[1].y - shown[0].y) / 2;
  ASSERT_GT(row, 0);
  const std::vector<std::string> rows = {"Smith, John", "report, final.pdf", "x,y",
                                         "a/,b", "caf\xEF\xBF\xBD au lait",
                                         "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDz", "",
                                         "\xF0\x9F\x98\x80 end"};
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i > 0) x_inspect::press_key(x.get(), XK_Down);
    EXPECT_EQ(copied_row(*window), rows[i]) << "row " << i;
  }
  close_and_expect_quiet_end(viewer, *window);
}

// The first key acts on the first row; Right opens, Left closes or goes to
// the parent; Enter, Space and a double click open a closed folder and close
// an open one.
TEST_F(TreeviewerTreeTest, FoldersOpenAndCloseFromKeysAndDoubleClicks) {
  folder.write("tree_window.ini", SettingsText);
  folder.write("tree_display_template.txt", TemplateText);
  ViewerProcess viewer(folder.path());
  const std::optional<Window> window = start(viewer, 3);
  ASSERT_TRUE(window) << viewer.output();
  const std::vector<Place> closed = shown;
  // Alpha/ open shows Inner/ too.
  auto expect_alpha = [&](bool open, const char* after) {
    const std::vector<Place> now = icons_once_shown(*window, open ? 4 : 3);
    ASSERT_EQ(now.size(), open ? 4u : 3u) << "after " << after;
    if (open) {
      EXPECT_GT(now[1].x, closed[0].x) << "after " << after;
    }
  };

  x_inspect::press_key(x.get(), XK_Right);
  expect_alpha(true, "Right");
  x_inspect::press_key(x.get(), XK_Left);
  expect_alpha(false, "Left");
  x_inspect::press_key(x.get(), XK_Return);
  expect_alpha(true, "Enter");
  x_inspect::press_key(x.get(), XK_space);
  expect_alpha(false, "Space");
  x_inspect::press_key(x.get(), XK_KP_Enter);
  expect_alpha(true, "keypad Enter");
  x_inspect::press_key(x.get(), XK_Return);
  expect_alpha(false, "Enter again");

  const Place at = origin(*window);
  const int x_text = at.x + closed[0].x + 40;
  const int y_text = at.y + closed[0].y + 8;
  x_inspect::click(x.get(), x_text, y_text, 1);
  x_inspect::click(x.get(), x_text, y_text, 1);
  expect_alpha(true, "a double click");

  // Right on an open folder goes to its first child, Left on a closed
  // folder to its parent.
  x_inspect::press_key(x.get(), XK_Right);
  EXPECT_EQ(copied_row(*window), "Inner");
  x_inspect::press_key(x.get(), XK_Left);
  EXPECT_EQ(copied_row(*window), "Alpha");
  // Left on the open Alpha/ closes it.
  x_inspect::press_key(x.get(), XK_Left);
  expect_alpha(false, "Left on the open folder");
  close_and_expect_quiet_end(viewer, *window);
}

// Ctrl+F finds a row anywhere, inside closed folders too, opening the folders
// above it; Ctrl+G, F3 and Enter in the find bar go to the next match, round
// to the first; typing in the tree starts a search as well.
TEST_F(TreeviewerTreeTest, FindReachesRowsInsideClosedFolders) {
  folder.write("tree_window.ini", SettingsText);
  folder.write("tree_display_template.txt",
               "0,Top/\n1,Middle/\n2,Match one\n0,Other/\n1,match two\n0,Last\n");
  ViewerProcess viewer(folder.path());
  const std::optional<Window> window = start(viewer, 2);
  ASSERT_TRUE(window) << viewer.output();

  x_inspect::press_key(x.get(), XK_f, ControlMask);
  x_inspect::type_text(x.get(), "match");
  // Top/ and Middle/ open: three icons above Other/.
  EXPECT_EQ(icons_once_shown(*window, 3).size(), 3u);
  x_inspect::press_key(x.get(), XK_Escape);
  EXPECT_EQ(copied_row(*window), "Match one");

  x_inspect::press_key(x.get(), XK_g, ControlMask);
  EXPECT_EQ(copied_row(*window), "match two");
  x_inspect::press_key(x.get(), XK_F3);
  EXPECT_EQ(copied_row(*window), "Match one");

  // Ctrl+F again keeps the text; Enter goes on from the cursor.
  x_inspect::press_key(x.get(), XK_f, ControlMask);
  x_inspect::press_key(x.get(), XK_Return);
  x_inspect::press_key(x.get(), XK_Escape);
  EXPECT_EQ(copied_row(*window), "match two");

  // Typing in the tree: "la" finds Last.
  x_inspect::type_text(x.get(), "la");
  x_inspect::press_key(x.get(), XK_Escape);
  EXPECT_EQ(copied_row(*window), "Last");
  close_and_expect_quiet_end(viewer, *window);
}

// A line of ten million characters: the window comes up with the rows after
// it drawn, and the close request is honoured.
TEST_F(TreeviewerTreeTest, VeryLongLineShowsAndCloses) {
  folder.write("tree_window.ini", SettingsText);
  folder.write("tree_display_template.txt",
               "0,Before/\n0," + std::string(10'000'000, 'x') + "\n0,After/\n");
  ViewerProcess viewer(folder.path());
  const std::optional<Window> window = start(viewer, 2);
  ASSERT_TRUE(window) << viewer.output();
  EXPECT_EQ(shown[0].x, shown[1].x);
  close_and_expect_quiet_end(viewer, *window);
}

// Tens of thousands of top-level rows, read in one go: the first row shows
// at the top holding the cursor, and the last one is there to go to.
TEST_F(TreeviewerTreeTest, ManyTopLevelRowsAllReachTheView) {
  folder.write("tree_window.ini", SettingsText);
  std::string rows = "0,First/\n";
  for (int i = 1; i <= 50'000; ++i) rows += "0,row " + std::to_string(i) + "\n";
  rows += "0,Last/\n";
  folder.write("tree_display_template.txt", rows);
  ViewerProcess viewer(folder.path());
  // Only the first folder is in sight.
  const std::optional<Window> window = start(viewer, 1);
  ASSERT_TRUE(window) << viewer.output();
  EXPECT_EQ(copied_row(*window), "First");
  // The rows arrive slice by slice: until the last has, End lands on
  // whichever row is last so far.
  std::string last;
  EXPECT_TRUE(x_inspect::wait_until(
      [&] {
        x_inspect::press_key(x.get(), XK_End);
        return (last = copied_row(*window)) == "Last";
      },
      120s))
      << last;
  x_inspect::press_key(x.get(), XK_Up);
  EXPECT_EQ(copied_row(*window), "row 50000");
  x_inspect::press_key(x.get(), XK_Home);
  EXPECT_EQ(copied_row(*window), "First");
  close_and_expect_quiet_end(viewer, *window);
}

// A template that is a FIFO whose writer never closes it: the rows written
// show, and the close request ends the program.
TEST_F(TreeviewerTreeTest, FifoTemplateWithAWriterThatNeverCloses) {
  folder.write("tree_window.ini", SettingsText);
  const fs::path fifo = folder.path() / "tree_display_template.txt";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Opened for reading and writing, the FIFO has a writer from now on
  // without waiting for a reader.
  const int writer = open(fifo.c_str(), O_RDWR);
  ASSERT_GE(writer, 0);
  const std::string rows = "0,One/\n0,Two/\n0,Three";
  ASSERT_EQ(write(writer, rows.data(), rows.size()), static_cast<ssize_t>(rows.size()));
  ViewerProcess viewer(folder.path());
  const std::optional<Window> window = start(viewer, 2);
  EXPECT_TRUE(window) << viewer.output();
  if (window) {
    close_and_expect_quiet_end(viewer, *window);
  }
  close(writer);
}

// A FIFO that the viewer opens before any writer: it waits for one, shows
// what it writes, and takes the writer's close as the end of the template.
TEST_F(TreeviewerTreeTest, FifoTemplateWhoseWriterComesLater) {
  folder.write("tree_window.ini", SettingsText);
  const fs::path fifo = folder.path() / "tree_display_template.txt";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ViewerProcess viewer(folder.path());
  const std::optional<Window> window = start(viewer, 0);
  ASSERT_TRUE(window) << viewer.output();
  // Without waiting, a FIFO opens for writing only once a reader holds it.
  int writer = -1;
  ASSERT_TRUE(x_inspect::wait_until([&] { return (writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; },
                                    20s))
      << "the viewer never opened the FIFO for reading";
  const std::string rows = "0,One/\n0,Two/\n0,Three/\n";
  ASSERT_EQ(write(writer, rows.data(), rows.size()), static_cast<ssize_t>(rows.size()));
  close(writer);
  EXPECT_EQ(icons_once_shown(*window, 3).size(), 3u);
  close_and_expect_quiet_end(viewer, *window);
}

// A template without end (/dev/zero: an endless run of empty lines): the
// window comes up and the close request ends the program at once.
TEST_F(TreeviewerTreeTest, EndlessTemplateStillCloses) {
  folder.write("tree_window.ini", SettingsText);
  fs::create_symlink("/dev/zero", folder.path() / "tree_display_template.txt");
  ViewerProcess viewer(folder.path());
  const std::optional<Window> window = find_window(viewer);
  ASSERT_TRUE(window) << viewer.output();
  close_and_expect_quiet_end(viewer, *window);
}

}  // namespace
