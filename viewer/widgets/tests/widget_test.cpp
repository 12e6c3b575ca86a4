// The widget registry and the life of a widget: registration, numbers,
// destruction and reuse, hiding, window numbers, items, fonts and colours.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gtk/gobject_ptr.h"
#include "gtk/owned_types.h"
#include "tests/widget_test_support.h"

using namespace core;
using namespace widgets;

namespace {

using Shape = TestKind::Shape;

class WidgetTest : public WidgetLayerTest {
 protected:
  void SetUp() override {
    WidgetLayerTest::SetUp();
    window = open_test_window(7);
    use_widget_list(window);
  }

  TestKind& kind(Shape shape) { return shape == Shape::Framed ? framed : bare; }

  TestKind framed{901, Shape::Framed};
  TestKind bare{902, Shape::Bare};
  GtkWidget* window = nullptr;
};

int child_count(GtkWidget* container) {
  GList* children = gtk_container_get_children(GTK_CONTAINER(container));
  const int count = static_cast<int>(g_list_length(children));
  g_list_free(children);
  return count;
}

// ---------------------------------------------------------------------------
// Registration

struct RegisterCase {
  Shape shape;
  int32_t number;
};

void PrintTo(const RegisterCase& c, std::ostream* out) {
  PrintTo(c.shape, out);
  *out << " widget " << c.number;
}

class RegisterTest : public WidgetTest, public testing::WithParamInterface<RegisterCase> {};

TEST_P(RegisterTest, RegisteredWidgetIsLivePlacedRealizedAndCarriesItsNumber) {
  const auto [shape, number] = GetParam();
  ASSERT_EQ(create_test_widget(kind(shape), number, 25, 15), number);

  Widget* widget = widget_registry().find(number);
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(widget->kind, &kind(shape));
  ASSERT_NE(widget->main, nullptr);
  EXPECT_EQ(widget->outer != nullptr, shape == Shape::Framed);
  EXPECT_EQ(raw_id(widget->main), number + 1);
  if (widget->outer) {
    EXPECT_EQ(raw_id(widget->outer), 0);
  }
  EXPECT_TRUE(gtk_widget_get_realized(widget->main));
  EXPECT_EQ(gtk_widget_get_parent(widget->placed()), current_container());
  EXPECT_EQ(allocation_of(widget->placed()).x, 25);
  EXPECT_EQ(allocation_of(widget->placed()).y, 15);
  EXPECT_TRUE(gtk_widget_get_mapped(widget->main));
}

INSTANTIATE_TEST_SUITE_P(Numbers, RegisterTest,
                         testing::Values(RegisterCase{Shape::Framed, 0}, RegisterCase{Shape::Bare, 1},
                                         RegisterCase{Shape::Framed, 15},
                                         // beyond the registry's first 16 slots
                                         RegisterCase{Shape::Bare, 20}));

TEST_F(WidgetTest, AutomaticNumbersNameTheirWidgetsUntilDestroyed) {
  const auto first = create_test_widget(framed, -1, 10, 10, 60, 40, 1);
  const auto second = create_test_widget(framed, -1, 10, 60, 60, 40, 2);
  ASSERT_TRUE(first && second);
  EXPECT_NE(*first, -1);
  EXPECT_NE(*first, *second);

  Widget* widget = widget_registry().find(*first);
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(raw_id(widget->main), intptr_t{*first} + 1);

  destroy_widget(*first);
  EXPECT_EQ(widget_registry().find(*first), nullptr);
  ASSERT_EQ(framed.releases.size(), 1u);
  EXPECT_EQ(framed.releases[0].tag, 1);
  EXPECT_NE(widget_registry().find(*second), nullptr);
}

// ---------------------------------------------------------------------------
// Destruction

TEST_F(WidgetTest, DestroyingTheWindowReleasesEveryWidgetThroughItsKind) {
  ASSERT_TRUE(create_test_widget(framed, 0, 10, 10, 60, 40, 10));
  ASSERT_TRUE(create_test_widget(bare, 1, 10, 60, 60, 40, 11));
  GtkWidget* framed_main = widget_registry().find(0)->main;
  GtkWidget* framed_outer = widget_registry().find(0)->outer;
  GtkWidget* bare_main = widget_registry().find(1)->main;

  gtk_widget_destroy(window);

  EXPECT_EQ(widget_registry().find(0), nullptr);
  EXPECT_EQ(widget_registry().find(1), nullptr);
  // The release sees the record as it was filled, kind fields included.
  ASSERT_EQ(framed.releases.size(), 1u);
  EXPECT_EQ(framed.releases[0].main, framed_main);
  EXPECT_EQ(framed.releases[0].outer, framed_outer);
  EXPECT_EQ(framed.releases[0].tag, 10);
  ASSERT_EQ(bare.releases.size(), 1u);
  EXPECT_EQ(bare.releases[0].main, bare_main);
  EXPECT_EQ(bare.releases[0].tag, 11);
}

class ShapeTest : public WidgetTest, public testing::WithParamInterface<Shape> {};

TEST_P(ShapeTest, DestroyWidgetRemovesTheWholeWidgetOnce) {
  ASSERT_TRUE(create_test_widget(kind(GetParam()), 4, 10, 10, 60, 40, 3));
  ASSERT_EQ(child_count(current_container()), 1);

  destroy_widget(4);
  EXPECT_EQ(child_count(current_container()), 0);
  EXPECT_EQ(widget_registry().find(4), nullptr);
  ASSERT_EQ(kind(GetParam()).releases.size(), 1u);

  destroy_widget(4);
  EXPECT_EQ(kind(GetParam()).releases.size(), 1u);
}

TEST_F(WidgetTest, DestroyWidgetOnNumbersWithoutAWidgetDoesNothing) {
  ASSERT_TRUE(create_test_widget(framed, 2));
  for (int32_t number : {0, 3, 15, 40, -7}) destroy_widget(number);
  EXPECT_NE(widget_registry().find(2), nullptr);
  EXPECT_TRUE(framed.releases.empty());
  EXPECT_EQ(child_count(current_container()), 1);
}

TEST_F(WidgetTest, ReusingANumberDestroysTheOldWidgetsAndRunsTheOldKindsRelease) {
  ASSERT_TRUE(create_test_widget(framed, 3, 10, 10, 60, 40, 1));
  GtkWidget* old_main = widget_registry().find(3)->main;
  GtkWidget* old_outer = widget_registry().find(3)->outer;
  GtkWidget* gone_main = old_main;
  GtkWidget* gone_outer = old_outer;
  g_object_add_weak_pointer(G_OBJECT(gone_main), reinterpret_cast<gpointer*>(&gone_main));
  g_object_add_weak_pointer(G_OBJECT(gone_outer), reinterpret_cast<gpointer*>(&gone_outer));

  ASSERT_EQ(create_test_widget(bare, 3, 100, 10, 60, 40, 2), 3);

  ASSERT_EQ(framed.releases.size(), 1u);
  EXPECT_EQ(framed.releases[0].main, old_main);
  EXPECT_EQ(framed.releases[0].tag, 1);
  EXPECT_TRUE(bare.releases.empty());
  EXPECT_EQ(gone_main, nullptr);
  EXPECT_EQ(gone_outer, nullptr);
  EXPECT_EQ(child_count(current_container()), 1);

  Widget* widget = widget_registry().find(3);
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(widget->kind, &bare);
  EXPECT_EQ(dynamic_cast<TestWidgetData&>(*widget->data).tag, 2);
  EXPECT_EQ(raw_id(widget->main), 4);
}

TEST_F(WidgetTest, AWidgetOfAnEarlierStartCannotClearTheNumberOfANewerOne) {
  ASSERT_TRUE(create_test_widget(framed, 5));
  init_widgets();
  GtkWidget* other = open_test_window(8);
  use_widget_list(other);
  ASSERT_TRUE(create_test_widget(bare, 5));

  gtk_widget_destroy(window);

  Widget* widget = widget_registry().find(5);
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(widget->kind, &bare);
  EXPECT_TRUE(framed.releases.empty());
}

// ---------------------------------------------------------------------------
// Hiding and showing

TEST_P(ShapeTest, HiddenWidgetComesBackWhereItWasPut) {
  ASSERT_TRUE(create_test_widget(kind(GetParam()), 0, 70, 30));
  Widget* widget = widget_registry().find(0);
  GtkWidget* placed = widget->placed();

  set_widget_hidden(0, 1);
  settle();
  EXPECT_FALSE(gtk_widget_get_visible(placed));
  EXPECT_FALSE(gdk_window_is_viewable(gtk_widget_get_window(widget->main)));
  if (widget->outer) {
    EXPECT_TRUE(gtk_widget_get_visible(widget->main));
  }

  set_widget_hidden(0, 0);
  settle();
  EXPECT_TRUE(gtk_widget_get_visible(placed));
  EXPECT_TRUE(gdk_window_is_viewable(gtk_widget_get_window(widget->main)));
  EXPECT_EQ(allocation_of(placed).x, 70);
  EXPECT_EQ(allocation_of(placed).y, 30);
}

INSTANTIATE_TEST_SUITE_P(Shapes, ShapeTest, testing::Values(Shape::Framed, Shape::Bare),
                         [](const auto& info) { return testing::PrintToString(info.param); });

TEST_F(WidgetTest, HidingANumberWithoutAWidgetChangesNothing) {
  ASSERT_TRUE(create_test_widget(framed, 0));
  set_widget_hidden(9, 1);
  set_widget_hidden(9, 0);
  set_widget_hidden(1, 1);
  EXPECT_TRUE(gtk_widget_get_visible(widget_registry().find(0)->placed()));
  EXPECT_EQ(widget_registry().find(9), nullptr);
}

// ---------------------------------------------------------------------------
// Window numbers

TEST_F(WidgetTest, WidgetWindowNumberReadsTheTopLevelsId) {
  ASSERT_TRUE(create_test_widget(framed, 1));
  ASSERT_TRUE(create_test_widget(bare, 2, 10, 100));
  GtkWidget* unnumbered = open_test_window(0);
  g_object_set_data(G_OBJECT(unnumbered), "gw_id", nullptr);
  GtkWidget* window_zero = open_test_window(0);
  GtkWidget* loose = gtk_label_new("loose");
  g_object_ref_sink(loose);
  // A widget carrying "gw_id" but inside no window at all.
  GtkWidget* loose_box = gtk_event_box_new();
  g_object_ref_sink(loose_box);
  GtkWidget* loose_child = gtk_label_new("child");
  gtk_container_add(GTK_CONTAINER(loose_box), loose_child);
  g_object_set_data(G_OBJECT(loose_box), "gw_id", GINT_TO_POINTER(4));

  const struct {
    const char* name;
    GtkWidget* widget;
    int32_t number;
  } cases[] = {
      {"main widget of an outer one", widget_registry().find(1)->main, 7},
      {"outer widget", widget_registry().find(1)->outer, 7},
      {"main widget placed directly", widget_registry().find(2)->main, 7},
      {"the window itself", window, 7},
      {"window 0", gtk_bin_get_child(GTK_BIN(window_zero)), 0},
      {"window without a number", gtk_bin_get_child(GTK_BIN(unnumbered)), 0},
      {"widget inside no window", loose, -1},
      {"child of a numbered widget inside no window", loose_child, -1},
      {"no widget", nullptr, -1},
  };
  for (const auto& c : cases) EXPECT_EQ(widget_window_number(c.widget), c.number) << c.name;

  gtk_widget_destroy(loose);
  g_object_unref(loose);
  gtk_widget_destroy(loose_box);
  g_object_unref(loose_box);
}

// ---------------------------------------------------------------------------
// Items

struct AddedItem {
  int32_t position;
  std::string text;
  GdkPixbuf* image;
  int32_t level;
  bool operator==(const AddedItem&) const = default;
};

// Only the plain add: add_widget_item falls back on it and drops the level.
class PlainAddKind : public TestKind {
 public:
  PlainAddKind() : TestKind(903, Shape::Bare, /*styled=*/false) {}
  int32_t add_item(Widget&, int32_t position, const char* utf8, GdkPixbuf* image) override {
    added.push_back({position, utf8, image, -999});
    return 41;
  }
  std::vector<AddedItem> added;
};

class LevelAddKind : public TestKind {
 public:
  LevelAddKind() : TestKind(904, Shape::Bare) {}
  int32_t add_item(Widget&, int32_t, const char*, GdkPixbuf*) override {
    ADD_FAILURE() << "the level-aware add must be preferred";
    return 0;
  }
  int32_t add_item_at_level(Widget&, int32_t position, const char* utf8, GdkPixbuf* image,
                            int32_t level) override {
    added.push_back({position, utf8, image, level});
    return 1;
  }
  std::vector<AddedItem> added;
};

TEST_F(WidgetTest, AddWidgetItemHandsTheKindUtf8TextAndEveryArgument) {
  LevelAddKind level_kind;
  ASSERT_TRUE(create_test_widget(level_kind, 1));
  gtk::GObjectPtr<GdkPixbuf> icon = gtk::GObjectPtr<GdkPixbuf>::adopt(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 16, 16));

