// The find bar as a user meets it: the match in sight above the bar, the bar
// kept while the template is still being read, the next and previous match,
// "no match" shown, and texts matched as the toolkit's type-ahead matches
// them. Run with and without a window manager.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "app/tests/viewer_session.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr char Settings[] = "40\n30\n420\n360\n0\n0\nFind test\n";

// Sixty rows: far more than the window shows.
std::string sixty_rows() {
  std::string rows;
  for (int i = 0; i < 60; ++i) rows += "0,row " + std::string(i < 10 ? "0" : "") + std::to_string(i) + "\n";
  return rows;
}

class TreeviewerFindTest : public ViewerSession {};

// Each match lies wholly inside the visible tree, above the bar, and the bar
// lies below the tree, its scroll bar included.
TEST_F(TreeviewerFindTest, TheMatchIsNeverUnderTheBar) {
  ASSERT_TRUE(start(Settings, sixty_rows(), "row 00")) << viewer->output();
  ASSERT_TRUE(whole_tree_loaded("row 59"));
  key(XK_Home);
  // A row in the middle first: how high a selected row shows.
  int row_height = 0;
  for (const char* needle : {"row 45", "row 59", "row 58", "row 03", "row 59"}) {
    key(XK_f, ControlMask);
    x_inspect::type_text(x.get(), needle);
    ASSERT_TRUE(settled());
    TreeWindows tree;
    Band band;
    const bool in_sight = x_inspect::wait_until(
        [&] {
          tree = tree_windows();
          if (!tree.view || !tree.bar) return false;
          const x_inspect::Geometry inside = origin();
          const x_inspect::Picture picture = x_inspect::screenshot(x.get(), window);
          const int top = tree.view->y - inside.y;
          const int bottom = top + tree.view->height - 1;
          band = odd_band(picture, tree.view->x - inside.x + tree.view->width - 6, top, bottom);
          if (row_height == 0 && band.top > top && band.bottom < bottom) row_height = band.bottom - band.top + 1;
          return band.top > top && band.bottom <= bottom && band.bottom - band.top + 1 == row_height &&
                 tree.bar->y >= tree.view->y + tree.view->height;
        },
        20s);
    EXPECT_TRUE(in_sight) << needle << ": selected rows " << band.top << ".." << band.bottom << " of "
                          << tree.view->y - origin().y << ".." << tree.view->y - origin().y + tree.view->height - 1
                          << ", row height " << row_height;
    ASSERT_TRUE(tree.view && tree.bar) << needle;
    EXPECT_GE(tree.bar->y, tree.view->y + tree.view->height) << needle;
    key(XK_Escape);
    EXPECT_EQ(copied_row(), needle);
  }
  close_and_expect_quiet_end();
}

// The template comes through a FIFO in two parts; the bar opened between
// them keeps the keyboard and its text when the second part has been read.
TEST_F(TreeviewerFindTest, TheBarOutlastsTheEndOfLoading) {
  const fs::path fifo = folder.path() / "tree_display_template.txt";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Not inherited by the viewer, which would then never see the end.
  const int writer = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  const std::string first = "0,alpha/\n1,alpha child\n0,beta\n0,gamma\n";
  ASSERT_EQ(write(writer, first.data(), first.size()), static_cast<ssize_t>(first.size()));
  folder.write("tree_window.ini", Settings);
  ASSERT_TRUE(start_viewer("alpha")) << viewer->output();
  key(XK_f, ControlMask);
  x_inspect::type_text(x.get(), "gam");
  ASSERT_TRUE(settled());
  const std::string second = "0,delta\n0,epsilon\n";
  ASSERT_EQ(write(writer, second.data(), second.size()), static_cast<ssize_t>(second.size()));
  close(writer);
  // The viewer lets go of the FIFO once it has read the whole template.
  const fs::path descriptors = "/proc/" + std::to_string(viewer->pid()) + "/fd";
  const fs::path template_file = fs::canonical(fifo);
  EXPECT_TRUE(x_inspect::wait_until(
      [&] {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(descriptors, error)) {
          std::error_code gone;
          if (fs::read_symlink(entry.path(), gone) == template_file) return false;
        }
        return !error;
      },
      Deadline));
  ASSERT_TRUE(settled());
  x_inspect::type_text(x.get(), "ma");
  // The bar's own text, selected and copied in the entry.
  key(XK_a, ControlMask);
  EXPECT_EQ(copied_row(), "gamma");
  key(XK_Escape);
  EXPECT_EQ(copied_row(), "gamma");
  key(XK_End);
  EXPECT_EQ(copied_row(), "epsilon");
  close_and_expect_quiet_end();
}

struct StepCase {
  const char* name;
  unsigned long key;
  unsigned modifiers;
  const char* expected;
};

void PrintTo(const StepCase& c, std::ostream* out) { *out << c.name; }

// Matches, in order: "match 1", "match 2" (inside a closed folder),
// "match 3".
constexpr char MatchTree[] = "0,match 1\n0,Folder/\n1,match 2\n0,other\n0,match 3\n";

class TreeviewerFindStepTest : public ViewerSession, public testing::WithParamInterface<StepCase> {};

// From the first match, "match 1": each key once in the bar, then each
// again from where it led, in the tree without the bar.
TEST_P(TreeviewerFindStepTest, GoesToTheNextOrPreviousMatchRoundTheEnds) {
  const StepCase& step = GetParam();
  ASSERT_TRUE(start(Settings, MatchTree, "match 1")) << viewer->output();
  key(XK_f, ControlMask);
  x_inspect::type_text(x.get(), "MATCH");
  key(step.key, step.modifiers);
  key(XK_Escape);
  EXPECT_EQ(copied_row(), step.expected) << "in the bar";
  // The bar is closed: Up and Down move the cursor, the find keys still find.
  const bool find_key = step.key != XK_Up && step.key != XK_Down && step.key != XK_Return;
  if (find_key) {
    key(XK_Home);
    key(step.key, step.modifiers);
    EXPECT_EQ(copied_row(), step.expected) << "in the tree";
  }
  close_and_expect_quiet_end();
}

