#include "tree/tree_accessibility.h"

#include <atk/atk.h>

#include <cstddef>
#include <cstring>
#include <memory>

#include "gtk/gobject_ptr.h"
#include "gtk/object_data.h"

namespace tree {

namespace {

constexpr const char* BusyKey = gtk::TreeBusyKey;
constexpr const char* PreparedKey = gtk::TreeAccessibleKey;
constexpr char FolderDescription[] = "folder";

// ---------------------------------------------------------------------------
// States of the system's own
//
// A GTK 2 accessible computes its state set in its class's ref_state_set, so
// a state that the toolkit knows nothing of is kept as object data on the
// accessible and added by a wrapper put once into each class that needs it.
// The class's own function is kept as data of the type it was taken from:
// a subclass made later inherits the wrapper and finds it on its parent.

constexpr AtkStateType ExtraStates[] = {ATK_STATE_BUSY, ATK_STATE_INVALID_ENTRY};

const char* state_key(AtkStateType state) {
  return state == ATK_STATE_BUSY ? gtk::BusyStateKey : gtk::InvalidEntryStateKey;
}

GQuark own_ref_state_set_quark() { return g_quark_from_static_string("gw-own-ref-state-set"); }

using RefStateSet = AtkStateSet* (*)(AtkObject*);

AtkStateSet* ref_state_set_with_extras(AtkObject* accessible) noexcept {
  RefStateSet own = nullptr;
  for (GType type = G_OBJECT_TYPE(accessible); type && !own; type = g_type_parent(type))
    own = reinterpret_cast<RefStateSet>(g_type_get_qdata(type, own_ref_state_set_quark()));
  AtkStateSet* states = own ? own(accessible) : nullptr;
  if (!states) states = atk_state_set_new();
  for (const AtkStateType state : ExtraStates)
    if (g_object_get_data(G_OBJECT(accessible), state_key(state)))
      atk_state_set_add_state(states, state);
  return states;
}

void extend_state_set(AtkObject* accessible) {
  AtkObjectClass* object_class = ATK_OBJECT_GET_CLASS(accessible);
  if (object_class->ref_state_set == ref_state_set_with_extras) return;
  g_type_set_qdata(G_OBJECT_CLASS_TYPE(object_class), own_ref_state_set_quark(),
                   reinterpret_cast<gpointer>(object_class->ref_state_set));
  object_class->ref_state_set = ref_state_set_with_extras;
}

// Tells assistive technology only of a real change.
void set_extra_state(GtkWidget* widget, AtkStateType state, bool on) {
  AtkObject* accessible = widget ? gtk_widget_get_accessible(widget) : nullptr;
  if (!accessible) return;
  extend_state_set(accessible);
  const bool was_on = g_object_get_data(G_OBJECT(accessible), state_key(state)) != nullptr;
  if (was_on == on) return;
  g_object_set_data(G_OBJECT(accessible), state_key(state), on ? GINT_TO_POINTER(1) : nullptr);
  atk_object_notify_state_change(accessible, state, on);
}

// ---------------------------------------------------------------------------
// The icon of a row
//
// GAIL, the toolkit's accessibility module, shows a row's icon as an image
// cell that asks its own copy of the icon renderer for the size of the
// pixbuf, and warns on standard error (GdkPixbuf-CRITICAL) for a row that
// has none; nor does it describe the image. Its AtkImage functions are
// wrapped as the cell type's interface is made. The cell's record is
// private: its renderer is the one member that GailRendererCell adds to
// GailCell, and the instance sizes that the type system reports confirm
// that before it is ever read; when they do not, the cell is left as GAIL
// made it.

constexpr char ImageCellType[] = "GailImageCell";
constexpr char RendererCellType[] = "GailRendererCell";
constexpr char CellType[] = "GailCell";

using ImageSize = void (*)(AtkImage*, gint*, gint*);
using ImageDescription = const gchar* (*)(AtkImage*);

// What the wrappers need of an image cell type, kept as its type data.
struct ImageCellRecord {
  size_t renderer_offset;
  ImageSize own_size;
  ImageDescription own_description;
};

GQuark image_cell_quark() { return g_quark_from_static_string("gw-image-cell"); }

const ImageCellRecord* image_cell_record(AtkImage* image) {
  for (GType type = G_OBJECT_TYPE(image); type; type = g_type_parent(type))
    if (auto* record = static_cast<const ImageCellRecord*>(g_type_get_qdata(type, image_cell_quark())))
      return record;
  return nullptr;
}

bool named(GType type, const char* name) {
  return type && std::strcmp(g_type_name(type), name) == 0;
}

// Where the renderer lies in an image cell of this type; 0 when the layout
// is not the one expected.
size_t renderer_offset(GType image_cell) {
  const GType renderer_cell = g_type_parent(image_cell);
  if (!named(renderer_cell, RendererCellType)) return 0;
  const GType cell = g_type_parent(renderer_cell);
  if (!named(cell, CellType)) return 0;
  GTypeQuery cell_query{};
  GTypeQuery renderer_query{};
  g_type_query(cell, &cell_query);
  g_type_query(renderer_cell, &renderer_query);
  const size_t offset =
      (cell_query.instance_size + alignof(GtkCellRenderer*) - 1) / alignof(GtkCellRenderer*) *
      alignof(GtkCellRenderer*);
  if (cell_query.instance_size == 0 || renderer_query.instance_size != offset + sizeof(GtkCellRenderer*))
    return 0;
  return offset;
}

// The row's icon as the cell holds it (a reference of its own); nothing for a
// row without one.
gtk::GObjectPtr<GdkPixbuf> cell_pixbuf(AtkImage* image, const ImageCellRecord& record) {
  GtkCellRenderer* renderer = nullptr;
  std::memcpy(&renderer, reinterpret_cast<const char*>(image) + record.renderer_offset,
              sizeof renderer);
  if (!renderer || !GTK_IS_CELL_RENDERER_PIXBUF(renderer)) return {};
  GdkPixbuf* pixbuf = nullptr;
  g_object_get(renderer, "pixbuf", &pixbuf, nullptr);
  return gtk::GObjectPtr<GdkPixbuf>::adopt(pixbuf);
}

// The widget whose accessible holds the cell.
GtkWidget* cell_widget(AtkObject* cell) {
  for (AtkObject* parent = atk_object_get_parent(cell); parent; parent = atk_object_get_parent(parent))
    if (GTK_IS_ACCESSIBLE(parent)) return gtk_accessible_get_widget(GTK_ACCESSIBLE(parent));
  return nullptr;
}

void image_size(AtkImage* image, gint* width, gint* height) noexcept {
  const ImageCellRecord* record = image_cell_record(image);
  if (record && cell_pixbuf(image, *record)) {
    record->own_size(image, width, height);
    return;
  }
  if (width) *width = -1;
  if (height) *height = -1;
}

const gchar* image_description(AtkImage* image) noexcept {
  const ImageCellRecord* record = image_cell_record(image);
  if (!record) return nullptr;
  if (const gchar* given = record->own_description ? record->own_description(image) : nullptr)
    return given;
  GtkWidget* widget = cell_widget(ATK_OBJECT(image));
  // Only the system's trees give icons to folders alone.
  if (!widget || !g_object_get_data(G_OBJECT(widget), PreparedKey)) return nullptr;
  return cell_pixbuf(image, *record) ? FolderDescription : nullptr;
}

void wrap_image_cell(GType type, AtkImageIface* iface) {
  if (g_type_get_qdata(type, image_cell_quark()) || !iface->get_image_size) return;
  const size_t offset = renderer_offset(type);
  if (offset == 0) return;
  // Lives as long as the type, which is as long as the process.
  auto record = std::make_unique<ImageCellRecord>(
      ImageCellRecord{offset, iface->get_image_size, iface->get_image_description});
  g_type_set_qdata(type, image_cell_quark(), record.release());
  iface->get_image_size = image_size;
  iface->get_image_description = image_description;
}

// Called by the type system whenever a class's interface has been made.
void on_interface_made(gpointer, gpointer interface) noexcept {
  auto* made = static_cast<GTypeInterface*>(interface);
  if (made->g_type == ATK_TYPE_IMAGE && named(made->g_instance_type, ImageCellType))
    wrap_image_cell(made->g_instance_type, static_cast<AtkImageIface*>(interface));
}

void watch_image_cells() {
  // The process's one watch, made with the first tree.
  static const bool watching = [] {
    g_type_add_interface_check(nullptr, on_interface_made);
    return true;
  }();
  (void)watching;
  // A cell type made before the watch.
  const GType type = g_type_from_name(ImageCellType);
  if (!type || !g_type_class_peek(type)) return;
  if (auto* iface = static_cast<AtkImageIface*>(
          g_type_interface_peek(g_type_class_peek(type), ATK_TYPE_IMAGE)))
    wrap_image_cell(type, iface);
}

// ---------------------------------------------------------------------------
// The busy cursor

struct CursorUnref {
  void operator()(GdkCursor* cursor) const { gdk_cursor_unref(cursor); }
};
using Cursor = std::unique_ptr<GdkCursor, CursorUnref>;

// The rows and their margins are all inside the view's own window; the view
// sets no cursor of its own there.
void show_busy_cursor(GtkWidget* view, bool busy) {
  GdkWindow* window = gtk_widget_get_window(view);
  if (!window) return;
  if (!busy) {
    gdk_window_set_cursor(window, nullptr);
    return;
  }
  const Cursor watch(gdk_cursor_new_for_display(gtk_widget_get_display(view), GDK_WATCH));
  gdk_window_set_cursor(window, watch.get());
}

// A view made busy before it had a window, or whose window is made anew,
// shows the cursor as soon as the window is there.
void on_view_realized(GtkWidget* view, gpointer) noexcept {
  if (tree_busy(view)) show_busy_cursor(view, true);
}

void follow_realize(GtkWidget* view) {
  const auto match = GSignalMatchType(G_SIGNAL_MATCH_ID | G_SIGNAL_MATCH_FUNC);
  const guint realize = g_signal_lookup("realize", GTK_TYPE_WIDGET);
  if (!g_signal_handler_find(view, match, realize, 0, nullptr,
                             reinterpret_cast<gpointer>(on_view_realized), nullptr))
    g_signal_connect_after(view, "realize", G_CALLBACK(on_view_realized), nullptr);
}

}  // namespace

void attach_accessibility(GtkWidget* view) {
  if (!view) return;
  watch_image_cells();
  g_object_set_data(G_OBJECT(view), PreparedKey, GINT_TO_POINTER(1));
  follow_realize(view);
  GtkWidget* top = gtk_widget_get_toplevel(view);
  if (GTK_IS_WINDOW(top))
    if (const gchar* title = gtk_window_get_title(GTK_WINDOW(top))) name_tree(view, title);
}

void name_tree(GtkWidget* view, const std::string& name) {
  if (AtkObject* accessible = view ? gtk_widget_get_accessible(view) : nullptr)
    atk_object_set_name(accessible, name.c_str());
}

void name_find_entry(GtkWidget* entry) {
  if (AtkObject* accessible = entry ? gtk_widget_get_accessible(entry) : nullptr)
    atk_object_set_name(accessible, "Find");
}

void set_tree_busy(GtkWidget* view, bool busy) {
  if (!view) return;
  g_object_set_data(G_OBJECT(view), BusyKey, busy ? GINT_TO_POINTER(1) : nullptr);
  follow_realize(view);
  show_busy_cursor(view, busy);
  set_extra_state(view, ATK_STATE_BUSY, busy);
}

void set_entry_invalid(GtkWidget* entry, bool invalid) {
  set_extra_state(entry, ATK_STATE_INVALID_ENTRY, invalid);
}

bool tree_busy(GtkWidget* view) {
  return view && g_object_get_data(G_OBJECT(view), BusyKey) != nullptr;
}

}  // namespace tree
