// Every row readable, as a user reads it off the screen: a deep row whole
// once the tree is scrolled sideways, the whole of a long name in a tooltip,
// and a right-to-left name next to its icon.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "app/tests/viewer_session.h"

namespace {

using namespace std::chrono_literals;

constexpr char Settings[] = "40\n30\n420\n360\n0\n0\nReading test\n";

// Two full blocks (U+2588): a solid patch no letter draws.
constexpr char Blocks[] = "\xE2\x96\x88\xE2\x96\x88";

// Whether the part of the picture within [left, right) × [top, bottom)
// holds a patch of at least size × size pixels of one colour other than
// `background`.
bool has_solid_patch(const x_inspect::Picture& picture, int left, int top, int right, int bottom,
                     unsigned long background, int size = 9) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, picture.width);
  bottom = std::min(bottom, picture.height);
  for (int y = top; y + size <= bottom; ++y)
    for (int x = left; x + size <= right; ++x) {
      const unsigned long colour = picture.at(x, y);
      if (colour == background) continue;
      bool solid = true;
      for (int dy = 0; dy < size && solid; ++dy)
        for (int dx = 0; dx < size && solid; ++dx) solid = picture.at(x + dx, y + dy) == colour;
      if (solid) return true;
    }
  return false;
}

// The commonest colour of a picture.
unsigned long commonest(const x_inspect::Picture& picture) {
  std::vector<std::pair<unsigned long, size_t>> counts;
  for (unsigned long c : picture.pixels) {
    auto it = std::find_if(counts.begin(), counts.end(), [&](const auto& p) { return p.first == c; });
    if (it == counts.end())
      counts.emplace_back(c, 1);
    else
      ++it->second;
  }
  return counts.empty() ? 0
                        : std::max_element(counts.begin(), counts.end(),
                                           [](const auto& a, const auto& b) { return a.second < b.second; })
                              ->first;
}

class TreeviewerReadingTest : public ViewerSession {
 protected:
  // The selected row's band in the tree, in the window's picture, probed
  // near the right edge of the view, and near its left edge where text
  // reaches the right one.
  std::optional<Band> selected_row(const TreeWindows& tree, const x_inspect::Picture& picture) {
    const x_inspect::Geometry inside = origin();
    const int top = tree.view->y - inside.y;
    const int left = tree.view->x - inside.x;
    for (const int column : {left + tree.view->width - 3, left + 3}) {
      const Band band = odd_band(picture, column, top, top + tree.view->height - 1);
      if (band.bottom - band.top >= 10) return band;
    }
    return std::nullopt;
  }
};

// Forty folders one inside the other, and a file at depth 40 whose name
// ends in two full blocks: opened and scrolled to its end, the row shows
// them.
TEST_F(TreeviewerReadingTest, TheDeepestRowShowsWholeOnceScrolledSideways) {
  std::string tree;
  for (int i = 0; i < 40; ++i) tree += std::to_string(i) + ",level " + std::to_string(i) + " folder name/\n";
  const std::string deepest = std::string("the deepest file.txt ") + Blocks;
  tree += "40," + deepest + "\n";
  ASSERT_TRUE(start(Settings, tree, "level 0 folder name")) << viewer->output();
  TreeWindows windows = tree_windows();
  ASSERT_TRUE(windows.view);
  const x_inspect::Geometry inside = origin();
  // The colour of the selected row, the only one so far.
  const std::optional<Band> first = selected_row(windows, x_inspect::screenshot(x.get(), window));
  ASSERT_TRUE(first);
  key(XK_Right, ShiftMask);
  key(XK_End);
  ASSERT_EQ(copied_row(), deepest);
  // The view gives up room to its scroll bars.
  windows = tree_windows();
  ASSERT_TRUE(windows.view);
  x_inspect::Picture picture;
  std::optional<Band> row;
  // The last row, at the foot of the view, once drawn selected: the rows
  // mostly of the selected row's colour (tree lines cross them).
  const auto selected_rows = [&] {
    Band band;
    const int left = windows.view->x - inside.x;
    for (int y = windows.view->y - inside.y; y < windows.view->y - inside.y + windows.view->height; ++y) {
      int count = 0;
      for (int x = left; x < left + windows.view->width; ++x) count += picture.at(x, y) == first->colour;
      if (2 * count < windows.view->width) continue;
      if (band.top < 0) band = {y, y, first->colour};
      band.bottom = y;
    }
    return band;
  };
  ASSERT_TRUE(x_inspect::wait_until(
      [&] {
        picture = x_inspect::screenshot(x.get(), window);
        const Band band = selected_rows();
        if (band.top < 0) return false;
        row = band;
        return row->top - (windows.view->y - inside.y) > windows.view->height / 2;
      },
      Deadline))
      << "selected colour " << std::hex << first->colour << std::dec << ", rows " << (row ? row->top : -1) << ".."
      << (row ? row->bottom : -1) << " in a view from " << windows.view->y - inside.y << ", "
      << windows.view->height << " high";
  const int left = windows.view->x - inside.x;
  const int right = left + windows.view->width;
  const auto blocks_shown = [&] {
    picture = x_inspect::screenshot(x.get(), window);
    return has_solid_patch(picture, left, row->top, right, row->bottom + 1, row->colour);
  };
  EXPECT_FALSE(blocks_shown()) << "the end of the row is in sight before scrolling";
  // The right arrow of the horizontal scroll bar, just below the view.
  const int arrow_x = windows.view->x + windows.view->width - 6;
  const int arrow_y = windows.view->y + windows.view->height + 6;
  EXPECT_TRUE(x_inspect::wait_until(blocks_shown, Deadline, [&] {
    x_inspect::click(x.get(), arrow_x, arrow_y, 1);
    settled();
  })) << "the row's end never came into sight";
  close_and_expect_quiet_end();
}

