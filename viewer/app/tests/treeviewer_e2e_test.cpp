// The built treeviewer, run in a folder of its own against the test's X
// server: what the server reports about its window, and how it ends.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/scratch_folder.h"
#include "tests/support/x_client_message.h"
#include "tests/viewer_process.h"
#include "tests/x_inspect.h"

namespace {

using namespace std::chrono_literals;
using x_inspect::Geometry;
namespace fs = std::filesystem;

class TreeviewerTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(x) << "no X display"; }

  // The program's one visible window; on failure, says why in `problem`.
  std::optional<Window> find_window(ViewerProcess& viewer) {
    const std::vector<Window> found = viewer_windows(x.get(), viewer);
    if (found.size() == 1) return found.front();
    problem = found.empty() ? (viewer.finished() ? "ended without a window" : "no window within 30 s")
                            : std::to_string(found.size()) + " windows";
    problem += "; output: " + viewer.output();
    return std::nullopt;
  }

  // Closes the window the way a window manager does and expects a quiet end
  // with status 0.
  void close_and_expect_quiet_end(ViewerProcess& viewer, Window window) {
    test_support::send_delete_window(x.get(), window);
    EXPECT_EQ(viewer.exit_status(), 0);
    EXPECT_EQ(viewer.output(), "");
  }

  test_support::ScratchFolder folder{TREE_TEST_SCRATCH};
  x_inspect::Connection x;
  std::string problem;
};

struct ViewerCase {
  const char* name;
  std::optional<std::string> settings;  // nothing: no settings file
  std::optional<std::string> tree;      // nothing: no template
  // A width or height of 0 leaves that extent to the window's content (the
  // toolkit's natural size): only the position is checked then.
  Geometry geometry;
  std::string title;
  long decorations;
};

void PrintTo(const ViewerCase& test, std::ostream* out) { *out << test.name; }

class TreeviewerWindowTest : public TreeviewerTest, public testing::WithParamInterface<ViewerCase> {};

TEST_P(TreeviewerWindowTest, ShowsTheWindowTheSettingsDescribeAndEndsOnClose) {
  const ViewerCase& test = GetParam();
  if (test.settings) folder.write("tree_window.ini", *test.settings);
  if (test.tree) folder.write("tree_display_template.txt", *test.tree);
  ViewerProcess viewer(folder.path());
  const auto window = find_window(viewer);
  ASSERT_TRUE(window) << problem;

  const auto shown = x_inspect::geometry(x.get(), *window);
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->x, test.geometry.x);
  EXPECT_EQ(shown->y, test.geometry.y);
  if (test.geometry.width) {
    EXPECT_EQ(shown->width, test.geometry.width);
  }
  if (test.geometry.height) {
    EXPECT_EQ(shown->height, test.geometry.height);
  }
  EXPECT_EQ(x_inspect::property_bytes(x.get(), *window, "_NET_WM_NAME"), test.title);
  const auto motif = x_inspect::motif_hints(x.get(), *window);
  ASSERT_TRUE(motif);
  EXPECT_EQ(motif->functions, 0x24);
  EXPECT_EQ(motif->decorations, test.decorations);
  // The user cannot resize it: its minimum and maximum size are its size.
  const auto hints = x_inspect::size_hints(x.get(), *window);
  ASSERT_TRUE(hints);
  EXPECT_EQ(hints->flags & (PMinSize | PMaxSize), PMinSize | PMaxSize);
  if (test.geometry.width) {
    EXPECT_EQ(hints->min_width, test.geometry.width);
    EXPECT_EQ(hints->max_width, test.geometry.width);
  }
  if (test.geometry.height) {
    EXPECT_EQ(hints->min_height, test.geometry.height);
    EXPECT_EQ(hints->max_height, test.geometry.height);
  }

  close_and_expect_quiet_end(viewer, *window);
}

const std::string SmallTree = "0,Root\n1,Docs/\n2,readme.txt\n";

