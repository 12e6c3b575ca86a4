// The item store as a GtkTreeModel, without a display: the rows, iters and
// paths a view sees, the columns, the icons' references and the signals.
#include "tree/tree_model.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tree/item_text.h"
#include "tree/tests/item_listing.h"

using gtk::GObjectPtr;
using namespace tree;

namespace {

struct Store {
  GObjectPtr<GtkTreeModel> model = create_tree_item_model();
  TreeStore& items = *tree_items(model.get());
};

void walk(GtkTreeModel* model, GtkTreeIter* parent, int depth, std::string& out) {
  GtkTreeIter iter;
  if (!gtk_tree_model_iter_children(model, &iter, parent)) return;
  do {
    gchar* text = nullptr;
    gtk_tree_model_get(model, &iter, TreeColumn::Text, &text, -1);
    if (!out.empty()) out += ' ';
    out += std::to_string(depth) + text;
    g_free(text);
    walk(model, &iter, depth + 1, out);
  } while (gtk_tree_model_iter_next(model, &iter));
}

// The same, as a view sees the rows: a pre-order walk over the model.
std::string by_model(GtkTreeModel* model) {
  std::string out;
  walk(model, nullptr, 0, out);
  return out;
}

// Index, iter and path agree for every item.
void expect_addressing_consistent(Store& s) {
  for (int32_t i = 0; i < s.items.count(); ++i) {
    SCOPED_TRACE("index " + std::to_string(i));
    GtkTreePath* path = tree_model_path(s.model.get(), i);
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(gtk_tree_path_get_depth(path), s.items.depth(i) + 1);
    GtkTreeIter iter;
    ASSERT_TRUE(gtk_tree_model_get_iter(s.model.get(), &iter, path));
    EXPECT_EQ(tree_model_index(s.model.get(), &iter), i);
    GtkTreePath* back = gtk_tree_model_get_path(s.model.get(), &iter);
    EXPECT_EQ(gtk_tree_path_compare(path, back), 0);
    gtk_tree_path_free(back);
    gtk_tree_path_free(path);
    GtkTreeIter parent;
    if (gtk_tree_model_iter_parent(s.model.get(), &parent, &iter))
      EXPECT_EQ(tree_model_index(s.model.get(), &parent), s.items.parent(i));
    else
      EXPECT_EQ(s.items.parent(i), -1);
    EXPECT_EQ(gtk_tree_model_iter_n_children(s.model.get(), &iter), s.items.child_count(i));
    EXPECT_EQ(gtk_tree_model_iter_has_child(s.model.get(), &iter), s.items.child_count(i) > 0);
  }
}

struct Add {
  int32_t position;
  int32_t level;
};

// A view walking the model meets the store's rows in the store's order, with
// iters and paths that lead back to them, whatever edits made the tree.
TEST(TreeItemsTest, ModelShowsTheStoreAfterRandomEdits) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 10; ++round) {
    Store s;
    for (int step = 0; step < 200; ++step) {
      const int32_t count = s.items.count();
      const std::string text = std::to_string(step);
      if (count > 0 && random() % 5 == 0) {
        s.items.remove(static_cast<int32_t>(random() % count));
      } else {
        const int32_t position = random() % 3 == 0 ? static_cast<int32_t>(random() % (count + 2)) - 1 : -1;
        s.items.add(position, text.c_str(), nullptr, static_cast<int32_t>(random() % 8) - 2);
      }
    }
    ASSERT_EQ(by_model(s.model.get()), by_index(s.items));
    expect_addressing_consistent(s);
  }
}

