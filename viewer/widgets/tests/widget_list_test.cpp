// The current widget list: which container receives new widgets as windows
// and containers are made current, and what their destruction leaves.
#include <gtest/gtest.h>

#include "gtk/gobject_ptr.h"
#include "tests/widget_test_support.h"
#include "core/window.h"

using namespace core;
using namespace widgets;

namespace {

using Shape = TestKind::Shape;

class WidgetListTest : public WidgetLayerTest {
 protected:
  TestKind kind{905, Shape::Bare};
};

GtkWidget* gadget_list(GtkWidget* window) {
  return static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(window), "gw_gadgetlist"));
}

GtkWidget* parent_of_widget(int32_t number) {
  Widget* widget = widget_registry().find(number);
  return widget ? gtk_widget_get_parent(widget->placed()) : nullptr;
}

TEST_F(WidgetListTest, AWindowBecomesCurrentWithItsContainer) {
  GtkWidget* window = open_test_window(0);
  EXPECT_EQ(current_container(), nullptr);

  EXPECT_EQ(use_widget_list(window), nullptr);
  EXPECT_EQ(current_container(), gadget_list(window));
  EXPECT_EQ(use_widget_list(nullptr), window);
  EXPECT_EQ(current_container(), gadget_list(window)) << "asking for the current list changes nothing";
  EXPECT_NE(g_object_get_data(G_OBJECT(window), "gw_gadgetstack"), nullptr);

  ASSERT_TRUE(create_test_widget(kind, 0));
  EXPECT_EQ(parent_of_widget(0), gadget_list(window));
}

TEST_F(WidgetListTest, AWindowWithoutContainerGetsOneInItsBox) {
  GtkWidget* window = open_test_window(0, /*with_container=*/false);
  GtkWidget* box = gtk_bin_get_child(GTK_BIN(window));

  use_widget_list(window);
  GtkWidget* container = gadget_list(window);
  ASSERT_NE(container, nullptr);
  EXPECT_EQ(current_container(), container);
  EXPECT_TRUE(GTK_IS_FIXED(container));
  EXPECT_TRUE(gtk_widget_get_has_window(container));
  EXPECT_TRUE(gtk_widget_get_visible(container));
  EXPECT_EQ(gtk_widget_get_parent(container), box);
  gboolean expand = FALSE;
  gboolean fill = FALSE;
  guint padding = 99;
  GtkPackType pack = GTK_PACK_END;
  gtk_box_query_child_packing(GTK_BOX(box), container, &expand, &fill, &padding, &pack);
  EXPECT_TRUE(expand);
  EXPECT_TRUE(fill);
  EXPECT_EQ(padding, 0u);
  EXPECT_EQ(pack, GTK_PACK_START);

  // Made current again, the window keeps the one container.
  GtkWidget* other = open_test_window(1);
  use_widget_list(other);
  use_widget_list(window);
  EXPECT_EQ(current_container(), container);
  GList* children = gtk_container_get_children(GTK_CONTAINER(box));
  EXPECT_EQ(g_list_length(children), 1u);
  g_list_free(children);

  ASSERT_TRUE(create_test_widget(kind, 0));
  settle();
  EXPECT_TRUE(gtk_widget_get_mapped(widget_registry().find(0)->main));
}

TEST_F(WidgetListTest, AWindowWithoutAnyChildTakesTheContainerItself) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  use_widget_list(window);
  ASSERT_NE(current_container(), nullptr);
  EXPECT_EQ(gtk_bin_get_child(GTK_BIN(window)), current_container());
  gtk_widget_destroy(window);
  EXPECT_EQ(current_container(), nullptr);
}

TEST_F(WidgetListTest, AWindowHoldingNoBoxOffersNoPlaceForWidgets) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_container_add(GTK_CONTAINER(window), gtk_label_new("full"));
  use_widget_list(window);
  EXPECT_EQ(current_container(), nullptr);
  EXPECT_EQ(use_widget_list(nullptr), window);
  EXPECT_FALSE(create_test_widget(kind, 0));
  EXPECT_EQ(widget_registry().find(0), nullptr);
  gtk_widget_destroy(window);
}

TEST_F(WidgetListTest, SwitchingReturnsThePreviousWindowAndItsWidgetsStayApart) {
  GtkWidget* first = open_test_window(0);
  GtkWidget* second = open_test_window(1, true, 400, 40);

  EXPECT_EQ(use_widget_list(first), nullptr);
  ASSERT_TRUE(create_test_widget(kind, 0));
  EXPECT_EQ(use_widget_list(second), first);
  ASSERT_TRUE(create_test_widget(kind, 1));
  EXPECT_EQ(use_widget_list(first), second);
  ASSERT_TRUE(create_test_widget(kind, 2, 10, 60));

  EXPECT_EQ(parent_of_widget(0), gadget_list(first));
  EXPECT_EQ(parent_of_widget(1), gadget_list(second));
  EXPECT_EQ(parent_of_widget(2), gadget_list(first));
  EXPECT_EQ(widget_window_number(widget_registry().find(1)->main), 1);
}

