// The find bar: an entry under the tree that finds a row by a part of its
// text anywhere in the tree, closed folders included (FoldedSearch). While
// it is open the tree gives up the room the bar takes, so that neither the
// match nor the tree's scroll bars lie under it. It keeps the keyboard and
// its text until the user leaves it: Escape, or the focus moved elsewhere in
// the window.
//
// Keys in the bar: Enter, Down, Ctrl+G and F3 go to the next match, Up,
// Shift+Ctrl+G and Shift+F3 to the previous one, round the ends of the
// tree; Escape closes the bar; Page Up and Page Down close it and move in
// the tree. A text that matches nothing colours the entry and leaves no row
// selected.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "gtk/gobject_ptr.h"
#include "tree/folded_search.h"

namespace tree {

class FindBar {
 public:
  enum class Direction { Next, Previous };

  // Makes the bar of `view`, whose scrolled window `outer` sits in a fixed
  // container; the bar is placed beside it when first opened and goes with
  // the view.
  static void attach(GtkTreeView* view, GtkWidget* outer);
  // The bar of the view, or nullptr.
  static FindBar* of(GtkTreeView* view);

  FindBar(const FindBar&) = delete;
  FindBar& operator=(const FindBar&) = delete;
  ~FindBar();

  bool shown() const;
  bool has_text() const;
  GtkWidget* entry() const { return entry_.get(); }

  // Lays the bar under the tree and gives it the keyboard, its text
  // selected.
  void open();
  // Opens the bar with `utf8` as its text, the cursor after it.
  void open_with(const char* utf8);
  // Hides the bar and gives the keyboard back to the tree.
  void close();
  // Goes to the next or previous row that matches the bar's text, from the
  // cursor's row.
  void find(Direction direction);

 private:
  FindBar(GtkTreeView* view, GtkWidget* outer);

  // Hides the bar and gives the tree its room back.
  void hide();
  // Finds from the cursor's row on, that row included: the text changed.
  void find_from_cursor();
  void go_to(int32_t found);
  void show_matching(bool matching);
  bool handle_key(const GdkEventKey* event);

  static gboolean on_key(GtkWidget*, GdkEventKey* event, gpointer bar) noexcept;
  static void on_changed(GtkEditable*, gpointer bar) noexcept;
  static gboolean on_focus_out(GtkWidget*, GdkEventFocus*, gpointer bar) noexcept;
  static void on_tree_allocated(GtkWidget*, GtkAllocation*, gpointer bar) noexcept;
  static void on_outer_destroy(GtkWidget*, gpointer bar) noexcept;

  GtkTreeView* view_;
  GtkWidget* outer_;
  gtk::GObjectPtr<GtkWidget> entry_;  // a reference of its own
  FoldedSearch search_;
  bool matching_ = true;
  // The match was found before the tree had given up its room for the bar:
  // it is brought into sight again once it has.
  bool reveal_pending_ = false;
  bool hiding_ = false;
  // The tree's size request before it made room for the bar.
  gint tree_width_request_ = -1;
  gint tree_height_request_ = -1;
};

}  // namespace tree