  const struct {
    std::u16string text;
    int32_t position;
    GdkPixbuf* image;
    int32_t level;
    std::string utf8;
  } cases[] = {
      {u"Docs", -1, icon.get(), 1, "Docs"},
      {u"", 0, nullptr, 0, ""},
      {u"Gr\u00f6\u00dfe \u20ac", 3, nullptr, -5, "Gr\xc3\xb6\xc3\x9f" "e \xe2\x82\xac"},
      {u"\U0001F600", 2, nullptr, 7, "\xf0\x9f\x98\x80"},
      {std::u16string(u"cut\0here", 8), 1, nullptr, 2, "cut"},
  };
  std::vector<AddedItem> expected;
  for (const auto& c : cases) {
    EXPECT_EQ(add_widget_item(1, c.position, c.text, c.image, c.level), 1);
    expected.push_back({c.position, c.utf8, c.image, c.level});
  }
  EXPECT_EQ(level_kind.added, expected);
  destroy_widget(1);
}

TEST_F(WidgetTest, AddWidgetItemFallsBackOnThePlainAdd) {
  PlainAddKind plain_kind;
  ASSERT_TRUE(create_test_widget(plain_kind, 2));
  EXPECT_EQ(add_widget_item(2, 5, u"leaf", nullptr, 3), 41);
  EXPECT_EQ(plain_kind.added, (std::vector<AddedItem>{{5, "leaf", nullptr, -999}}));
  destroy_widget(2);
}