TEST(TreeItemsTest, LongTextsReachTheViewCut) {
  Store s;
  const std::string huge(100'000, 'w');
  s.items.add(-1, huge.c_str(), nullptr, 0);
  GtkTreeIter iter;
  ASSERT_TRUE(tree_model_iter(s.model.get(), 0, &iter));
  gchar* shown = nullptr;
  gtk_tree_model_get(s.model.get(), &iter, TreeColumn::Text, &shown, -1);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(std::string(shown), std::string(DisplayedTextLimit, 'w') + "\xE2\x80\xA6");
  g_free(shown);
  EXPECT_EQ(std::string(s.items.text(0)), huge);
}

TEST(TreeItemsTest, HundredthAndLaterAppendsKeepEarlierIndexes) {
  Store s;
  for (int i = 0; i < 200; ++i) {
    std::string text = "item" + std::to_string(i);
    ASSERT_EQ(s.items.add(-1, text.c_str(), nullptr, i % 3), i);
  }
  for (int i = 0; i < 200; ++i) EXPECT_EQ(s.items.text(i), "item" + std::to_string(i));
  expect_addressing_consistent(s);
}

TEST(TreeItemsTest, RemovingAnItemTakesItsDescendants) {
  Store s;
  for (Add add : {Add{-1, 0}, Add{-1, 1}, Add{-1, 2}, Add{-1, 0}, Add{-1, 1}, Add{-1, 0}}) {
    std::string text(1, static_cast<char>('a' + s.items.count()));
    s.items.add(add.position, text.c_str(), nullptr, add.level);
  }
  ASSERT_EQ(by_index(s.items), "0a 1b 2c 0d 1e 0f");
  EXPECT_EQ(s.items.remove(0), 3);
  EXPECT_EQ(s.items.count(), 3);
  EXPECT_EQ(by_index(s.items), "0d 1e 0f");
  EXPECT_EQ(by_model(s.model.get()), "0d 1e 0f");
  expect_addressing_consistent(s);

  // The last child goes: its parent has no children any more.
  EXPECT_EQ(s.items.remove(1), 1);
  EXPECT_EQ(by_index(s.items), "0d 0f");
  EXPECT_EQ(s.items.child_count(0), 0);
  expect_addressing_consistent(s);

  for (int32_t out_of_range : {-1, 2, 100}) EXPECT_EQ(s.items.remove(out_of_range), 0);
  EXPECT_EQ(by_index(s.items), "0d 0f");
}

TEST(TreeItemsTest, ClearEmptiesTheStoreAndItFillsAgain) {
  Store s;
  for (int i = 0; i < 50; ++i) s.items.add(-1, "x", nullptr, i % 4);
  s.items.clear();
  EXPECT_EQ(s.items.count(), 0);
  EXPECT_EQ(gtk_tree_model_iter_n_children(s.model.get(), nullptr), 0);
  EXPECT_EQ(s.items.add(-1, "again", nullptr, 2), 0);
  EXPECT_EQ(by_model(s.model.get()), "0again");
}

// What the store keeps of an item's values, and how they follow their items
// when rows move, is the store's own test; here: what the columns show.
TEST(TreeItemsTest, ItemValuesReachTheModelColumns) {
  Store s;
  s.items.add(-1, "a", nullptr, 0);
  s.items.add(-1, "b", nullptr, 1);
  s.items.set_check(1, true, false);
  s.items.set_colour(1, TreeColour::Foreground, 0x0000FF);
  s.items.set_colour(0, TreeColour::Background, 0x123456);
  s.items.set_data(1, intptr_t{-7});

  GtkTreeIter iter;
  ASSERT_TRUE(tree_model_iter(s.model.get(), 1, &iter));
  gboolean check = FALSE, inconsistent = TRUE;
  GdkPixbuf* icon = nullptr;
  GdkColor* front = nullptr;
  GdkColor* back = nullptr;
  glong data = 0;
  gtk_tree_model_get(s.model.get(), &iter, TreeColumn::Check, &check, TreeColumn::Inconsistent,
                     &inconsistent, TreeColumn::Icon, &icon, TreeColumn::Foreground, &front,
                     TreeColumn::Background, &back, TreeColumn::Data, &data, -1);
  EXPECT_TRUE(check);
  EXPECT_FALSE(inconsistent);
  EXPECT_EQ(icon, nullptr);
  ASSERT_NE(front, nullptr);
  // Each 8-bit channel is the 16-bit channel × 256.
  EXPECT_EQ(front->red, 0xFF00);
  EXPECT_EQ(front->green, 0);
  EXPECT_EQ(front->blue, 0);
  EXPECT_EQ(back, nullptr);
  EXPECT_EQ(data, -7);
  gdk_color_free(front);

  ASSERT_TRUE(tree_model_iter(s.model.get(), 0, &iter));
  gtk_tree_model_get(s.model.get(), &iter, TreeColumn::Background, &back, -1);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->red, 0x5600);
  EXPECT_EQ(back->green, 0x3400);
  EXPECT_EQ(back->blue, 0x1200);
  gdk_color_free(back);
}

// What the store reads for an index out of range is the store's own test;
// here: such an index names no row of the model.
TEST(TreeItemsTest, OutOfRangeIndexesNameNoRow) {
  Store s;
  s.items.add(-1, "only", nullptr, 0);
  for (int32_t index : {-1, 1, 1000}) {
    GtkTreeIter iter;
    EXPECT_FALSE(tree_model_iter(s.model.get(), index, &iter)) << index;
    EXPECT_EQ(tree_model_path(s.model.get(), index), nullptr) << index;
  }
  GtkTreeIter iter;
  EXPECT_TRUE(tree_model_iter(s.model.get(), 0, &iter));
}

