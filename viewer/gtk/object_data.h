// Every value the viewer keeps on a toolkit object as object data, each key
// once with the way its value is stored.
//
// On a window: "Window" (the window itself), "gw_previous_width",
// "gw_previous_height", "gw_previous_x", "gw_previous_y" (the last size and
// position seen), "gw_vbox" (the box), "gw_gadgetlist" (the fixed container
// that receives the widgets), "gw_gadgetstack" (the widget list's record),
// "gw_id" (the window number itself) and "gw_accelerators" (its
// accelerator group). On a widget's main toolkit widget: "gw_id" (the
// widget number + 1, see set_widget_id),
// "gw_gadget_font", "gw_gadget_eventtype". On a tree view: "gw_flags",
// "gw_find", "gw_row_menu", "gw_busy" (set while busy) and "gw_accessible"
// (its accessible prepared); on an item of its menu, "gw_action"; on an
// accessible that holds an extra state, "gw_state_busy" or
// "gw_state_invalid_entry".
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

namespace gtk {

inline constexpr char WindowKey[] = "Window";
inline constexpr char PreviousWidthKey[] = "gw_previous_width";
inline constexpr char PreviousHeightKey[] = "gw_previous_height";
inline constexpr char PreviousXKey[] = "gw_previous_x";
inline constexpr char PreviousYKey[] = "gw_previous_y";
inline constexpr char BoxKey[] = "gw_vbox";
inline constexpr char ContainerKey[] = "gw_gadgetlist";
inline constexpr char ListRecordKey[] = "gw_gadgetstack";
inline constexpr char IdKey[] = "gw_id";
inline constexpr char AcceleratorsKey[] = "gw_accelerators";
inline constexpr char FontKey[] = "gw_gadget_font";
inline constexpr char ClickKey[] = "gw_gadget_eventtype";
inline constexpr char TreeFlagsKey[] = "gw_flags";
inline constexpr char TreeFindKey[] = "gw_find";
inline constexpr char TreeMenuKey[] = "gw_row_menu";
inline constexpr char MenuActionKey[] = "gw_action";
inline constexpr char TreeBusyKey[] = "gw_busy";
inline constexpr char TreeAccessibleKey[] = "gw_accessible";
inline constexpr char BusyStateKey[] = "gw_state_busy";
inline constexpr char InvalidEntryStateKey[] = "gw_state_invalid_entry";

// Integers are stored in the pointer itself.
inline int object_int(gpointer object, const char* key) {
  return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(object), key));
}
inline void set_object_int(gpointer object, const char* key, int value) {
  g_object_set_data(G_OBJECT(object), key, GINT_TO_POINTER(value));
}

// Pointers to objects the data does not own.
template <typename T>
T* object_pointer(gpointer object, const char* key) {
  return static_cast<T*>(g_object_get_data(G_OBJECT(object), key));
}

// A widget's number under "gw_id" holds number + 1, so that a toolkit
// widget without the key reads as -1. The sum is formed in pointer width so
// that no number overflows.
inline void set_widget_id(GtkWidget* widget, int32_t number) {
  g_object_set_data(G_OBJECT(widget), IdKey, reinterpret_cast<gpointer>(static_cast<intptr_t>(number) + 1));
}
// The number set_widget_id stored, -1 when none.
inline int32_t widget_id(GtkWidget* widget) {
  return static_cast<int32_t>(reinterpret_cast<intptr_t>(g_object_get_data(G_OBJECT(widget), IdKey)) - 1);
}

}  // namespace gtk
