// Keys and the row menu as a user meets them: closing from the keyboard,
// copying a row's path, and the menu opened by the mouse and the keyboard.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "app/tests/viewer_session.h"

namespace {

using namespace std::chrono_literals;

constexpr char Settings[] = "40\n30\n420\n360\n0\n0\nGestures test\n";
constexpr char BorderlessSettings[] = "40\n30\n420\n360\n0\n1\nGestures test\n";

// Alpha/ holds Inner/ (holding deep.txt) and inner.txt; Beta follows.
constexpr char Tree[] = "0,Alpha/\n1,Inner/\n2,deep.txt\n1,inner.txt\n0,Beta\n";

struct CloseCase {
  const char* name;
  const char* settings;
  bool in_find_bar;
  unsigned long key;
};

void PrintTo(const CloseCase& c, std::ostream* out) { *out << c.name; }

class TreeviewerCloseKeyTest : public ViewerSession, public testing::WithParamInterface<CloseCase> {};

TEST_P(TreeviewerCloseKeyTest, EndsTheProgramAsTheCloseButtonDoes) {
  ASSERT_TRUE(start(GetParam().settings, Tree, "Alpha")) << viewer->output();
  if (GetParam().in_find_bar) {
    key(XK_f, ControlMask);
    x_inspect::type_text(x.get(), "inner");
  }
  key(GetParam().key, ControlMask);
  EXPECT_EQ(viewer->exit_status(), 0);
  EXPECT_EQ(viewer->output(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Keys, TreeviewerCloseKeyTest,
    testing::Values(CloseCase{"CtrlW", Settings, false, XK_w}, CloseCase{"CtrlQ", Settings, false, XK_q},
                    CloseCase{"CtrlWInTheFindBar", Settings, true, XK_w},
                    CloseCase{"CtrlQInTheFindBar", Settings, true, XK_q},
                    CloseCase{"CtrlWBorderless", BorderlessSettings, false, XK_w}),
    [](const auto& info) { return std::string(info.param.name); });

// Escape closes the find bar only: the program goes on, the row found kept.
TEST_F(TreeviewerCloseKeyTest, EscapeInTheFindBarClosesOnlyTheBar) {
  ASSERT_TRUE(start(Settings, Tree, "Alpha")) << viewer->output();
  key(XK_f, ControlMask);
  x_inspect::type_text(x.get(), "beta");
  key(XK_Escape);
  key(XK_Escape);
  EXPECT_EQ(copied_row(), "Beta");
  EXPECT_FALSE(viewer->finished());
  close_and_expect_quiet_end();
}

class TreeviewerMenuTest : public ViewerSession {
 protected:
  // The popups on the screen that were not there before the menu was
  // opened (a window manager may keep popups of its own).
  std::vector<Window> new_popups() {
    std::vector<Window> found = x_inspect::popup_windows(x.get());
    std::erase_if(found, [&](Window w) { return std::find(before_.begin(), before_.end(), w) != before_.end(); });
    return found;
  }
  // Opens the menu with `opener`; true once it is on the screen and the
  // viewer has handled everything before.
  template <typename Opener>
  bool open_menu(Opener opener) {
    before_ = x_inspect::popup_windows(x.get());
    opener();
    return x_inspect::wait_until([&] { return !new_popups().empty(); }, Deadline) && settled();
  }
  bool open_menu_by_key(unsigned long keysym, unsigned modifiers) {
    return open_menu([&] { key(keysym, modifiers); });
  }
  // Presses the item's key, then waits until the menu has gone: keys typed
  // before then still go to the menu.
  bool choose(unsigned long item) {
    key(item);
    return x_inspect::wait_until([&] { return new_popups().empty(); }, Deadline) && settled();
  }

 private:
  std::vector<Window> before_;
};

TEST_F(TreeviewerMenuTest, CtrlShiftCCopiesThePathFromTheTopLevelDown) {
  ASSERT_TRUE(start(Settings, Tree, "Alpha")) << viewer->output();
  EXPECT_EQ(copied_row(ShiftMask), "Alpha");
  key(XK_Right, ShiftMask);
  key(XK_Down);
  EXPECT_EQ(copied_row(ShiftMask), "Alpha/Inner");
  key(XK_Down);
  EXPECT_EQ(copied_row(ShiftMask), "Alpha/Inner/deep.txt");
  key(XK_Down);
  EXPECT_EQ(copied_row(ShiftMask), "Alpha/inner.txt");
  EXPECT_EQ(copied_row(), "inner.txt");
  close_and_expect_quiet_end();
}

struct MenuCase {
  const char* name;
  unsigned long opener;  // 0: a right click on the row
  unsigned opener_modifiers;
  unsigned long item;  // the item's mnemonic, or Down and Enter for the second
  const char* copied;
};

void PrintTo(const MenuCase& c, std::ostream* out) { *out << c.name; }

class TreeviewerMenuCopyTest : public TreeviewerMenuTest, public testing::WithParamInterface<MenuCase> {};

// The menu of inner.txt copies its text or its path.
TEST_P(TreeviewerMenuCopyTest, CopiesTheRowsTextOrPath) {
  const MenuCase& c = GetParam();
  ASSERT_TRUE(start(Settings, Tree, "Alpha")) << viewer->output();
  key(XK_Right, ShiftMask);
  for (int i = 0; i < 3; ++i) key(XK_Down);
  ASSERT_EQ(copied_row(), "inner.txt");
  if (c.opener == 0) {
    // The cursor goes to Beta first: the click takes it back to inner.txt,
    // the fourth row.
    key(XK_Down);
    ASSERT_EQ(copied_row(), "Beta");
    ASSERT_TRUE(settled());
    // Row height from the rows' layout: Alpha's row starts the tree; the
    // rows are one height, and the click lands in the middle of the fourth.
    const TreeWindows tree = tree_windows();
    ASSERT_TRUE(tree.view);
    const x_inspect::Picture picture = x_inspect::screenshot(x.get(), window);
    const x_inspect::Geometry inside = origin();
    const int top = tree.view->y - inside.y;
    const Band selected = odd_band(picture, tree.view->x - inside.x + tree.view->width - 6, top,
                                   top + tree.view->height - 1);
    const int height = selected.bottom - selected.top + 1;
    ASSERT_GT(height, 10);
    ASSERT_TRUE(open_menu([&] { x_inspect::click(x.get(), tree.view->x + 120, selected.top + inside.y - height / 2, 3); }));
  } else {
    ASSERT_TRUE(open_menu_by_key(c.opener, c.opener_modifiers));
  }
  if (c.item == XK_Down) {
    key(XK_Down);
    ASSERT_TRUE(choose(XK_Return));
  } else {
    ASSERT_TRUE(choose(c.item));
  }
  EXPECT_EQ(clipboard(), c.copied);
  close_and_expect_quiet_end();
}

INSTANTIATE_TEST_SUITE_P(
    Openers, TreeviewerMenuCopyTest,
    testing::Values(MenuCase{"ShiftF10CopyPath", XK_F10, ShiftMask, XK_p, "Alpha/inner.txt"},
                    MenuCase{"ShiftF10Copy", XK_F10, ShiftMask, XK_c, "inner.txt"},
                    MenuCase{"MenuKeyCopyPath", XK_Menu, 0, XK_p, "Alpha/inner.txt"},
                    MenuCase{"MenuKeySecondItem", XK_Menu, 0, XK_Down, "Alpha/inner.txt"},
                    MenuCase{"RightClickCopyPath", 0, 0, XK_p, "Alpha/inner.txt"},
                    MenuCase{"RightClickCopy", 0, 0, XK_c, "inner.txt"}),
    [](const auto& info) { return std::string(info.param.name); });

// Expand All opens every row below Alpha/; Collapse All closes them again,
// and opening Alpha/ once more shows Inner/ closed.
TEST_F(TreeviewerMenuTest, ExpandAllAndCollapseAllActOnEverythingBelowTheRow) {
  ASSERT_TRUE(start(Settings, Tree, "Alpha")) << viewer->output();
  ASSERT_TRUE(open_menu_by_key(XK_F10, ShiftMask));
  ASSERT_TRUE(choose(XK_e));
  key(XK_Down);
  key(XK_Down);
  EXPECT_EQ(copied_row(), "deep.txt");
  key(XK_Home);
  ASSERT_TRUE(open_menu_by_key(XK_F10, ShiftMask));
  ASSERT_TRUE(choose(XK_o));
  key(XK_Down);
  EXPECT_EQ(copied_row(), "Beta");
  key(XK_Home);
  key(XK_Right);
  key(XK_Down);
  key(XK_Down);
  EXPECT_EQ(copied_row(), "inner.txt");
  close_and_expect_quiet_end();
}

}  // namespace