TEST(TreeItemsTest, StoreKeepsIconsAliveAndSharesOneReference) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 16, 16);
  g_object_add_weak_pointer(G_OBJECT(pixbuf), reinterpret_cast<gpointer*>(&pixbuf));
  {
    Store s;
    s.items.add(-1, "folder", pixbuf, 0);
    s.items.add(-1, "file", nullptr, 1);
    s.items.add(-1, "folder 2", pixbuf, 1);
    EXPECT_EQ(G_OBJECT(pixbuf)->ref_count, 2u);
    g_object_unref(pixbuf);  // the caller lets go; the rows still show it
    ASSERT_NE(pixbuf, nullptr);
    EXPECT_EQ(s.items.icon(0), pixbuf);
    EXPECT_EQ(s.items.icon(1), nullptr);
    GtkTreeIter iter;
    ASSERT_TRUE(tree_model_iter(s.model.get(), 2, &iter));
    GdkPixbuf* shown = nullptr;
    gtk_tree_model_get(s.model.get(), &iter, TreeColumn::Icon, &shown, -1);
    EXPECT_EQ(shown, pixbuf);
    g_object_unref(shown);
    s.items.remove(2);
    ASSERT_NE(pixbuf, nullptr);
    s.items.remove(0);
    EXPECT_EQ(pixbuf, nullptr);  // the last row that held it is gone
  }
}

TEST(TreeItemsTest, StoreReleasesIconsWithTheModel) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 16, 16);
  g_object_add_weak_pointer(G_OBJECT(pixbuf), reinterpret_cast<gpointer*>(&pixbuf));
  {
    Store s;
    for (int i = 0; i < 10; ++i) s.items.add(-1, "f", pixbuf, i % 2);
    g_object_unref(pixbuf);
    ASSERT_NE(pixbuf, nullptr);
  }
  EXPECT_EQ(pixbuf, nullptr);
}

// Records the model's signals as "kind:path" with the row's text at the
// moment of the signal.
struct SignalLog {
  std::vector<std::string> entries;

  static std::string row_text(GtkTreeModel* model, GtkTreePath* path) {
    GtkTreeIter iter;
    if (!gtk_tree_model_get_iter(model, &iter, path)) return "?";
    gchar* text = nullptr;
    gtk_tree_model_get(model, &iter, TreeColumn::Text, &text, -1);
    std::string result = text ? text : "";
    g_free(text);
    return result;
  }
  static std::string where(GtkTreePath* path) {
    gchar* s = gtk_tree_path_to_string(path);
    std::string result = s;
    g_free(s);
    return result;
  }
  static void inserted(GtkTreeModel* model, GtkTreePath* path, GtkTreeIter*, gpointer self) {
    static_cast<SignalLog*>(self)->entries.push_back("inserted:" + where(path) + "=" +
                                                     row_text(model, path));
  }
  static void deleted(GtkTreeModel*, GtkTreePath* path, gpointer self) {
    static_cast<SignalLog*>(self)->entries.push_back("deleted:" + where(path));
  }
  static void toggled(GtkTreeModel* model, GtkTreePath* path, GtkTreeIter* iter, gpointer self) {
    std::string has = gtk_tree_model_iter_has_child(model, iter) ? "+" : "-";
    static_cast<SignalLog*>(self)->entries.push_back("toggled:" + where(path) + has);
  }
  static void changed(GtkTreeModel* model, GtkTreePath* path, GtkTreeIter*, gpointer self) {
    static_cast<SignalLog*>(self)->entries.push_back("changed:" + where(path) + "=" +
                                                     row_text(model, path));
  }

  explicit SignalLog(GtkTreeModel* model) {
    g_signal_connect(model, "row-inserted", G_CALLBACK(inserted), this);
    g_signal_connect(model, "row-deleted", G_CALLBACK(deleted), this);
    g_signal_connect(model, "row-has-child-toggled", G_CALLBACK(toggled), this);
    g_signal_connect(model, "row-changed", G_CALLBACK(changed), this);
  }
  std::vector<std::string> take() { return std::exchange(entries, {}); }
};

using Log = std::vector<std::string>;