TEST_F(WidgetTest, AddWidgetItemYieldsZeroWithoutAnAddOrAWidget) {
  LevelAddKind level_kind;
  ASSERT_TRUE(create_test_widget(level_kind, 1));
  ASSERT_TRUE(create_test_widget(framed, 2, 10, 100));
  EXPECT_EQ(add_widget_item(2, -1, u"x", nullptr, 0), 0);
  for (int32_t number : {0, 3, 30, -2}) EXPECT_EQ(add_widget_item(number, -1, u"x", nullptr, 0), 0);
  destroy_widget(1);
  EXPECT_EQ(add_widget_item(1, -1, u"x", nullptr, 0), 0);
  EXPECT_TRUE(level_kind.added.empty());
}

// ---------------------------------------------------------------------------
// Fonts

using Font = gtk::OwnedFontDescription;

Font font(const char* description) { return Font(pango_font_description_from_string(description)); }

PangoFontDescription* stored_font(GtkWidget* main) {
  return static_cast<PangoFontDescription*>(g_object_get_data(G_OBJECT(main), "gw_gadget_font"));
}

TEST_F(WidgetTest, SetWidgetFontChangesTheWidgetsFontAndNoneRestoresTheStyles) {
  ASSERT_TRUE(create_test_widget(framed, 0));
  Widget* widget = widget_registry().find(0);
  const Font original(pango_font_description_copy(gtk_widget_get_style(widget->main)->font_desc));
  const Font big = font("Serif Bold 31");

  set_widget_font(0, big.get());
  ASSERT_NE(stored_font(widget->main), nullptr);
  EXPECT_TRUE(pango_font_description_equal(stored_font(widget->main), big.get()));
  EXPECT_NE(stored_font(widget->main), big.get()) << "the widget keeps its own copy";
  EXPECT_EQ(pango_font_description_get_size(gtk_widget_get_style(widget->main)->font_desc), 31 * PANGO_SCALE);
  EXPECT_EQ(widget->kind->get_font(*widget), stored_font(widget->main));

  // The widget's own font handed back to it must survive the replacement.
  set_widget_font(0, widget->kind->get_font(*widget));
  EXPECT_TRUE(pango_font_description_equal(stored_font(widget->main), big.get()));

  set_widget_font(0, nullptr);
  EXPECT_EQ(stored_font(widget->main), nullptr);
  EXPECT_TRUE(pango_font_description_equal(gtk_widget_get_style(widget->main)->font_desc, original.get()));
  EXPECT_EQ(widget->kind->get_font(*widget), gtk_widget_get_style(widget->main)->font_desc);
}