// Found with the find bar, the deepest row shows whole: the tree scrolls
// sideways to its text, above the bar.
TEST_F(TreeviewerReadingTest, ADeepMatchShowsWhole) {
  std::string tree;
  for (int i = 0; i < 40; ++i) tree += std::to_string(i) + ",level " + std::to_string(i) + " folder name/\n";
  tree += std::string("40,the deepest file.txt ") + Blocks + "\n";
  ASSERT_TRUE(start(Settings, tree, "level 0 folder name")) << viewer->output();
  key(XK_f, ControlMask);
  x_inspect::type_text(x.get(), "deepest");
  ASSERT_TRUE(settled());
  EXPECT_TRUE(x_inspect::wait_until(
      [&] {
        const TreeWindows windows = tree_windows();
        if (!windows.view || !windows.bar) return false;
        const x_inspect::Geometry inside = origin();
        const x_inspect::Picture picture = x_inspect::screenshot(x.get(), window);
        const int left = windows.view->x - inside.x;
        const std::optional<Band> row = selected_row(windows, picture);
        // The blocks on the selected row's background.
        return row && has_solid_patch(picture, left, row->top, left + windows.view->width, row->bottom + 1,
                                      row->colour);
      },
      Deadline));
  close_and_expect_quiet_end();
}

// A name longer than the tree is wide: hovering it shows the whole name,
// its end included, wrapped over more than one line.
TEST_F(TreeviewerReadingTest, HoveringACutNameShowsItWholeInATooltip) {
  std::string name;
  for (int i = 0; i < 10; ++i) name += "segment" + std::to_string(i) + " ";
  name += "and its very end ";
  name += Blocks;
  ASSERT_TRUE(start(Settings, "0,first\n0," + name + "\n0,last\n", "first")) << viewer->output();
  const TreeWindows windows = tree_windows();
  ASSERT_TRUE(windows.view);
  const x_inspect::Geometry inside = origin();
  const std::optional<Band> first = selected_row(windows, x_inspect::screenshot(x.get(), window));
  ASSERT_TRUE(first);
  const int height = first->bottom - first->top + 1;
  ASSERT_TRUE(x_inspect::popup_windows(x.get()).empty());
  const int row_y = inside.y + first->bottom + height / 2;
  x_inspect::move_pointer(x.get(), windows.view->x + 100, row_y);
  x_inspect::move_pointer(x.get(), windows.view->x + 110, row_y);
  std::vector<Window> popups;
  // The pointer rests: the tooltip comes after a pause of the pointer.
  ASSERT_TRUE(x_inspect::wait_until([&] { return !(popups = x_inspect::popup_windows(x.get())).empty(); },
                                    Deadline))
      << viewer->output();
  bool whole = false;
  int tooltip_height = 0;
  EXPECT_TRUE(x_inspect::wait_until(
      [&] {
        for (Window popup : x_inspect::popup_windows(x.get())) {
          const x_inspect::Picture tip = x_inspect::screenshot(x.get(), popup);
          tooltip_height = tip.height;
          if (has_solid_patch(tip, 0, 0, tip.width, tip.height, commonest(tip), 6)) whole = true;
        }
        return whole;
      },
      20s));
  // Two lines of text are higher than a row.
  EXPECT_GT(tooltip_height, height) << "one line only";
  close_and_expect_quiet_end();
}

// Under the first row: a left-to-right name and a right-to-left one, both
// files. Both start next to where an icon would be: the right-to-left one
// ends well before the left-to-right one does.
TEST_F(TreeviewerReadingTest, ARightToLeftNameStartsNextToItsIcon) {
  ASSERT_TRUE(start(Settings,
                    "0,first\n0,abc def ghi jkl mno\n0,\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D\n0,last\n", "first"))
      << viewer->output();
  const TreeWindows windows = tree_windows();
  ASSERT_TRUE(windows.view);
  const x_inspect::Geometry inside = origin();
  const x_inspect::Picture picture = x_inspect::screenshot(x.get(), window);
  const std::optional<Band> first = selected_row(windows, picture);
  ASSERT_TRUE(first);
  const int height = first->bottom - first->top + 1;
  const int left = windows.view->x - inside.x;
  const int right = left + windows.view->width;
  // The right end of the dark pixels of a row.
  const auto ink_end = [&](int row) {
    const int top = first->top + row * height;
    int end = -1;
    for (int y = top; y < top + height && y < picture.height; ++y)
      for (int x = left; x < right; ++x) {
        const unsigned long c = picture.at(x, y);
        const int luma = static_cast<int>((c >> 16 & 0xFF) + (c >> 8 & 0xFF) + (c & 0xFF)) / 3;
        if (luma < 100) end = std::max(end, x);
      }
    return end;
  };
  const int latin = ink_end(1);
  const int hebrew = ink_end(2);
  ASSERT_GT(latin, left + 40);
  ASSERT_GT(hebrew, left);
  EXPECT_LT(hebrew, latin - 40) << "the right-to-left name ends at " << hebrew << ", the other at " << latin;
  close_and_expect_quiet_end();
}

}  // namespace
