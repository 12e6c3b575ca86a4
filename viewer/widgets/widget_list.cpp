// The current widget list: the container into which new widgets are placed,
// switched between windows with use_widget_list.
#include <memory>

#include "gtk/fixed_container.h"
#include "gtk/object_data.h"
#include "widgets/widget.h"
#include "widgets/widget_layer.h"

namespace widgets {

namespace {

// One per window (or container) that has ever been current: the container
// that was current when it stopped being current.
struct WidgetListRecord {
  GtkWidget* window = nullptr;
  GtkWidget* saved_container = nullptr;
};

WidgetListRecord* record_of(GtkWidget* target) {
  return static_cast<WidgetListRecord*>(g_object_get_data(G_OBJECT(target), gtk::ListRecordKey));
}

void forget_if_current(GtkWidget* window) {
  WidgetLayer* layer = started_widget_layer();
  if (!layer || layer->list.current_window != window) return;
  layer->list.current_window = nullptr;
  layer->list.current_container = nullptr;
}

void release_record(gpointer data) {
  std::unique_ptr<WidgetListRecord> record(static_cast<WidgetListRecord*>(data));
  forget_if_current(record->window);
}

// The record's own release comes only when the window is finalized, which an
// extra reference can put off well past its destruction; the current list
// must not name a destroyed window or container meanwhile.
void on_list_owner_destroy(GtkObject* object, gpointer) { forget_if_current(GTK_WIDGET(object)); }

void attach_record(GtkWidget* target) {
  auto record = std::make_unique<WidgetListRecord>();
  record->window = target;
  g_object_set_data_full(G_OBJECT(target), gtk::ListRecordKey, record.release(), release_record);
  g_signal_connect(target, "destroy", G_CALLBACK(on_list_owner_destroy), nullptr);
}

// Discards a widget that never got a parent (and so still holds its floating
// reference).
void discard_unplaced(GtkWidget* widget) {
  g_object_ref_sink(widget);
  gtk_widget_destroy(widget);
  g_object_unref(widget);
}

}  // namespace

GtkWidget* use_widget_list(GtkWidget* target) {
  WidgetListState& list = widget_layer().list;
  GtkWidget* previous = list.current_window;
  if (!target) return previous;
  if (previous) {
    if (WidgetListRecord* record = record_of(previous)) record->saved_container = list.current_container;
  }
  GtkWidget* container = GTK_IS_WINDOW(target) ? gtk::window_container(target) : target;
  if (WidgetListRecord* record = record_of(target)) {
    list.current_container = record->saved_container;
  } else {
    list.current_container = container;
    attach_record(target);
  }
  list.current_window = target;
  return previous;
}

GtkWidget* current_container() { return widget_layer().list.current_container; }

bool place_widget(GtkWidget* widget, int32_t x, int32_t y) {
  GtkWidget* container = current_container();
  if (!container || !GTK_IS_FIXED(container)) {
    discard_unplaced(widget);
    return false;
  }
  gtk_fixed_put(GTK_FIXED(container), widget, x, y);
  return true;
}

}  // namespace widgets
