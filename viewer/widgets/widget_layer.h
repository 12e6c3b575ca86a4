// The widget layer's start-up record, shared by the layer's own units only.
#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "gtk/owned_types.h"
#include "runtime/object_registry.h"
#include "widgets/widget.h"

namespace widgets {

using FontDescription = gtk::OwnedFontDescription;

// Where new widgets go. The pointers are cleared when the current window is
// destroyed, so they never outlive what they name.
struct WidgetListState {
  GtkWidget* current_container = nullptr;
  GtkWidget* current_window = nullptr;  // the window or container last made current
  FontDescription default_font;         // applied to every widget registered
};

struct WidgetLayer {
  runtime::ObjectRegistry<Widget> registry{16, destroy_widget};
  WidgetListState list;
};

// The record; started on first use when init_widgets has not run.
WidgetLayer& widget_layer();
// The record when the layer has been started, else nullptr.
WidgetLayer* started_widget_layer();

}  // namespace widgets