TEST_F(WidgetTest, TheDefaultFontGoesToWidgetsRegisteredLater) {
  ASSERT_TRUE(create_test_widget(framed, 0));
  const Font small = font("Monospace 7");
  set_widget_font(-1, small.get());
  ASSERT_TRUE(create_test_widget(framed, 1, 10, 60));
  set_widget_font(-1, nullptr);
  ASSERT_TRUE(create_test_widget(framed, 2, 10, 110));

  EXPECT_EQ(stored_font(widget_registry().find(0)->main), nullptr);
  ASSERT_NE(stored_font(widget_registry().find(1)->main), nullptr);
  EXPECT_TRUE(pango_font_description_equal(stored_font(widget_registry().find(1)->main), small.get()));
  EXPECT_EQ(stored_font(widget_registry().find(2)->main), nullptr);
}

TEST_F(WidgetTest, SetWidgetFontIgnoresKindsWithoutAFontAndNumbersWithoutAWidget) {
  PlainAddKind fontless;
  ASSERT_TRUE(create_test_widget(fontless, 0));
  const Font big = font("Serif 30");
  set_widget_font(0, big.get());
  set_widget_font(6, big.get());
  EXPECT_EQ(stored_font(widget_registry().find(0)->main), nullptr);
  destroy_widget(0);
}