TEST(TreeItemsSignals, TopLevelChangesAreAlwaysReported) {
  Store s;
  SignalLog log(s.model.get());
  s.items.add(-1, "a", nullptr, 0);
  s.items.add(-1, "b", nullptr, 0);
  s.items.add(0, "c", nullptr, 0);
  EXPECT_EQ(log.take(), (Log{"inserted:0=a", "inserted:1=b", "inserted:0=c"}));
  s.items.set_text(1, "A");
  EXPECT_EQ(log.take(), (Log{"changed:1=A"}));
  s.items.remove(0);
  EXPECT_EQ(log.take(), (Log{"deleted:0"}));
  s.items.clear();
  EXPECT_EQ(log.take(), (Log{"deleted:1", "deleted:0"}));
}

TEST(TreeItemsSignals, RowsNoViewHasBuiltOnlyReportTheirParentsChildState) {
  Store s;
  SignalLog log(s.model.get());
  s.items.add(-1, "a", nullptr, 0);
  s.items.add(-1, "b", nullptr, 1);
  s.items.add(-1, "c", nullptr, 2);
  s.items.add(-1, "d", nullptr, 1);
  EXPECT_EQ(log.take(), (Log{"inserted:0=a", "toggled:0+"}));
  s.items.set_text(1, "B");
  s.items.remove(2);
  EXPECT_EQ(log.take(), Log{});
  s.items.remove(1);
  s.items.remove(1);
  EXPECT_EQ(log.take(), (Log{"toggled:0-"}));
}

TEST(TreeItemsSignals, RowsAViewHasBuiltAreReported) {
  Store s;
  s.items.add(-1, "a", nullptr, 0);
  s.items.add(-1, "b", nullptr, 1);
  s.items.add(-1, "c", nullptr, 2);
  SignalLog log(s.model.get());
  // A view that expands "a" builds its children and refers to them.
  GtkTreeIter iter;
  ASSERT_TRUE(tree_model_iter(s.model.get(), 1, &iter));
  gtk_tree_model_ref_node(s.model.get(), &iter);
  s.items.add(-1, "d", nullptr, 1);
  s.items.add(1, "e", nullptr, 1);
  s.items.add(-1, "f", nullptr, 3);  // under "d", never built
  s.items.set_text(2, "B");
  EXPECT_EQ(log.take(),
            (Log{"inserted:0:1=d", "inserted:0:0=e", "toggled:0:2+", "changed:0:1=B"}));
  s.items.remove(2);
  EXPECT_EQ(log.take(), (Log{"deleted:0:1"}));
  gtk_tree_model_unref_node(s.model.get(), &iter);
}

TEST(TreeItemsSignals, ItersSurviveAppendsButNotRenumbering) {
  Store s;
  s.items.add(-1, "a", nullptr, 0);
  GtkTreeIter iter;
  ASSERT_TRUE(tree_model_iter(s.model.get(), 0, &iter));
  s.items.add(-1, "b", nullptr, 1);
  EXPECT_EQ(tree_model_index(s.model.get(), &iter), 0);
  s.items.add(0, "c", nullptr, 0);
  EXPECT_EQ(tree_model_index(s.model.get(), &iter), -1);
  GtkTreeIter next = iter;
  EXPECT_FALSE(gtk_tree_model_iter_next(s.model.get(), &next));
}

