// The widget registry, the registration and destruction of widgets, hiding,
// window numbers, the widget-wide default font and the generic item entry.
#include "widgets/widget.h"

#include <string>

#include "core/event_queue.h"
#include "core/new_window_handler.h"
#include "runtime/utf8.h"
#include "gtk/object_data.h"
#include "widgets/widget_layer.h"

namespace widgets {

namespace {

// The layer's only state: its start-up record, empty until the layer starts.
std::unique_ptr<WidgetLayer>& layer_record() {
  static std::unique_ptr<WidgetLayer> record;
  return record;
}

// Realizing a widget that is not inside a top-level window makes the toolkit
// complain, and there is nothing to realize it on yet.
bool inside_window(GtkWidget* widget) {
  return gtk_widget_is_toplevel(gtk_widget_get_toplevel(widget));
}

void on_main_widget_destroy(GtkObject* object, gpointer data) {
  const int32_t number = GPOINTER_TO_INT(data);
  auto& registry = widget_layer().registry;
  if (Widget* widget = registry.find(number)) {
    // A widget that outlived its number (the layer was started again and
    // the number given to another widget) must not clear the newer entry.
    if (widget->main != GTK_WIDGET(object)) return;
    if (widget->kind) widget->kind->release(*widget);
  }
  registry.release(number);
}

}  // namespace

// A fresh record; every new window becomes the current widget list from now
// on. The old record goes only once the new one is in place.
void init_widgets() {
  layer_record() = std::make_unique<WidgetLayer>();
  core::set_new_window_handler([](GtkWidget* window) { use_widget_list(window); });
}

WidgetLayer& widget_layer() {
  if (!layer_record()) init_widgets();
  return *layer_record();
}

WidgetLayer* started_widget_layer() { return layer_record().get(); }

runtime::ObjectRegistry<Widget>& widget_registry() { return widget_layer().registry; }

void register_widget(Widget& widget, int32_t number) {
  if (!widget.main) return;
  if (inside_window(widget.main)) gtk_widget_realize(widget.main);
  if (PangoFontDescription* font = widget_layer().list.default_font.get()) set_widget_font(number, font);
  g_signal_connect(widget.main, "destroy", G_CALLBACK(on_main_widget_destroy), GINT_TO_POINTER(number));
  gtk::set_widget_id(widget.main, number);
  core::flush_toolkit_events();
}

void destroy_widget(int32_t number) {
  // The destroy handler clears the entry, so nothing of it is read afterwards.
  if (Widget* widget = widget_registry().find(number)) gtk_widget_destroy(widget->placed());
}

void set_widget_hidden(int32_t number, int32_t hide) {
  Widget* widget = widget_registry().find(number);
  if (!widget) return;
  if (hide) {
    gtk_widget_hide(widget->placed());
  } else {
    gtk_widget_show(widget->placed());
  }
}

int32_t widget_window_number(GtkWidget* widget) {
  if (!widget) return -1;
  // An unplaced widget is its own top-most ancestor; only a real top-level
  // window carries a window number.
  GtkWidget* top = gtk_widget_get_toplevel(widget);
  if (!top || !gtk_widget_is_toplevel(top)) return -1;
  return gtk::object_int(top, gtk::IdKey);
}

void set_widget_font(int32_t number, PangoFontDescription* font) {
  if (number == -1) {
    // Copied before the old default goes, so passing the default back is safe.
    widget_layer().list.default_font.reset(font ? pango_font_description_copy(font) : nullptr);
    return;
  }
  Widget* widget = widget_registry().find(number);
  if (widget && widget->kind) widget->kind->set_font(*widget, font);
}

int32_t add_widget_item(int32_t number, int32_t position, std::u16string_view text,
                        GdkPixbuf* image, int32_t level) {
  Widget* widget = widget_registry().find(number);
  if (!widget || !widget->kind) return 0;
  const std::string utf8 = runtime::encode_utf8(text);
  return widget->kind->add_item_at_level(*widget, position, utf8.c_str(), image, level);
}

int32_t add_widget_item_utf8(int32_t number, int32_t position, const char* utf8, GdkPixbuf* image,
                             int32_t level) {
  Widget* widget = widget_registry().find(number);
  if (!widget || !widget->kind) return 0;
  return widget->kind->add_item_at_level(*widget, position, utf8 ? utf8 : "", image, level);
}

}  // namespace widgets
