// The widget number on a widget's main toolkit widget: "gw_id" holds
// number + 1, so that a toolkit widget without the key reads as -1. The sum is
// formed in pointer width so that no number overflows.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

namespace widgets {

inline constexpr char WidgetIdKey[] = "gw_id";

inline void set_widget_id(GtkWidget* widget, int32_t number) {
  g_object_set_data(G_OBJECT(widget), WidgetIdKey,
                    reinterpret_cast<gpointer>(static_cast<intptr_t>(number) + 1));
}

// The number set_widget_id stored, -1 when none.
inline int32_t widget_id(GtkWidget* widget) {
  return static_cast<int32_t>(reinterpret_cast<intptr_t>(g_object_get_data(G_OBJECT(widget), WidgetIdKey)) - 1);
}

}  // namespace widgets
