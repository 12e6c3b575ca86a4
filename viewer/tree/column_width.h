// The width of the tree's one column, worked out from the items instead of
// by the view: a view that measures its rows measures every one of them,
// and a million rows take seconds. Rows keep one height and the column one
// width (fixed-height mode); the column is made as wide as the widest row,
// so that the tree scrolls sideways far enough to show every row whole.
//
// Which row is widest follows from its indentation and the width of its
// text, estimated from the widths of its characters in the view's font
// (measured once per character for ASCII; any other character counts as
// wide as the widest ASCII one, twice that from three UTF-8 bytes on). For
// each depth only the widest text so far is kept, one of plain ASCII and
// one with other characters, whose estimate is rougher; only those are
// measured, with the view's own font. The column widens as rows arrive and
// never narrows.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tree {

class ColumnWidth {
 public:
  // Takes note of an item's text at `depth` (0 = top level) in `view`;
  // cheap.
  void note(GtkTreeView* view, int32_t depth, const char* text) noexcept;
  // Measures the texts noted since the last call that may be wider than the
  // column and widens the view's column to fit them.
  void apply(GtkTreeView* view);

  // The pixels a text takes in the view's font.
  static int text_width(GtkTreeView* view, const char* text);
  // Where the text of a row at `depth` starts, in the view's tree
  // coordinates (a little to the right of it on rows without an icon).
  static int text_start(GtkTreeView* view, int32_t depth);

 private:
  void take_note(GtkTreeView* view, int32_t depth, const char* text);
  void measure_characters(GtkTreeView* view);

  struct Widest {
    uint64_t estimate = 0;
    std::string text;
    bool measured = true;
  };
  // By depth: [0] the widest plain ASCII text, [1] the widest other one.
  std::vector<std::array<Widest, 2>> widest_;
  // The estimated width of each byte as it starts a character; continuation
  // bytes take none.
  std::array<uint32_t, 256> byte_widths_{};
  bool characters_measured_ = false;
  bool pending_ = false;
  int width_ = 0;
};

}  // namespace tree
