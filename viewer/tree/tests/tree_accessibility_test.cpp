// What assistive technology reads of a tree widget, read in the process the
// way the accessibility bridge reads it: names, the states "busy" and
// "invalid entry" with their change notices, the busy cursor, and the
// description of row icons. Runs with the toolkit's accessibility module
// (GTK_MODULES=gail, see CMakeLists.txt); every test fails on any warning
// the toolkit logs (WidgetLayerTest).
#include <gtest/gtest.h>

#include <atk/atk.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gtk/gobject_ptr.h"
#include "tree/tree_accessibility.h"
#include "tree/tree_widget.h"
#include "tests/widget_test_support.h"

using gtk::GObjectPtr;
using namespace widgets;
using namespace tree;

namespace {

constexpr int32_t WindowNumber = 2;
constexpr int32_t TreeNumber = 1;
constexpr char WindowTitle[] = "Family archive";

bool has_state(AtkObject* accessible, AtkStateType state) {
  const auto states = GObjectPtr<AtkStateSet>::adopt(atk_object_ref_state_set(accessible));
  return states && atk_state_set_contains_state(states.get(), state);
}

// The state changes an accessible announces, as "name=0/1".
class StateNotices {
 public:
  explicit StateNotices(AtkObject* accessible)
      : accessible_(accessible),
        handler_(g_signal_connect(accessible, "state-change", G_CALLBACK(record), this)) {}
  ~StateNotices() { g_signal_handler_disconnect(accessible_, handler_); }
  StateNotices(const StateNotices&) = delete;
  StateNotices& operator=(const StateNotices&) = delete;

  std::vector<std::string> notices;

 private:
  static void record(AtkObject*, gchar* name, gboolean value, gpointer self) {
    static_cast<StateNotices*>(self)->notices.push_back(std::string(name) + "=" +
                                                        (value ? "1" : "0"));
  }
  AtkObject* accessible_;
  gulong handler_;
};

std::optional<GdkCursorType> cursor_of(GtkWidget* widget) {
  GdkWindow* window = gtk_widget_get_window(widget);
  GdkCursor* cursor = window ? gdk_window_get_cursor(window) : nullptr;
  if (!cursor) return std::nullopt;
  return gdk_cursor_get_cursor_type(cursor);
}

class TreeAccessibilityTest : public WidgetLayerTest {
 protected:
  void SetUp() override {
    WidgetLayerTest::SetUp();
    window = open_test_window(WindowNumber, true, 40, 40, 400, 400);
    gtk_window_set_title(GTK_WINDOW(window), WindowTitle);
    use_widget_list(window);
    view = reinterpret_cast<GtkWidget*>(create_tree_widget(TreeNumber, 10, 10, 300, 300));
    ASSERT_NE(view, nullptr);
    settle();
    accessible = gtk_widget_get_accessible(view);
    // Without the module every widget gets an accessible that says nothing.
    if (!g_str_has_prefix(G_OBJECT_TYPE_NAME(accessible), "Gail"))
      GTEST_SKIP() << "the toolkit's accessibility module is not loaded (GTK_MODULES=gail, "
                      "package libgail-common)";
  }

  GtkWidget* window = nullptr;
  GtkWidget* view = nullptr;
  AtkObject* accessible = nullptr;
};

TEST_F(TreeAccessibilityTest, TreeIsNamedByItsWindowsTitle) {
  EXPECT_STREQ(atk_object_get_name(accessible), WindowTitle);
  name_tree(view, "Another title");
  EXPECT_STREQ(atk_object_get_name(accessible), "Another title");
}

TEST_F(TreeAccessibilityTest, FindEntryIsNamedFind) {
  GtkWidget* entry = gtk_entry_new();
  g_object_ref_sink(entry);
  name_find_entry(entry);
  EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(entry)), "Find");
  gtk_widget_destroy(entry);
  g_object_unref(entry);
}

// Each step sets the state to the value given; a notice comes only with a
// change.
struct StateCase {
  const char* name;
  std::vector<bool> steps;
  std::vector<std::string> notices;  // without the state's name
};

void PrintTo(const StateCase& test, std::ostream* out) { *out << test.name; }

const std::vector<StateCase> StateCases = {
    {"on, then off", {true, false}, {"1", "0"}},
    {"on twice, off twice", {true, true, false, false}, {"1", "0"}},
    {"off while off", {false}, {}},
    {"on, off, on", {true, false, true}, {"1", "0", "1"}},
};

std::vector<std::string> named_notices(const char* state, const std::vector<std::string>& values) {
  std::vector<std::string> notices;
  for (const std::string& value : values) notices.push_back(std::string(state) + "=" + value);
  return notices;
}

class TreeBusyTest : public TreeAccessibilityTest, public testing::WithParamInterface<StateCase> {};