INSTANTIATE_TEST_SUITE_P(
    Settings, TreeviewerWindowTest,
    testing::Values(
        ViewerCase{"Complete", "100\n50\n400\n300\n0\n0\nMy tree\n", SmallTree, {100, 50, 400, 300}, "My tree", 0x1a},
        ViewerCase{"Borderless", "100\n50\n400\n300\n0\n1\nMy tree\n", SmallTree, {100, 50, 400, 300}, "My tree", 0},
        ViewerCase{"CrLf", "100\r\n50\r\n400\r\n300\r\n0\r\n1\r\nMy tree\r\n", SmallTree, {100, 50, 400, 300},
                   "My tree", 0},
        ViewerCase{"Utf8Title", "30\n40\n320\n200\n0\n0\nB\xC3\xA4ume \xE2\x82\xAC \xF0\x9F\x98\x80\n",
                   std::nullopt, {30, 40, 320, 200}, "B\xC3\xA4ume \xE2\x82\xAC \xF0\x9F\x98\x80", 0x1a},
        ViewerCase{"FewerThanSevenLines", "100\n50\n400\n", SmallTree, {100, 50, 400, 640}, "", 0x1a},
        ViewerCase{"SettingsMissing", std::nullopt, SmallTree, {0, 0, 480, 640}, "", 0x1a},
        ViewerCase{"NegativeSize", "10\n20\n-20\n-20\n0\n0\nSmall\n", SmallTree, {10, 20, 480, 640}, "Small", 0x1a},
        ViewerCase{"ZeroWidth", "10\n20\n0\n300\n0\n0\nNarrow\n", SmallTree, {10, 20, 480, 300}, "Narrow", 0x1a},
        ViewerCase{"SmallSizeKept", "10\n20\n1\n2\n0\n0\nTiny\n", SmallTree, {10, 20, 1, 2}, "Tiny", 0x1a},
        ViewerCase{"ByteOrderMark", "\xEF\xBB\xBF" "100\n50\n400\n300\n0\n0\nMy tree\n", SmallTree, {100, 50, 400, 300},
                   "My tree", 0x1a},
        ViewerCase{"MalformedTitle", "30\n40\n320\n200\n0\n0\ncaf\xE9 au lait \xED\xA0\x80!\n", SmallTree,
                   {30, 40, 320, 200}, "caf\xEF\xBF\xBD au lait \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD!", 0x1a},
        ViewerCase{"WidthBeyondX", "0\n0\n100000\n300\n0\n0\nWide\n", std::nullopt, {0, 0, 32767, 300},
                   "Wide", 0x1a},
        ViewerCase{"HeightBeyondX", "0\n0\n300\n70000\n0\n0\nTall\n", std::nullopt, {0, 0, 300, 32767},
                   "Tall", 0x1a}),
    [](const testing::TestParamInfo<ViewerCase>& info) { return std::string(info.param.name); });

TEST_F(TreeviewerTest, OnlyTheCloseRequestEndsIt) {
  folder.write("tree_window.ini", "60\n70\n300\n200\n0\n0\nStay\n");
  folder.write("tree_display_template.txt", SmallTree);
  ViewerProcess viewer(folder.path());
  const auto window = find_window(viewer);
  ASSERT_TRUE(window) << problem;
  // Pointer motion, clicks and focus changes are read and ignored.
  x_inspect::move_pointer(x.get(), 100, 100);
  x_inspect::click(x.get(), 150, 120, 1);
  x_inspect::click(x.get(), 160, 130, 3);
  XSetInputFocus(x.get(), *window, RevertToNone, CurrentTime);
  x_inspect::press_key(x.get(), XK_Return);
  x_inspect::press_key(x.get(), XK_c, ControlMask);
  x_inspect::press_key(x.get(), XK_f, ControlMask);
  x_inspect::type_text(x.get(), "Docs");
  x_inspect::press_key(x.get(), XK_Escape);
  // The answer to a ping sent after the input comes once the viewer has
  // handled all of it.
  ASSERT_TRUE(x_inspect::answers_ping(x.get(), *window, 20s)) << "no answer to a ping after the input";
  EXPECT_FALSE(viewer.finished()) << "ended on other input than the close request";
  EXPECT_TRUE(x_inspect::is_viewable(x.get(), *window));
  close_and_expect_quiet_end(viewer, *window);
}

