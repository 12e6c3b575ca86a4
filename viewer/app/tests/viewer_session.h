// One treeviewer run for an end-to-end test: started in a scratch folder on
// the test's X server, its window found and given the keyboard, read back as
// a user would (the clipboard, the screen, the windows the server knows).
// Include after gtest (see viewer_process.h).
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/scratch_folder.h"
#include "tests/support/x_client_message.h"
#include "tests/viewer_process.h"
#include "tests/x_inspect.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

// The windows of the tree: its view and, while it is open, the find bar.
struct TreeWindows {
  std::optional<x_inspect::Geometry> view;
  std::optional<x_inspect::Geometry> bar;
};

class ViewerSession : public testing::Test {
 protected:
  static constexpr std::chrono::seconds Deadline{60};

  void SetUp() override {
    ASSERT_TRUE(x) << "no X display";
    // Every toolkit window an X window of its own, so that the server can
    // tell where the tree and its find bar lie.
    setenv("GDK_NATIVE_WINDOWS", "1", 1);
  }

  // Writes the settings and the template and starts the viewer; true once
  // its window has the keyboard and the first row holds the cursor (its
  // text copied is `first_row`).
  bool start(const std::string& settings, const std::string& tree, const std::string& first_row) {
    folder.write("tree_window.ini", settings);
    if (!tree.empty()) folder.write("tree_display_template.txt", tree);
    return start_viewer(first_row);
  }

  bool start_viewer(const std::string& first_row) {
    viewer.emplace(folder.path());
    const std::vector<Window> found = viewer_windows(x.get(), *viewer);
    if (found.size() != 1) return false;
    window = found.front();
    if (!x_inspect::wait_until([&] { return x_inspect::is_viewable(x.get(), window); }, Deadline)) return false;
    XSetInputFocus(x.get(), window, RevertToParent, CurrentTime);
    XSync(x.get(), False);
    return x_inspect::wait_until([&] { return copied_row() == first_row; }, Deadline);
  }

  // Waits until the viewer has handled every key sent so far.
  bool settled() { return x_inspect::answers_ping(x.get(), window, Deadline); }

  // The row's text, copied with Ctrl+C (or the path with Ctrl+Shift+C).
  std::string copied_row(unsigned extra_modifiers = 0) {
    x_inspect::press_key(x.get(), XK_c, ControlMask | extra_modifiers);
    return clipboard();
  }

  std::string clipboard() {
    if (!settled()) return "(no answer to a ping)";
    return x_inspect::clipboard_text(x.get(), Deadline).value_or("(nothing in the clipboard)");
  }

  // Presses End until the cursor lands on the template's last row: the
  // rows arrive slice by slice, and a slow build takes long to read them.
  bool whole_tree_loaded(const std::string& last_row) {
    return x_inspect::wait_until(
        [&] {
          x_inspect::press_key(x.get(), XK_End);
          return copied_row() == last_row;
        },
        std::chrono::seconds(120));
  }

  void key(unsigned long keysym, unsigned modifiers = 0) { x_inspect::press_key(x.get(), keysym, modifiers); }

  void close_and_expect_quiet_end() {
    test_support::send_delete_window(x.get(), window);
    EXPECT_EQ(viewer->exit_status(), 0);
    EXPECT_EQ(viewer->output(), "");
  }

  // The windows of the tree: the mapped children of the window's widget
  // container.
  TreeWindows tree_windows() {
    TreeWindows found;
    for (const x_inspect::Descendant& d : x_inspect::descendants(x.get(), window)) {
      if (d.depth != 2 || !d.mapped || !d.input_output) continue;
      // The bar is one entry high; the view is the rest of the tree.
      if (d.place.height < 50)
        found.bar = d.place;
      else if (!found.view || d.place.height * d.place.width > found.view->height * found.view->width)
        found.view = d.place;
    }
    return found;
  }

  // Where the window's inside starts on the screen.
  x_inspect::Geometry origin() { return x_inspect::geometry(x.get(), window).value_or(x_inspect::Geometry{}); }

  test_support::ScratchFolder folder{TREE_TEST_SCRATCH};
  x_inspect::Connection x;
  std::optional<ViewerProcess> viewer;
  Window window = 0;
};

// The rows (top and bottom, in the picture's coordinates) of the longest
// run in column `column` whose colour is not the column's commonest one,
// from `top` down to `bottom`: the selected row in a tree whose other rows
// show the plain background there.
struct Band {
  int top = -1;
  int bottom = -1;
  unsigned long colour = 0;
};
inline Band odd_band(const x_inspect::Picture& picture, int column, int top, int bottom) {
  Band best;
  if (column < 0 || column >= picture.width) return best;
  top = std::max(top, 0);
  bottom = std::min(bottom, picture.height - 1);
  std::vector<std::pair<unsigned long, int>> counts;
  for (int y = top; y <= bottom; ++y) {
    const unsigned long c = picture.at(column, y);
    auto it = std::find_if(counts.begin(), counts.end(), [&](const auto& p) { return p.first == c; });
    if (it == counts.end())
      counts.emplace_back(c, 1);
    else
      ++it->second;
  }
  if (counts.empty()) return best;
  const unsigned long common =
      std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) { return a.second < b.second; })
          ->first;
  for (int y = top; y <= bottom;) {
    if (picture.at(column, y) == common) {
      ++y;
      continue;
    }
    int end = y;
    while (end + 1 <= bottom && picture.at(column, end + 1) != common) ++end;
    if (end - y > best.bottom - best.top) best = {y, end, picture.at(column, y)};
    y = end + 1;
  }
  return best;
}
