// Clicks and drags reported by widgets, driven by real pointer input through
// the X server.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gtk/gobject_ptr.h"
#include "tests/widget_test_support.h"

using namespace core;
using namespace widgets;

namespace {

using Shape = TestKind::Shape;

constexpr int32_t WindowNumber = 7;
constexpr int32_t WidgetNumber = 4;

// A double-click time of 0 keeps quick presses apart; a long one makes two
// presses a double press however slowly the test runs.
constexpr int Apart = 0;
constexpr int Together = 600000;

class PointerTest : public WidgetLayerTest {
 protected:
  void SetUp() override {
    WidgetLayerTest::SetUp();
    use_widget_list(open_test_window(WindowNumber));
    ASSERT_EQ(create_test_widget(kind, WidgetNumber, 20, 20, 120, 80), WidgetNumber);
    box = widget_registry().find(WidgetNumber)->placed();
    pointer_to(box, 30, 30);
    // A middle click here makes the toolkit forget presses of earlier tests,
    // so that no left or right press can count as their double click.
    set_double_click_time(Apart);
    press(2);
    release(2);
    take_widget_events();
  }

  TestKind kind{906, Shape::Framed};
  GtkWidget* box = nullptr;  // receives the button events
};

// One step of pointer input: a button going down or up, or a move to
// (x, y) in the event box's coordinates.
struct Step {
  enum class Kind { Press, Release, Move } kind;
  unsigned button = 0;
  int x = 0;
  int y = 0;
};

Step P(unsigned button) { return {Step::Kind::Press, button}; }
Step R(unsigned button) { return {Step::Kind::Release, button}; }
Step M(int x, int y) { return {Step::Kind::Move, 0, x, y}; }

// Plays the steps and returns the data of every WidgetEvent, read after each
// step so that equal events in a row are not merged by the queue.
std::vector<int32_t> play(GtkWidget* box, const std::vector<Step>& steps) {
  std::vector<int32_t> data;
  for (const Step& step : steps) {
    switch (step.kind) {
      case Step::Kind::Press:
        press(step.button);
        break;
      case Step::Kind::Release:
        release(step.button);
        break;
      case Step::Kind::Move:
        pointer_to(box, step.x, step.y);
        break;
    }
    for (const WindowEvent& event : take_widget_events()) {
      EXPECT_EQ(event.widget, WidgetNumber);
      EXPECT_EQ(event.window, WindowNumber);
      data.push_back(event.data);
    }
  }
  return data;
}

// ---------------------------------------------------------------------------
// Clicks

struct ClickCase {
  const char* name;
  int double_click_ms;
  std::vector<Step> steps;
  std::vector<int32_t> data;
};

void PrintTo(const ClickCase& c, std::ostream* out) { *out << c.name; }

class ClickTest : public PointerTest, public testing::WithParamInterface<ClickCase> {};

TEST_P(ClickTest, PostsTheClickKindAtTheRelease) {
  set_double_click_time(GetParam().double_click_ms);
  EXPECT_EQ(play(box, GetParam().steps), GetParam().data);
  EXPECT_EQ(g_object_get_data(G_OBJECT(box), "gw_gadget_eventtype"), nullptr) << "every release clears it";
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, ClickTest,
    testing::Values(ClickCase{"Left", Apart, {P(1), R(1)}, {WidgetEventData::LeftClick}},
                    ClickCase{"Right", Apart, {P(3), R(3)}, {WidgetEventData::RightClick}},
                    ClickCase{"Middle", Apart, {P(2), R(2)}, {}},
                    ClickCase{"TwoLeftClicks", Apart, {P(1), R(1), P(1), R(1)}, {WidgetEventData::LeftClick, WidgetEventData::LeftClick}},
                    ClickCase{"LeftDouble", Together, {P(1), R(1), P(1), R(1)}, {WidgetEventData::LeftClick, WidgetEventData::LeftDoubleClick}},
                    ClickCase{"RightDouble", Together, {P(3), R(3), P(3), R(3)}, {WidgetEventData::RightClick, WidgetEventData::RightDoubleClick}},
                    // The third press of a triple click is an ordinary press.
                    ClickCase{"LeftTriple",
                              Together,
                              {P(1), R(1), P(1), R(1), P(1), R(1)},
                              {WidgetEventData::LeftClick, WidgetEventData::LeftDoubleClick, WidgetEventData::LeftClick}},
                    // The last press decides; a release of another button
                    // posts nothing and still clears it.
                    ClickCase{"RightInsideLeft", Apart, {P(1), P(3), R(3), R(1)}, {WidgetEventData::RightClick}},
                    ClickCase{"MiddleInsideLeft", Apart, {P(1), P(2), R(2), R(1)}, {}},
                    ClickCase{"LeftReleasedFarAway", Apart, {P(1), M(400, 300), R(1)}, {WidgetEventData::DragStart, WidgetEventData::LeftClick}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PointerTest, AHiddenWidgetReceivesNoClicks) {
  set_double_click_time(Apart);
  set_widget_hidden(WidgetNumber, 1);
  settle();
  EXPECT_EQ(play(box, {M(30, 30), P(1), R(1), P(3), R(3)}), std::vector<int32_t>{});

  set_widget_hidden(WidgetNumber, 0);
  settle();
  EXPECT_EQ(play(box, {M(30, 30), P(1), R(1)}), std::vector<int32_t>{WidgetEventData::LeftClick});
}

// ---------------------------------------------------------------------------
// Drags

struct DragCase {
  const char* name;
  std::vector<Step> steps;
  std::vector<int32_t> data;
};

void PrintTo(const DragCase& c, std::ostream* out) { *out << c.name; }

class DragTest : public PointerTest, public testing::WithParamInterface<DragCase> {};

TEST_P(DragTest, ReportsOneDragStartPerLeftPress) {
  set_double_click_time(Apart);
  EXPECT_EQ(play(box, GetParam().steps), GetParam().data);
}

// The press happens at (30, 30); the toolkit's threshold is a few pixels.
INSTANTIATE_TEST_SUITE_P(
    Drags, DragTest,
    testing::Values(DragCase{"PastTheThreshold", {P(1), M(60, 30)}, {WidgetEventData::DragStart}},
                    DragCase{"FarAndOn", {P(1), M(60, 30), M(100, 70), M(300, 200), M(5, 5), M(30, 30)}, {WidgetEventData::DragStart}},
                    DragCase{"WithinTheThreshold", {P(1), M(32, 32), M(28, 29), R(1)}, {WidgetEventData::LeftClick}},
                    DragCase{"EveryPressAgain",
                             {P(1), M(60, 30), R(1), P(1), M(90, 60), M(100, 70), R(1)},
                             {WidgetEventData::DragStart, WidgetEventData::LeftClick, WidgetEventData::DragStart, WidgetEventData::LeftClick}},
                    DragCase{"RightButton", {P(3), M(80, 60), R(3)}, {WidgetEventData::RightClick}},
                    DragCase{"MiddleButton", {P(2), M(80, 60), R(2)}, {}},
                    DragCase{"LeftWithMiddleHeld", {P(1), P(2), M(80, 60), R(2), R(1)}, {}},
                    DragCase{"AfterTheRelease", {P(1), R(1), M(80, 60)}, {WidgetEventData::LeftClick}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Tree views: only presses on the rows start drag tracking.

class TreeViewDragTest : public WidgetLayerTest {
 protected:
  void SetUp() override {
    WidgetLayerTest::SetUp();
    use_widget_list(open_test_window(WindowNumber));
    GtkListStore* store = gtk_list_store_new(1, G_TYPE_STRING);
    for (const char* text : {"one", "two", "three"}) {
      GtkTreeIter iter;
      gtk_list_store_append(store, &iter);
      gtk_list_store_set(store, &iter, 0, text, -1);
    }
    view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
    g_object_unref(store);
    gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(view), -1, "Header", gtk_cell_renderer_text_new(),
                                                "text", 0, nullptr);
    gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(view), TRUE);
    gtk_widget_set_size_request(view, 200, 150);
    track_pointer(WidgetNumber, view);
    ASSERT_TRUE(place_widget(view, 10, 10));
    gtk_widget_show(view);
    settle();
  }

  GtkWidget* view = nullptr;
};

TEST_F(TreeViewDragTest, ADragFromTheRowsIsReported) {
  GdkRectangle row;
  GtkTreePath* path = gtk_tree_path_new_from_indices(1, -1);
  gtk_tree_view_get_background_area(GTK_TREE_VIEW(view), path, nullptr, &row);
  gtk_tree_path_free(path);
  gint bin_x = 0;
  gint bin_y = 0;
  gdk_window_get_origin(gtk_tree_view_get_bin_window(GTK_TREE_VIEW(view)), &bin_x, &bin_y);

  pointer_to_screen(bin_x + 20, bin_y + row.y + row.height / 2);
  take_widget_events();
  press(1);
  pointer_to_screen(bin_x + 80, bin_y + row.y + 60);
  const std::vector<WindowEvent> events = take_widget_events();
  release(1);

  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], (WindowEvent{EventType::WidgetEvent, WidgetNumber, WindowNumber, WidgetEventData::DragStart}));
}

// Sends the tree view a left press in `window`, then a motion far off with the
// left button held, as the toolkit would deliver them.
void press_and_move(GtkWidget* view, GdkWindow* window) {
  GdkEvent* press_event = gdk_event_new(GDK_BUTTON_PRESS);
  press_event->button.window = GDK_WINDOW(g_object_ref(window));
  press_event->button.send_event = TRUE;
  press_event->button.time = GDK_CURRENT_TIME;
  press_event->button.x = 20;
  press_event->button.y = 5;
  press_event->button.button = 1;
  press_event->button.device = gdk_device_get_core_pointer();
  gtk_widget_event(view, press_event);
  gdk_event_free(press_event);

  GdkEvent* motion = gdk_event_new(GDK_MOTION_NOTIFY);
  motion->motion.window = GDK_WINDOW(g_object_ref(gtk_tree_view_get_bin_window(GTK_TREE_VIEW(view))));
  motion->motion.send_event = TRUE;
  motion->motion.time = GDK_CURRENT_TIME;
  motion->motion.x = 120;
  motion->motion.y = 80;
  motion->motion.state = GDK_BUTTON1_MASK;
  motion->motion.device = gdk_device_get_core_pointer();
  gtk_widget_event(view, motion);
  gdk_event_free(motion);
}

TEST_F(TreeViewDragTest, APressOutsideTheRowsStartsNoDragTracking) {
  // The tree view's own window holds the header above the rows.
  press_and_move(view, gtk_widget_get_window(view));
  EXPECT_EQ(take_widget_events(), std::vector<WindowEvent>{});

  press_and_move(view, gtk_tree_view_get_bin_window(GTK_TREE_VIEW(view)));
  EXPECT_EQ(take_widget_events(), (std::vector<WindowEvent>{{EventType::WidgetEvent, WidgetNumber, WindowNumber, WidgetEventData::DragStart}}));
}

}  // namespace