// Without a display a script must be able to tell: one line on standard
// error, naming the display, and status 1.
TEST_F(TreeviewerTest, SaysSoWithoutADisplay) {
  folder.write("tree_window.ini", "60\n70\n300\n200\n0\n0\nNowhere\n");
  {
    ViewerProcess viewer(folder.path(), false);
    EXPECT_EQ(viewer.exit_status(), 1);
    const std::string said = viewer.output();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("DISPLAY"), std::string::npos) << said;
  }
  {
    ViewerProcess viewer(folder.path(), true, ":4711");
    EXPECT_EQ(viewer.exit_status(), 1);
    const std::string said = viewer.output();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(":4711"), std::string::npos) << said;
  }
}

// A settings file that is a FIFO is not read: the start does not wait for a
// writer, and the window has the default size.
TEST_F(TreeviewerTest, SettingsFifoIsPassedOver) {
  ASSERT_EQ(mkfifo((folder.path() / "tree_window.ini").c_str(), 0600), 0);
  folder.write("tree_display_template.txt", SmallTree);
  ViewerProcess viewer(folder.path());
  const auto window = find_window(viewer);
  ASSERT_TRUE(window) << problem;
  const auto shown = x_inspect::geometry(x.get(), *window);
  ASSERT_TRUE(shown);
  EXPECT_EQ(*shown, (Geometry{0, 0, 480, 640}));
  close_and_expect_quiet_end(viewer, *window);
}

// Keep-above is carried out by the window manager: these run under openbox
// (TREE_TEST_WM=openbox).
class TreeviewerWindowManagerTest : public TreeviewerTest {
 protected:
  void SetUp() override {
    const char* wm = std::getenv("TREE_TEST_WM");
    if (!wm || std::string(wm) != "openbox") GTEST_SKIP() << "needs TREE_TEST_WM=openbox";
    TreeviewerTest::SetUp();
    ASSERT_TRUE(x_inspect::window_manager_running(x.get()));
  }

  // Runs the viewer with keep-above set as given and reports whether the
  // window manager keeps its window above the others.
  void expect_above(const char* keep_above_line, bool above) {
    folder.write("tree_window.ini", std::string("100\n50\n400\n300\n") + keep_above_line + "\n0\nAbove\n");
    folder.write("tree_display_template.txt", SmallTree);
    ViewerProcess viewer(folder.path());
    const auto window = find_window(viewer);
    ASSERT_TRUE(window) << problem;
    // Managed: the window manager has set WM_STATE to normal.
    ASSERT_TRUE(x_inspect::wait_until(
        [&] { return x_inspect::cardinals(x.get(), *window, "WM_STATE") == std::vector<long>{NormalState, 0}; },
        10s));
    const auto is_above = [&] { return x_inspect::has_atom(x.get(), *window, "_NET_WM_STATE", "_NET_WM_STATE_ABOVE"); };
    if (above) {
      EXPECT_TRUE(x_inspect::wait_until(is_above, 10s));
    } else {
      // Whatever the viewer asked of the window manager it asked before it
      // answers the ping, and the manager has dealt with it once it has
      // taken in a window mapped after that.
      ASSERT_TRUE(x_inspect::answers_ping(x.get(), *window, 20s)) << "the viewer did not answer a ping";
      ASSERT_TRUE(x_inspect::window_manager_caught_up(x.get(), 20s)) << "openbox did not take in a probe window";
      EXPECT_FALSE(is_above());
    }
    const auto motif = x_inspect::motif_hints(x.get(), *window);
    ASSERT_TRUE(motif);
    EXPECT_EQ(motif->decorations, 0x1a);
    EXPECT_EQ(motif->functions, 0x24);
    close_and_expect_quiet_end(viewer, *window);
  }
};

TEST_F(TreeviewerWindowManagerTest, KeepAboveOnWhenLineFiveIsOne) { expect_above("1", true); }

TEST_F(TreeviewerWindowManagerTest, KeepAboveOffOtherwise) { expect_above("2", false); }

}  // namespace