TEST_F(WidgetListTest, AContainerCanBeTheListAndIsRestoredWhenMadeCurrentAgain) {
  GtkWidget* window = open_test_window(0);
  use_widget_list(window);
  GtkWidget* inner = gtk_fixed_new();
  ASSERT_TRUE(place_widget(inner, 50, 50));
  gtk_widget_show(inner);

  EXPECT_EQ(use_widget_list(inner), window);
  EXPECT_EQ(current_container(), inner);
  ASSERT_TRUE(create_test_widget(kind, 0));
  EXPECT_EQ(use_widget_list(window), inner);
  EXPECT_EQ(current_container(), gadget_list(window));
  EXPECT_EQ(use_widget_list(inner), window);
  EXPECT_EQ(current_container(), inner);
  ASSERT_TRUE(create_test_widget(kind, 1, 10, 60));

  EXPECT_EQ(parent_of_widget(0), inner);
  EXPECT_EQ(parent_of_widget(1), inner);
  EXPECT_EQ(widget_window_number(widget_registry().find(1)->main), 0);
}

TEST_F(WidgetListTest, AWindowMadeCurrentAgainGetsTheContainerItWasLeftWith) {
  GtkWidget* first = open_test_window(0);
  GtkWidget* second = open_test_window(1);
  use_widget_list(first);
  GtkWidget* original = current_container();
  use_widget_list(second);

  // The saved container counts, not what the window's key says by now.
  g_object_set_data(G_OBJECT(first), "gw_gadgetlist", gadget_list(second));
  use_widget_list(first);
  EXPECT_EQ(current_container(), original);
}

struct DestroyCase {
  const char* name;
  bool extra_reference;  // something else still holds the destroyed window
};

void PrintTo(const DestroyCase& c, std::ostream* out) { *out << c.name; }

class DestroyCurrentTest : public WidgetListTest, public testing::WithParamInterface<DestroyCase> {};

TEST_P(DestroyCurrentTest, DestroyingTheCurrentWindowLeavesNoList) {
  GtkWidget* other = open_test_window(0);
  GtkWidget* window = open_test_window(1);
  use_widget_list(other);
  use_widget_list(window);
  gtk::GObjectPtr<GtkWidget> held;
  if (GetParam().extra_reference) held = gtk::GObjectPtr<GtkWidget>::share(window);

  gtk_widget_destroy(window);

  EXPECT_EQ(current_container(), nullptr);
  EXPECT_EQ(use_widget_list(nullptr), nullptr);
  EXPECT_FALSE(create_test_widget(kind, 0));
  EXPECT_EQ(widget_registry().find(0), nullptr);

  // The window that was current before comes back with its own container.
  EXPECT_EQ(use_widget_list(other), nullptr);
  EXPECT_EQ(current_container(), gadget_list(other));
  EXPECT_TRUE(create_test_widget(kind, 0));
}

INSTANTIATE_TEST_SUITE_P(Windows, DestroyCurrentTest,
                         testing::Values(DestroyCase{"Alone", false}, DestroyCase{"StillReferenced", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WidgetListTest, DestroyingAnotherWindowKeepsTheCurrentList) {
  GtkWidget* other = open_test_window(0);
  GtkWidget* window = open_test_window(1);
  use_widget_list(other);
  use_widget_list(window);

  gtk_widget_destroy(other);

  EXPECT_EQ(use_widget_list(nullptr), window);
  EXPECT_EQ(current_container(), gadget_list(window));
}

TEST_F(WidgetListTest, DestroyingTheCurrentContainerLeavesNoList) {
  GtkWidget* window = open_test_window(0);
  use_widget_list(window);
  GtkWidget* inner = gtk_fixed_new();
  ASSERT_TRUE(place_widget(inner, 0, 0));
  use_widget_list(inner);

  gtk_widget_destroy(inner);

  EXPECT_EQ(current_container(), nullptr);
  EXPECT_EQ(use_widget_list(window), nullptr);
  EXPECT_EQ(current_container(), gadget_list(window));
}

}  // namespace

// ---------------------------------------------------------------------------
// With the window library

class WindowLibraryTest : public WidgetListTest {
 protected:
  void SetUp() override {
    WidgetListTest::SetUp();
    init_windows();
  }
  void TearDown() override {
    release_windows();
    WidgetListTest::TearDown();
  }
};

TEST_F(WindowLibraryTest, AnOpenedWindowIsTheListUntilItIsClosed) {
  ASSERT_NE(open_window(3, 40, 40, 300, 200, u"list", WindowFlags::TitleBar), 0);
  GtkWidget* window = window_widget(3);
  EXPECT_EQ(current_container(), gadget_list(window));
  ASSERT_TRUE(create_test_widget(kind, 1));
  EXPECT_EQ(widget_window_number(widget_registry().find(1)->main), 3);
  EXPECT_EQ(raw_id(widget_registry().find(1)->main), 2);

  // A window opened without becoming the list leaves the current one alone.
  ASSERT_NE(open_window(4, 400, 40, 300, 200, u"aside", WindowFlags::TitleBar | WindowFlags::NoWidgetList), 0);
  EXPECT_EQ(use_widget_list(nullptr), window);

  close_window(3);
  EXPECT_EQ(widget_registry().find(1), nullptr);
  ASSERT_EQ(kind.releases.size(), 1u);
  EXPECT_EQ(current_container(), nullptr);
  EXPECT_EQ(use_widget_list(nullptr), nullptr);
}