TEST_P(TreeBusyTest, BusyStateAndCursorFollowEachCall) {
  const StateCase& test = GetParam();
  StateNotices notices(accessible);
  for (const bool busy : test.steps) {
    set_tree_busy(view, busy);
    settle();
    EXPECT_EQ(has_state(accessible, ATK_STATE_BUSY), busy);
    EXPECT_EQ(tree_busy(view), busy);
    EXPECT_EQ(cursor_of(view), busy ? std::optional(GDK_WATCH) : std::nullopt);
  }
  EXPECT_EQ(notices.notices, named_notices("busy", test.notices));
  // The tree keeps the states the toolkit gives it.
  EXPECT_TRUE(has_state(accessible, ATK_STATE_VISIBLE));
}

INSTANTIATE_TEST_SUITE_P(Tree, TreeBusyTest, testing::ValuesIn(StateCases));

class EntryInvalidTest : public TreeAccessibilityTest,
                         public testing::WithParamInterface<StateCase> {};

TEST_P(EntryInvalidTest, InvalidEntryStateFollowsEachCall) {
  const StateCase& test = GetParam();
  GtkWidget* entry = gtk_entry_new();
  gtk_fixed_put(GTK_FIXED(current_container()), entry, 10, 320);
  gtk_widget_show(entry);
  settle();
  AtkObject* entry_accessible = gtk_widget_get_accessible(entry);
  StateNotices notices(entry_accessible);
  for (const bool invalid : test.steps) {
    set_entry_invalid(entry, invalid);
    EXPECT_EQ(has_state(entry_accessible, ATK_STATE_INVALID_ENTRY), invalid);
    EXPECT_TRUE(has_state(entry_accessible, ATK_STATE_EDITABLE));
    // The states are the entry's own: the tree is not touched.
    EXPECT_FALSE(has_state(accessible, ATK_STATE_INVALID_ENTRY));
  }
  EXPECT_EQ(notices.notices, named_notices("invalid-entry", test.notices));
}

INSTANTIATE_TEST_SUITE_P(Tree, EntryInvalidTest, testing::ValuesIn(StateCases));

TEST_F(TreeAccessibilityTest, BusyAndInvalidAreKeptApart) {
  GtkWidget* entry = gtk_entry_new();
  gtk_fixed_put(GTK_FIXED(current_container()), entry, 10, 320);
  gtk_widget_show(entry);
  AtkObject* entry_accessible = gtk_widget_get_accessible(entry);
  set_tree_busy(view, true);
  EXPECT_FALSE(has_state(entry_accessible, ATK_STATE_BUSY));
  set_entry_invalid(entry, true);
  EXPECT_FALSE(has_state(accessible, ATK_STATE_INVALID_ENTRY));
  EXPECT_TRUE(has_state(accessible, ATK_STATE_BUSY));
  EXPECT_EQ(cursor_of(entry), std::nullopt);
}

// A second tree has the same class of accessible: the states stay each
// tree's own.
TEST_F(TreeAccessibilityTest, BusyIsEachTreesOwn) {
  auto* other = reinterpret_cast<GtkWidget*>(create_tree_widget(5, 10, 320, 100, 60));
  ASSERT_NE(other, nullptr);
  settle();
  set_tree_busy(other, true);
  EXPECT_TRUE(has_state(gtk_widget_get_accessible(other), ATK_STATE_BUSY));
  EXPECT_FALSE(has_state(accessible, ATK_STATE_BUSY));
  EXPECT_EQ(cursor_of(view), std::nullopt);
  EXPECT_EQ(cursor_of(other), std::optional(GDK_WATCH));
}

// A view made busy before it has a window shows the cursor once it gets
// one.
TEST_F(TreeAccessibilityTest, BusyBeforeTheWindowExists) {
  GtkWidget* lone = gtk_tree_view_new();
  g_object_ref_sink(lone);
  attach_accessibility(lone);
  set_tree_busy(lone, true);
  EXPECT_EQ(gtk_widget_get_window(lone), nullptr);
  gtk_fixed_put(GTK_FIXED(current_container()), lone, 10, 320);
  gtk_widget_show(lone);
  settle();
  EXPECT_EQ(cursor_of(lone), std::optional(GDK_WATCH));
  EXPECT_TRUE(has_state(gtk_widget_get_accessible(lone), ATK_STATE_BUSY));
  set_tree_busy(lone, false);
  EXPECT_EQ(cursor_of(lone), std::nullopt);
  g_object_unref(lone);
}

// ---------------------------------------------------------------------------
// Row icons

struct IconReading {
  std::optional<std::string> description;
  int width = 0;
  int height = 0;
  bool operator==(const IconReading&) const = default;
};

void PrintTo(const IconReading& reading, std::ostream* out) {
  *out << (reading.description ? "\"" + *reading.description + "\"" : std::string("none")) << " "
       << reading.width << "x" << reading.height;
}

