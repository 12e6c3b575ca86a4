#include "gtk/fixed_container.h"

#include "gtk/object_data.h"

namespace gtk {

GtkWidget* window_container(GtkWidget* window) {
  if (auto* container = object_pointer<GtkWidget>(window, ContainerKey)) return container;
  GtkWidget* fixed = gtk_fixed_new();
  if (!fixed) return nullptr;
  // Its own X window, so that it can take the window's expose events.
  gtk_fixed_set_has_window(GTK_FIXED(fixed), TRUE);
  gtk_widget_show(fixed);
  GtkWidget* child = gtk_bin_get_child(GTK_BIN(window));
  if (child && GTK_IS_BOX(child)) {
    gtk_box_pack_start(GTK_BOX(child), fixed, TRUE, TRUE, 0);
  } else if (!child) {
    gtk_container_add(GTK_CONTAINER(window), fixed);
  } else {
    // A window holding something other than a box has no room for a list;
    // the container never got a parent and still holds its floating
    // reference.
    g_object_ref_sink(fixed);
    gtk_widget_destroy(fixed);
    g_object_unref(fixed);
    return nullptr;
  }
  g_object_set_data(G_OBJECT(window), ContainerKey, fixed);
  return fixed;
}

}  // namespace gtk
