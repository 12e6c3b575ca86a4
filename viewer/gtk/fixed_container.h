// A window's fixed container, which receives the widgets placed in it,
// packed into the window's box.
#pragma once

#include <gtk/gtk.h>

namespace gtk {

// The window's container ("gw_gadgetlist"), made, shown and packed into the
// window's box when the window has none yet, or put in the window itself
// when it holds nothing. Null when the window holds something other than a
// box, or when no container can be made.
GtkWidget* window_container(GtkWidget* window);

}  // namespace gtk