// Items the store holds back are not rows of the model, signals and all,
// until they are reported, in order, as adding them would have been.
TEST(TreeItemsHolding, HeldItemsAreNoRowsUntilReported) {
  Store s;
  s.items.add(-1, "a", nullptr, 0);
  SignalLog log(s.model.get());
  GtkTreeModel* m = s.model.get();
  s.items.hold_reports();
  s.items.add(-1, "b", nullptr, 1);
  s.items.add(-1, "c", nullptr, 0);
  s.items.add(-1, "d", nullptr, 1);
  s.items.set_text(2, "C");
  EXPECT_EQ(log.take(), Log{});
  EXPECT_EQ(s.items.held_count(), 3);
  EXPECT_EQ(by_model(m), "0a");
  EXPECT_EQ(gtk_tree_model_iter_n_children(m, nullptr), 1);
  GtkTreeIter iter;
  ASSERT_TRUE(tree_model_iter(m, 0, &iter));
  EXPECT_FALSE(gtk_tree_model_iter_has_child(m, &iter));
  EXPECT_EQ(gtk_tree_model_iter_n_children(m, &iter), 0);
  EXPECT_FALSE(gtk_tree_model_iter_next(m, &iter));
  EXPECT_FALSE(tree_model_iter(m, 1, &iter) && tree_model_index(m, &iter) >= 0);
  for (const char* held : {"1", "0:0", "1:0"}) {
    GtkTreePath* path = gtk_tree_path_new_from_string(held);
    EXPECT_FALSE(gtk_tree_model_get_iter(m, &iter, path)) << held;
    gtk_tree_path_free(path);
  }

  EXPECT_EQ(s.items.report_held(2), 1);
  EXPECT_EQ(log.take(), (Log{"toggled:0+", "inserted:1=C"}));
  EXPECT_EQ(s.items.report_held(INT32_MAX), 0);
  EXPECT_EQ(log.take(), (Log{"toggled:1+"}));
  EXPECT_EQ(by_model(m), by_index(s.items));

  // An item inserted among the known rows is reported at once; the held
  // ones behind it follow when reported.
  s.items.add(-1, "e", nullptr, 0);
  s.items.add(0, "f", nullptr, 0);
  EXPECT_EQ(log.take(), (Log{"inserted:0=f"}));
  EXPECT_EQ(s.items.held_count(), 1);
  EXPECT_EQ(gtk_tree_model_iter_n_children(m, nullptr), 3);
  s.items.release_reports();
  EXPECT_EQ(log.take(), (Log{"inserted:3=e"}));
  EXPECT_EQ(by_model(m), by_index(s.items));
  // Released: appends are reported as they come again.
  s.items.add(-1, "g", nullptr, 0);
  EXPECT_EQ(log.take(), (Log{"inserted:4=g"}));
}

// Removing and inserting while items are held keeps the held ones after
// every known row, whatever the level the change happens at.
TEST(TreeItemsHolding, KnownRowsStayKnownAroundChanges) {
  Store s;
  GtkTreeModel* m = s.model.get();
  for (const char* text : {"a", "b", "c"}) s.items.add(-1, text, nullptr, 0);
  s.items.add(-1, "a1", nullptr, 1);  // under "c", never expanded
  s.items.hold_reports();
  s.items.add(-1, "held", nullptr, 0);
  // Under a row whose children no view has seen: nothing to report, still
  // a known row.
  s.items.add(1, "under a", nullptr, 1);
  EXPECT_EQ(s.items.held_count(), 1);
  s.items.remove(2);  // "b"
  EXPECT_EQ(s.items.held_count(), 1);
  EXPECT_EQ(gtk_tree_model_iter_n_children(m, nullptr), 2);
  s.items.release_reports();
  EXPECT_EQ(by_model(m), by_index(s.items));
  EXPECT_EQ(by_model(m), "0a 1under a 0c 1a1 0held");
}

TEST(TreeItemsTest, ModelDescribesItsColumns) {
  Store s;
  GtkTreeModel* m = s.model.get();
  ASSERT_EQ(gtk_tree_model_get_n_columns(m), TreeColumn::Count);
  EXPECT_EQ(gtk_tree_model_get_column_type(m, TreeColumn::Check), G_TYPE_BOOLEAN);
  EXPECT_EQ(gtk_tree_model_get_column_type(m, TreeColumn::Inconsistent), G_TYPE_BOOLEAN);
  EXPECT_EQ(gtk_tree_model_get_column_type(m, TreeColumn::Icon), GDK_TYPE_PIXBUF);
  EXPECT_EQ(gtk_tree_model_get_column_type(m, TreeColumn::Text), G_TYPE_STRING);
  EXPECT_EQ(gtk_tree_model_get_column_type(m, TreeColumn::Foreground), GDK_TYPE_COLOR);
  EXPECT_EQ(gtk_tree_model_get_column_type(m, TreeColumn::Background), GDK_TYPE_COLOR);
  EXPECT_EQ(gtk_tree_model_get_column_type(m, TreeColumn::Data), G_TYPE_LONG);
  EXPECT_EQ(tree_items(nullptr), nullptr);
  GtkListStore* other = gtk_list_store_new(1, G_TYPE_INT);
  EXPECT_EQ(tree_items(GTK_TREE_MODEL(other)), nullptr);
  g_object_unref(other);
}

TEST(TreeItemsTest, DeepChainsKeepTheirDepths) {
  // Each item one level deeper than the one before: depth grows with the
  // count, which must not make appending quadratic (20,000 levels).
  Store s;
  for (int i = 0; i < 20000; ++i) ASSERT_EQ(s.items.add(-1, "d", nullptr, i), i);
  EXPECT_EQ(s.items.depth(19999), 19999);
  EXPECT_EQ(s.items.add(-1, "top", nullptr, 0), 20000);
  EXPECT_EQ(s.items.depth(20000), 0);
}

}  // namespace