INSTANTIATE_TEST_SUITE_P(
    Keys, TreeviewerFindStepTest,
    testing::Values(StepCase{"Down", XK_Down, 0, "match 2"}, StepCase{"Enter", XK_Return, 0, "match 2"},
                    StepCase{"CtrlG", XK_g, ControlMask, "match 2"}, StepCase{"F3", XK_F3, 0, "match 2"},
                    StepCase{"Up", XK_Up, 0, "match 3"},
                    StepCase{"ShiftCtrlG", XK_g, ControlMask | ShiftMask, "match 3"},
                    StepCase{"ShiftF3", XK_F3, ShiftMask, "match 3"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TreeviewerFindTest, StepsGoRoundTheTreeBothWays) {
  ASSERT_TRUE(start(Settings, MatchTree, "match 1")) << viewer->output();
  key(XK_f, ControlMask);
  x_inspect::type_text(x.get(), "match");
  const std::vector<std::pair<unsigned long, const char*>> steps = {
      {XK_Down, "match 2"}, {XK_Down, "match 3"}, {XK_Down, "match 1"},
      {XK_Up, "match 3"},   {XK_Up, "match 2"},   {XK_Up, "match 1"}};
  for (const auto& [step, expected] : steps) {
    key(step);
    key(XK_Escape);
    EXPECT_EQ(copied_row(), expected);
    key(XK_f, ControlMask);
  }
  close_and_expect_quiet_end();
}

// How many pixels of the bar show the colour of "no match".
size_t no_match_pixels(const TreeWindows& tree, const x_inspect::Picture& picture,
                       const x_inspect::Geometry& inside) {
  if (!tree.bar) return 0;
  size_t count = 0;
  for (int y = tree.bar->y - inside.y; y < tree.bar->y - inside.y + tree.bar->height; ++y)
    for (int x = tree.bar->x - inside.x; x < tree.bar->x - inside.x + tree.bar->width; ++x)
      if (y >= 0 && x >= 0 && y < picture.height && x < picture.width && picture.at(x, y) == 0xFF6666) ++count;
  return count;
}

TEST_F(TreeviewerFindTest, ANeedleThatMatchesNothingColoursTheBarAndSelectsNoRow) {
  ASSERT_TRUE(start(Settings, MatchTree, "match 1")) << viewer->output();
  key(XK_f, ControlMask);
  x_inspect::type_text(x.get(), "match 3");
  ASSERT_TRUE(settled());
  const auto bar_pixels = [&] { return no_match_pixels(tree_windows(), x_inspect::screenshot(x.get(), window), origin()); };
  ASSERT_TRUE(tree_windows().bar);
  EXPECT_EQ(bar_pixels(), 0u);
  x_inspect::type_text(x.get(), "x");
  ASSERT_TRUE(settled());
  // Most of the entry: its whole face but the frame and the text.
  EXPECT_TRUE(x_inspect::wait_until([&] { return bar_pixels() > 2000; }, 20s)) << bar_pixels();
  // No row is selected: Ctrl+C (in the tree, after Escape) copies the
  // cursor's row, where the last match was; the selection band is gone.
  const TreeWindows tree = tree_windows();
  ASSERT_TRUE(tree.view);
  const x_inspect::Geometry inside = origin();
  const int top = tree.view->y - inside.y;
  const Band band = odd_band(x_inspect::screenshot(x.get(), window),
                             tree.view->x - inside.x + tree.view->width - 6, top, top + tree.view->height - 1);
  EXPECT_LT(band.bottom - band.top, 5) << "selected rows " << band.top << ".." << band.bottom;
  // A matching text again: the colour goes.
  key(XK_BackSpace);
  ASSERT_TRUE(settled());
  EXPECT_TRUE(x_inspect::wait_until([&] { return bar_pixels() == 0; }, 20s)) << bar_pixels();
  key(XK_Escape);
  EXPECT_EQ(copied_row(), "match 3");
  close_and_expect_quiet_end();
}

struct FoldCase {
  const char* name;
  const char* typed;
  const char* found;
};

void PrintTo(const FoldCase& c, std::ostream* out) { *out << c.name; }

class TreeviewerFoldTest : public ViewerSession, public testing::WithParamInterface<FoldCase> {};

TEST_P(TreeviewerFoldTest, FindsTextsAsTheTypeAheadCompares) {
  ASSERT_TRUE(start(Settings,
                    "0,first\n0,\xC3\x89" "COLE\n0,cafe\xCC\x81\n0,Stra\xC3\x9F" "e\n0,last\n",
                    "first"))
      << viewer->output();
  key(XK_f, ControlMask);
  x_inspect::type_unicode(x.get(), GetParam().typed);
  key(XK_Escape);
  EXPECT_EQ(copied_row(), GetParam().found);
  close_and_expect_quiet_end();
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TreeviewerFoldTest,
    testing::Values(FoldCase{"AccentedCapitals", "\xC3\xA9" "cole", "\xC3\x89" "COLE"},
                    FoldCase{"PrecomposedAgainstCombining", "caf\xC3\xA9", "cafe\xCC\x81"},
                    FoldCase{"SharpS", "strasse", "Stra\xC3\x9F" "e"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