// ---------------------------------------------------------------------------
// Colours

struct Channels {
  guint16 red, green, blue;
};

constexpr GtkStateType ColouredStates[] = {GTK_STATE_NORMAL, GTK_STATE_ACTIVE, GTK_STATE_PRELIGHT};

void expect_colour(GtkWidget* target, int32_t which, const Channels* channels, const char* what) {
  GtkRcStyle* style = gtk_widget_get_modifier_style(target);
  const unsigned flags = which == 1 ? GTK_RC_FG | GTK_RC_TEXT : GTK_RC_BG | GTK_RC_BASE;
  for (GtkStateType state : ColouredStates) {
    SCOPED_TRACE(testing::Message() << what << ", state " << state);
    if (!channels) {
      EXPECT_EQ(style->color_flags[state] & flags, 0u);
      continue;
    }
    EXPECT_EQ(style->color_flags[state] & flags, flags);
    for (const GdkColor& colour : which == 1 ? std::vector{style->fg[state], style->text[state]}
                                             : std::vector{style->bg[state], style->base[state]}) {
      EXPECT_EQ(colour.red, channels->red);
      EXPECT_EQ(colour.green, channels->green);
      EXPECT_EQ(colour.blue, channels->blue);
    }
  }
}

struct ColourCase {
  const char* name;
  int32_t which;
  int32_t colour;
  int32_t front;  // widget_colour 1 afterwards
  int32_t back;   // widget_colour 2 afterwards
  Channels channels;
};

