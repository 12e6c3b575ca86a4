// Click and drag detection for widgets: both report through WidgetEvent.
#include <cmath>
#include <limits>
#include <memory>

#include "core/event_queue.h"
#include "gtk/object_data.h"
#include "widgets/widget.h"

namespace widgets {

namespace {


// Pending click kinds kept under gtk::ClickKey; the event data is the kind - 1.
constexpr int LeftPress = 1;
constexpr int RightPress = 2;
constexpr int LeftDoublePress = 3;
constexpr int RightDoublePress = 4;

constexpr guint LeftButton = 1;
constexpr guint RightButton = 3;
// Buttons 1 to 5 in an event's state.
constexpr guint ButtonsMask =
    GDK_BUTTON1_MASK | GDK_BUTTON2_MASK | GDK_BUTTON3_MASK | GDK_BUTTON4_MASK | GDK_BUTTON5_MASK;

struct PointerTracker {
  int32_t number = 0;
  int32_t pressed = 0;
  int32_t dragging = 0;
  int32_t press_x = 0;  // widget coordinates
  int32_t press_y = 0;
};

// Toward zero, as the threshold check takes whole pixels; clamped so that no
// coordinate can overflow the conversion.
int32_t whole_pixels(gdouble value) {
  constexpr double Limit = std::numeric_limits<int32_t>::max();
  if (std::isnan(value)) return 0;
  if (value >= Limit) return std::numeric_limits<int32_t>::max();
  if (value <= -Limit) return -std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

gboolean on_press(GtkWidget* widget, GdkEventButton* event, gpointer data) {
  auto* tracker = static_cast<PointerTracker*>(data);
  // On a tree view only the rows start a drag, not the column headers.
  if (GTK_IS_TREE_VIEW(widget) && event->window != gtk_tree_view_get_bin_window(GTK_TREE_VIEW(widget)))
    return FALSE;
  if (event->button == LeftButton) {
    tracker->pressed = 1;
    tracker->dragging = 0;
    tracker->press_x = whole_pixels(event->x);
    tracker->press_y = whole_pixels(event->y);
  }
  return FALSE;
}

gboolean on_release(GtkWidget*, GdkEventButton*, gpointer data) {
  static_cast<PointerTracker*>(data)->pressed = 0;
  return FALSE;
}

gboolean on_motion(GtkWidget* widget, GdkEventMotion* event, gpointer data) {
  auto* tracker = static_cast<PointerTracker*>(data);
  if (tracker->pressed == 1 && tracker->dragging == 0 && (event->state & ButtonsMask) == GDK_BUTTON1_MASK &&
      gtk_drag_check_threshold(widget, tracker->press_x, tracker->press_y, whole_pixels(event->x),
                               whole_pixels(event->y))) {
    core::post_event(core::EventType::WidgetEvent, tracker->number, widget_window_number(widget), core::WidgetEventData::DragStart);
    tracker->dragging = 1;
  }
  return FALSE;
}

void free_tracker(gpointer data, GClosure*) { std::unique_ptr<PointerTracker> owned(static_cast<PointerTracker*>(data)); }

int pending_click(GtkWidget* widget) { return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), gtk::ClickKey)); }

void set_pending_click(GtkWidget* widget, int kind) {
  g_object_set_data(G_OBJECT(widget), gtk::ClickKey, GINT_TO_POINTER(kind));
}

}  // namespace

void track_pointer(int32_t number, GtkWidget* widget) {
  auto tracker = std::make_unique<PointerTracker>();
  tracker->number = number;
  gtk_widget_add_events(widget, GDK_BUTTON_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
  g_signal_connect(widget, "button-press-event", G_CALLBACK(on_press), tracker.get());
  g_signal_connect(widget, "button-release-event", G_CALLBACK(on_release), tracker.get());
  // The three connections go together with the widget; the last one owns it.
  g_signal_connect_data(widget, "motion-notify-event", G_CALLBACK(on_motion), tracker.release(), free_tracker,
                        GConnectFlags{});
}

gboolean track_clicks(GtkWidget* widget, GdkEventButton* event, gpointer number) {
  switch (event->type) {
    case GDK_BUTTON_PRESS:
      if (event->button == LeftButton) set_pending_click(widget, LeftPress);
      if (event->button == RightButton) set_pending_click(widget, RightPress);
      break;
    case GDK_2BUTTON_PRESS:
      if (event->button == LeftButton) set_pending_click(widget, LeftDoublePress);
      if (event->button == RightButton) set_pending_click(widget, RightDoublePress);
      break;
    case GDK_BUTTON_RELEASE: {
      const int pending = pending_click(widget) - 1;
      const bool left_pending = pending == core::WidgetEventData::LeftClick || pending == core::WidgetEventData::LeftDoubleClick;
      const bool right_pending = pending == core::WidgetEventData::RightClick || pending == core::WidgetEventData::RightDoubleClick;
      if ((event->button == LeftButton && left_pending) || (event->button == RightButton && right_pending))
        core::post_event(core::EventType::WidgetEvent, GPOINTER_TO_INT(number), widget_window_number(widget), pending);
      set_pending_click(widget, 0);
      break;
    }
    default:
      break;
  }
  return FALSE;
}

}  // namespace widgets
