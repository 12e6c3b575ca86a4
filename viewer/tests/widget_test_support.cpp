#include "tests/widget_test_support.h"

#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>

#include <algorithm>

using namespace core;
using namespace widgets;

namespace {

// The windows the running test opened and has not destroyed yet.
std::vector<GtkWidget*> open_windows;
// The buttons the running test holds down.
std::vector<unsigned> held_buttons;

void forget_window(GtkObject* window, gpointer) {
  std::erase(open_windows, GTK_WIDGET(window));
}

}  // namespace

void TestKind::release(Widget& widget) {
  const auto* data = dynamic_cast<const TestWidgetData*>(widget.data.get());
  releases.push_back({widget.main, widget.outer, data ? data->tag : -1});
}

void PrintTo(TestKind::Shape shape, std::ostream* out) {
  *out << (shape == TestKind::Shape::Framed ? "Framed" : "Bare");
}

void TestKind::set_font(Widget& widget, PangoFontDescription* font) {
  if (styled) apply_font(widget, font);
}

PangoFontDescription* TestKind::get_font(Widget& widget) { return styled ? kind_font(widget) : nullptr; }

void TestKind::set_colour(Widget& widget, int32_t which, int32_t colour) {
  if (styled) apply_colour(widget, which, colour);
}

int32_t TestKind::get_colour(Widget& widget, int32_t which) { return styled ? widget_colour(widget, which) : 0; }

std::optional<int32_t> create_test_widget(TestKind& kind, int32_t number, int x, int y, int width, int height,
                                          int tag) {
  const auto [assigned, record] = widget_registry().allocate(number);
  if (!record) return std::nullopt;
  number = assigned;
  GtkWidget* box = gtk_event_box_new();
  gtk_widget_set_size_request(box, width, height);
  GtkWidget* label = nullptr;
  if (kind.shape == TestKind::Shape::Framed) {
    label = gtk_label_new("item");
    gtk_container_add(GTK_CONTAINER(box), label);
  }
  track_pointer(number, box);
  g_signal_connect(box, "button-press-event", G_CALLBACK(track_clicks), GINT_TO_POINTER(number));
  g_signal_connect(box, "button-release-event", G_CALLBACK(track_clicks), GINT_TO_POINTER(number));
  if (!place_widget(box, x, y)) return std::nullopt;
  record->main = label ? label : box;
  record->outer = label ? box : nullptr;
  record->kind = &kind;
  record->data = std::make_unique<TestWidgetData>(tag);
  register_widget(*record, number);
  gtk_widget_show_all(box);
  settle();
  return number;
}

GtkWidget* open_test_window(int32_t number, bool with_container, int x, int y, int width, int height) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_move(GTK_WINDOW(window), x, y);
  gtk_window_set_default_size(GTK_WINDOW(window), width, height);
  GtkWidget* vbox = gtk_vbox_new(FALSE, 0);
  gtk_container_add(GTK_CONTAINER(window), vbox);
  if (with_container) {
    GtkWidget* fixed = gtk_fixed_new();
    gtk_fixed_set_has_window(GTK_FIXED(fixed), TRUE);
    gtk_box_pack_start(GTK_BOX(vbox), fixed, TRUE, TRUE, 0);
    g_object_set_data(G_OBJECT(window), "gw_gadgetlist", fixed);
  }
  g_object_set_data(G_OBJECT(window), "gw_id", GINT_TO_POINTER(number));
  open_windows.push_back(window);
  g_signal_connect(window, "destroy", G_CALLBACK(forget_window), nullptr);
  gtk_widget_show_all(window);
  settle();
  return window;
}

void settle() {
  for (int round = 0; round < 3; ++round) {
    gdk_flush();
    XSync(gdk_x11_get_default_xdisplay(), False);
    flush_toolkit_events();
  }
}

void pointer_to(GtkWidget* widget, int x, int y) {
  gint origin_x = 0;
  gint origin_y = 0;
  gdk_window_get_origin(gtk_widget_get_window(widget), &origin_x, &origin_y);
  if (!gtk_widget_get_has_window(widget)) {
    GtkAllocation allocation;
    gtk_widget_get_allocation(widget, &allocation);
    origin_x += allocation.x;
    origin_y += allocation.y;
  }
  pointer_to_screen(origin_x + x, origin_y + y);
}

void pointer_to_screen(int x, int y) {
  XTestFakeMotionEvent(gdk_x11_get_default_xdisplay(), -1, x, y, CurrentTime);
  settle();
}

void press(unsigned button) {
  held_buttons.push_back(button);
  XTestFakeButtonEvent(gdk_x11_get_default_xdisplay(), button, True, CurrentTime);
  settle();
}

void release(unsigned button) {
  std::erase(held_buttons, button);
  XTestFakeButtonEvent(gdk_x11_get_default_xdisplay(), button, False, CurrentTime);
  settle();
}

void set_double_click_time(int milliseconds) {
  g_object_set(gtk_settings_get_default(), "gtk-double-click-time", milliseconds, nullptr);
}

std::vector<WindowEvent> take_widget_events() {
  std::vector<WindowEvent> events;
  for (WindowEvent event = take_event(); event.type != 0; event = take_event()) {
    if (event.type == EventType::WidgetEvent) events.push_back(event);
  }
  return events;
}

intptr_t raw_id(GtkWidget* widget) {
  return reinterpret_cast<intptr_t>(g_object_get_data(G_OBJECT(widget), "gw_id"));
}

GtkAllocation allocation_of(GtkWidget* widget) {
  GtkAllocation allocation;
  gtk_widget_get_allocation(widget, &allocation);
  return allocation;
}

void WidgetLayerTest::SetUp() {
  log_.emplace();
  init_event_queue();
  init_widgets();
  take_widget_events();
}

void WidgetLayerTest::TearDown() {
  while (!held_buttons.empty()) release(held_buttons.back());
  while (!open_windows.empty()) gtk_widget_destroy(open_windows.back());
  settle();
  take_widget_events();
  EXPECT_TRUE(log_->messages().empty()) << testing::PrintToString(log_->messages());
  log_.reset();
}