void PrintTo(const ColourCase& c, std::ostream* out) { *out << c.name; }

class ColourTest : public WidgetTest, public testing::WithParamInterface<ColourCase> {};

TEST_P(ColourTest, ColourIsStoredAndShownInSixteenBitChannels) {
  const ColourCase& c = GetParam();
  ASSERT_TRUE(create_test_widget(framed, 0));
  Widget* widget = widget_registry().find(0);

  widget->kind->set_colour(*widget, c.which, c.colour);

  EXPECT_EQ(widget->kind->get_colour(*widget, 1), c.front);
  EXPECT_EQ(widget->kind->get_colour(*widget, 2), c.back);
  EXPECT_EQ(widget->kind->get_colour(*widget, 3), -1);
  expect_colour(widget->main, 1, c.which == 1 ? &c.channels : nullptr, "main, front");
  expect_colour(widget->main, 2, c.which == 2 ? &c.channels : nullptr, "main, back");
  // Only the background reaches the outer widget.
  expect_colour(widget->outer, 1, nullptr, "outer, front");
  expect_colour(widget->outer, 2, c.which == 2 ? &c.channels : nullptr, "outer, back");
  GtkStyle* shown = gtk_widget_get_style(widget->main);
  if (c.which == 1) {
    EXPECT_EQ(shown->fg[GTK_STATE_NORMAL].red, c.channels.red);
    EXPECT_EQ(shown->fg[GTK_STATE_NORMAL].blue, c.channels.blue);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Colours, ColourTest,
    testing::Values(ColourCase{"RedText", 1, 0x0000FF, 0x0000FF, -1, {0xFF00, 0, 0}},
                    ColourCase{"BlueText", 1, 0xFF0000, 0xFF0000, -1, {0, 0, 0xFF00}},
                    ColourCase{"Background", 2, 0x123456, -1, 0x123456, {0x5600, 0x3400, 0x1200}},
                    ColourCase{"Black", 1, 0, 0, -1, {0, 0, 0}},
                    // Bits above the three channels are kept but not shown.
                    ColourCase{"HighestColour", 2, 0x7FFFFFFF, -1, 0x7FFFFFFF, {0xFF00, 0xFF00, 0xFF00}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WidgetTest, ColourNoneClearsWhatWasSet) {
  ASSERT_TRUE(create_test_widget(framed, 0));
  Widget* widget = widget_registry().find(0);
  apply_colour(*widget, 1, 0x0000FF);
  apply_colour(*widget, 2, 0x00FF00);
  apply_colour(*widget, 1, -1);

  EXPECT_EQ(widget_colour(*widget, 1), -1);
  EXPECT_EQ(widget_colour(*widget, 2), 0x00FF00);
  expect_colour(widget->main, 1, nullptr, "front");
  const Channels green{0, 0xFF00, 0};
  expect_colour(widget->main, 2, &green, "back");

  apply_colour(*widget, 2, -1);
  EXPECT_EQ(widget_colour(*widget, 2), -1);
  expect_colour(widget->main, 2, nullptr, "back");
  expect_colour(widget->outer, 2, nullptr, "outer back");
}

TEST_F(WidgetTest, ColourWithAnotherWhichChangesNothing) {
  ASSERT_TRUE(create_test_widget(bare, 0));
  Widget* widget = widget_registry().find(0);
  for (int32_t which : {0, 3, -1}) apply_colour(*widget, which, 0x0000FF);
  EXPECT_EQ(widget->front_colour, 0);
  EXPECT_EQ(widget->back_colour, 0);
  expect_colour(widget->main, 1, nullptr, "front");
  expect_colour(widget->main, 2, nullptr, "back");
}

}  // namespace
