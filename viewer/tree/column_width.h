// The width of the tree's one column, worked out from the items instead of
// by the view: a view that measures its rows measures every one of them,
// and a million rows take seconds. Rows keep one height and the column one
// width (fixed-height mode); the column is made as wide as the widest row,
// so that the tree scrolls sideways far enough to show every row whole.
//
// Which row is widest follows from its indentation and the length of its
// text: for each depth only the longest text so far is kept (its length
// counted in character cells, a wide character as two), and only those are
// measured, with the view's own font. The column widens as rows arrive and
// never narrows.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tree {

class ColumnWidth {
 public:
  // Takes note of an item's text at `depth` (0 = top level); cheap.
  void note(int32_t depth, const char* text) noexcept;
  // Measures the texts noted since the last call that may be wider than the
  // column and widens the view's column to fit them.
  void apply(GtkTreeView* view);

  // The pixels a text takes in the view's font.
  static int text_width(GtkTreeView* view, const char* text);
  // Where the text of a row at `depth` starts, in the view's tree
  // coordinates (a little to the right of it on rows without an icon).
  static int text_start(GtkTreeView* view, int32_t depth);

 private:
  void take_note(int32_t depth, const char* text);

  struct Longest {
    size_t cells = 0;
    std::string text;
    bool measured = true;
  };
  std::vector<Longest> longest_;  // by depth
  bool pending_ = false;
  int width_ = 0;
};

}  // namespace tree
