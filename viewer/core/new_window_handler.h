// The one thing the window library asks of the layer that fills windows with
// widgets: to hear of every new window opened without NoWidgetList, once the
// window is built and shown, so that it can become the current widget list.
// The widget layer installs its handler when it starts; until a handler is
// installed a new window is only opened.
#pragma once

#include <gtk/gtk.h>

namespace core {

using NewWindowHandler = void (*)(GtkWidget* window);

// Replaces the handler (nullptr: none). It outlives init_windows.
void set_new_window_handler(NewWindowHandler handler);

}  // namespace core