// Every row's icon as the accessible tree shows it, by the row's text: each
// row is a cell holding an image cell and a text cell.
std::map<std::string, IconReading> icon_readings(AtkObject* tree) {
  std::map<std::string, IconReading> readings;
  const int children = atk_object_get_n_accessible_children(tree);
  for (int i = 0; i < children; ++i) {
    const auto cell = GObjectPtr<AtkObject>::adopt(atk_object_ref_accessible_child(tree, i));
    if (!cell || atk_object_get_role(cell.get()) != ATK_ROLE_TABLE_CELL) continue;
    std::optional<std::string> text;
    IconReading reading;
    bool image = false;
    for (int j = 0; j < atk_object_get_n_accessible_children(cell.get()); ++j) {
      const auto part = GObjectPtr<AtkObject>::adopt(atk_object_ref_accessible_child(cell.get(), j));
      if (!part) continue;
      if (ATK_IS_IMAGE(part.get())) {
        image = true;
        if (const gchar* description = atk_image_get_image_description(ATK_IMAGE(part.get())))
          reading.description = description;
        atk_image_get_image_size(ATK_IMAGE(part.get()), &reading.width, &reading.height);
      } else if (ATK_IS_TEXT(part.get())) {
        text = atk_object_get_name(part.get());
      }
    }
    if (text && image) readings[*text] = reading;
  }
  return readings;
}

GObjectPtr<GdkPixbuf> icon_pixbuf() {
  auto pixbuf = GObjectPtr<GdkPixbuf>::adopt(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 16, 16));
  gdk_pixbuf_fill(pixbuf.get(), 0xc0a040ff);
  return pixbuf;
}

TEST_F(TreeAccessibilityTest, FolderIconIsDescribedAndFilesHaveNone) {
  const GObjectPtr<GdkPixbuf> icon = icon_pixbuf();
  struct Row {
    int32_t level;
    const char* text;
    bool folder;
  };
  const std::vector<Row> rows = {{0, "Music", true},  {1, "song.ogg", false}, {1, "Live", true},
                                 {2, "gig.ogg", false}, {0, "readme.txt", false}, {0, "Empty", true}};
  for (const Row& row : rows)
    add_widget_item_utf8(TreeNumber, -1, row.text, row.folder ? icon.get() : nullptr, row.level);
  // Rows inside closed folders are read as well as open ones.
  settle();

  const std::map<std::string, IconReading> readings = icon_readings(accessible);
  std::map<std::string, IconReading> expected;
  for (const Row& row : rows)
    expected[row.text] = row.folder ? IconReading{"folder", 16, 16} : IconReading{std::nullopt, -1, -1};
  EXPECT_EQ(readings, expected);
}

TEST_F(TreeAccessibilityTest, OnlyPreparedTreesCallIconsFolders) {
  const GObjectPtr<GdkPixbuf> icon = icon_pixbuf();
  add_widget_item_utf8(TreeNumber, -1, "Music", icon.get(), 0);
  // A plain view of the toolkit's own with the same cells.
  GtkTreeStore* store = gtk_tree_store_new(2, GDK_TYPE_PIXBUF, G_TYPE_STRING);
  GtkTreeIter iter;
  gtk_tree_store_append(store, &iter, nullptr);
  gtk_tree_store_set(store, &iter, 0, icon.get(), 1, "picture", -1);
  GtkWidget* plain = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
  g_object_unref(store);
  GtkTreeViewColumn* column = gtk_tree_view_column_new();
  GtkCellRenderer* image = gtk_cell_renderer_pixbuf_new();
  gtk_tree_view_column_pack_start(column, image, FALSE);
  gtk_tree_view_column_add_attribute(column, image, "pixbuf", 0);
  GtkCellRenderer* text = gtk_cell_renderer_text_new();
  gtk_tree_view_column_pack_end(column, text, TRUE);
  gtk_tree_view_column_add_attribute(column, text, "text", 1);
  gtk_tree_view_append_column(GTK_TREE_VIEW(plain), column);
  gtk_fixed_put(GTK_FIXED(current_container()), plain, 10, 320);
  gtk_widget_show(plain);
  settle();

  EXPECT_EQ(icon_readings(accessible)["Music"], (IconReading{"folder", 16, 16}));
  EXPECT_EQ(icon_readings(gtk_widget_get_accessible(plain))["picture"],
            (IconReading{std::nullopt, 16, 16}));
}

// A description given to the image by anyone else stays.
TEST_F(TreeAccessibilityTest, AGivenDescriptionIsKept) {
  const GObjectPtr<GdkPixbuf> icon = icon_pixbuf();
  add_widget_item_utf8(TreeNumber, -1, "Music", icon.get(), 0);
  settle();
  bool found = false;
  for (int i = 0; i < atk_object_get_n_accessible_children(accessible) && !found; ++i) {
    const auto cell = GObjectPtr<AtkObject>::adopt(atk_object_ref_accessible_child(accessible, i));
    for (int j = 0; cell && j < atk_object_get_n_accessible_children(cell.get()); ++j) {
      const auto part = GObjectPtr<AtkObject>::adopt(atk_object_ref_accessible_child(cell.get(), j));
      if (!part || !ATK_IS_IMAGE(part.get())) continue;
      EXPECT_STREQ(atk_image_get_image_description(ATK_IMAGE(part.get())), "folder");
      EXPECT_TRUE(atk_image_set_image_description(ATK_IMAGE(part.get()), "music folder"));
      EXPECT_STREQ(atk_image_get_image_description(ATK_IMAGE(part.get())), "music folder");
      found = true;
    }
  }
  EXPECT_TRUE(found);
}

}  // namespace
