// Fixtures for the widget layer's tests: windows laid out as the viewer's
// are, a small widget kind built on the layer, and real pointer input through
// the X server (XTest).
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/event_queue.h"
#include "tests/toolkit_log.h"
#include "tests/window_event_print.h"
#include "widgets/widget.h"

// What a test kind's widget carries as its kind fields.
struct TestWidgetData : widgets::WidgetData {
  explicit TestWidgetData(int tag) : tag(tag) {}
  int tag;
};

// A widget kind for tests. Framed: a label (main widget) inside an event box
// (outer widget), like the image widget. Bare: an event box placed directly
// as the main widget. Either way the event box receives the button events.
// A styled kind fills the font and colour slots with the common operations;
// another leaves them empty.
class TestKind : public widgets::WidgetKind {
 public:
  enum class Shape { Framed, Bare };

  TestKind(int32_t code, Shape shape, bool styled = true) : widgets::WidgetKind(code), shape(shape), styled(styled) {}

  struct Release {
    GtkWidget* main;
    GtkWidget* outer;
    int tag;  // of the record's TestWidgetData, -1 without one
  };

  void release(widgets::Widget& widget) override;
  void set_font(widgets::Widget& widget, PangoFontDescription* font) override;
  PangoFontDescription* get_font(widgets::Widget& widget) override;
  void set_colour(widgets::Widget& widget, int32_t which, int32_t colour) override;
  int32_t get_colour(widgets::Widget& widget, int32_t which) override;

  const Shape shape;
  const bool styled;
  std::vector<Release> releases;
};

void PrintTo(TestKind::Shape shape, std::ostream* out);

// Creates a widget of the kind in the current container, the way the kinds
// do: allocate the number, build, track the pointer and clicks on the event
// box, place, fill the record, register, show. Returns the widget's number
// (the automatic one for -1), or nothing when it could not be placed.
std::optional<int32_t> create_test_widget(TestKind& kind, int32_t number, int x = 10, int y = 10,
                                          int width = 60, int height = 40, int tag = 0);

// A top-level window at (x, y) holding a vertical box and, when asked, a
// fixed container with its own drawing window as "gw_gadgetlist"; "gw_id" is
// the window number. Shown and mapped, not yet the current widget list.
GtkWidget* open_test_window(int32_t number, bool with_container = true, int x = 40, int y = 40,
                            int width = 320, int height = 240);

// Lets the X server and the toolkit finish everything sent so far.
void settle();

// Real pointer input: moves to (x, y) in the widget's own coordinates
// (relative to its allocation), presses and releases buttons.
void pointer_to(GtkWidget* widget, int x, int y);
void pointer_to_screen(int x, int y);
void press(unsigned button);
void release(unsigned button);
// The toolkit's double-click time, in milliseconds.
void set_double_click_time(int milliseconds);


// Takes every queued event and returns the WidgetEvents among them.
std::vector<core::WindowEvent> take_widget_events();

// The widget's "gw_id" as stored (number + 1 on widgets, the number on
// windows); 0 when absent.
intptr_t raw_id(GtkWidget* widget);

// Where the toolkit has put the widget in its parent.
GtkAllocation allocation_of(GtkWidget* widget);

// Starts the event queue and the widget layer afresh for every test and
// destroys every window afterwards. Any warning the toolkit logs during the
// test fails it: the layer must hand the toolkit only what it accepts.
class WidgetLayerTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  std::optional<ToolkitLog> log_;
};
