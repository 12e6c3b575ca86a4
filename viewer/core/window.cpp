#include "core/window.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "core/event_queue.h"
#include "gtk/fixed_container.h"
#include "gtk/gobject_ptr.h"
#include "gtk/object_data.h"
#include "core/new_window_handler.h"
#include "runtime/object_registry.h"
#include "runtime/utf8.h"

namespace core {

namespace {

struct WindowRecord {
  GtkWidget* window = nullptr;  // owned by the toolkit until it is destroyed
  gtk::GObjectPtr<GtkAccelGroup> accelerators;

  bool live() const { return window != nullptr; }
};

// The window library's start-up record.
struct WindowLibrary {
  std::optional<runtime::ObjectRegistry<WindowRecord>> registry;
  NewWindowHandler new_window_handler = nullptr;
};

WindowLibrary& library() {
  static WindowLibrary instance;
  return instance;
}

WindowRecord* find_window(int32_t number) {
  auto& registry = library().registry;
  return registry ? registry->find(number) : nullptr;
}

// X carries window sizes and positions in 16 bits: larger values wrap (a
// size of 65536 or more ends in an X allocation error that kills the
// program) and GDK warns about native windows above 32767 pixels.
constexpr int32_t MaxCoordinate = 32767;

// gtk_widget_set_usize takes 0 as "natural size", -1 as "unset" and lower
// values as "leave as it is", all without complaint; only the top is capped.
int32_t size_request(int32_t extent) { return std::min(extent, MaxCoordinate); }

// gtk_window_set_default_size rejects values below -1 with a warning; -1 is
// its "no default", which is what a negative size amounts to.
int32_t default_size(int32_t extent) { return std::clamp(extent, -1, MaxCoordinate); }

// gtk_widget_set_uposition takes -1 as "unset" and lower values as "leave as
// it is"; only the top is capped.
int32_t position(int32_t coordinate) { return std::min(coordinate, MaxCoordinate); }

int32_t narrow(int64_t value) { return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); }

// The title goes to the toolkit as UTF-8. Text decoded leniently from a file
// may hold a lone low surrogate, which would encode to bytes that are not
// UTF-8; it becomes U+FFFD. (An unpaired high surrogate ends the encoding.)
std::string toolkit_title(std::u16string_view title) {
  std::u16string units(title);
  for (size_t i = 0; i < units.size(); ++i) {
    const bool low = (units[i] & 0xFC00) == 0xDC00;
    const bool after_high = i > 0 && (units[i - 1] & 0xFC00) == 0xD800;
    if (low && !after_high) units[i] = 0xFFFD;
  }
  return runtime::encode_utf8(units);
}

int32_t number_of(gpointer user_data) { return GPOINTER_TO_INT(user_data); }

// Signal handlers: each posts at most one event for its window.

gboolean on_expose(GtkWidget*, GdkEventExpose*, gpointer number) {
  post_event(EventType::Repaint, 0, number_of(number), 0);
  return FALSE;
}

gboolean on_configure(GtkWidget* window, GdkEventConfigure* event, gpointer number) {
  // A change of size wins over a change of position: the position is only
  // looked at once the size is steady.
  if (event->width != gtk::object_int(window, gtk::PreviousWidthKey) ||
      event->height != gtk::object_int(window, gtk::PreviousHeightKey)) {
    gtk::set_object_int(window, gtk::PreviousWidthKey, event->width);
    gtk::set_object_int(window, gtk::PreviousHeightKey, event->height);
    post_event(EventType::Resized, 0, number_of(number), 0);
  } else if (event->x != gtk::object_int(window, gtk::PreviousXKey) ||
             event->y != gtk::object_int(window, gtk::PreviousYKey)) {
    gtk::set_object_int(window, gtk::PreviousXKey, event->x);
    gtk::set_object_int(window, gtk::PreviousYKey, event->y);
    post_event(EventType::Moved, 0, number_of(number), 0);
  }
  return FALSE;
}

gboolean on_window_state(GtkWidget*, GdkEventWindowState* event, gpointer number) {
  const bool maximized = event->new_window_state & GDK_WINDOW_STATE_MAXIMIZED;
  if (event->changed_mask & GDK_WINDOW_STATE_ICONIFIED) {
    const bool iconified = event->new_window_state & GDK_WINDOW_STATE_ICONIFIED;
    post_event(iconified ? EventType::Minimized : maximized ? EventType::Maximized : EventType::Restored, 0, number_of(number), 0);
  } else if (event->changed_mask & GDK_WINDOW_STATE_MAXIMIZED) {
    post_event(maximized ? EventType::Maximized : EventType::Restored, 0, number_of(number), 0);
  }
  return FALSE;
}

// Returning TRUE keeps the toolkit from destroying the window: closing it
// is the program's decision.
gboolean on_delete(GtkWidget*, GdkEvent*, gpointer number) {
  post_event(EventType::CloseRequest, 0, number_of(number), 0);
  return TRUE;
}

gboolean on_focus_in(GtkWidget*, GdkEventFocus*, gpointer number) {
  post_event(EventType::Activated, 0, number_of(number), 0);
  return FALSE;
}

gboolean on_focus_out(GtkWidget*, GdkEventFocus*, gpointer number) {
  post_event(EventType::Deactivated, 0, number_of(number), 0);
  return FALSE;
}

gboolean on_motion(GtkWidget*, GdkEventMotion*, gpointer number) {
  post_event(EventType::PointerMotion, 0, number_of(number), 0);
  return FALSE;
}

void on_destroy(GtkWidget* window, gpointer user_data) {
  const int32_t number = number_of(user_data);
  WindowRecord* record = find_window(number);
  // Only the window that holds the number may clear it.
  if (!record || record->window != window) return;
  drop_window_events(number);
  // Resetting the record also drops the accelerator group.
  library().registry->release(number);
}

void apply_decorations(GtkWidget* window, uint32_t flags, unsigned decorations, unsigned functions) {
  if (flags & WindowFlags::MinimizeButton) {
    decorations |= GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MINIMIZE;
    functions |= GDK_FUNC_MINIMIZE;
  }
  if (flags & WindowFlags::MaximizeButton) {
    decorations |= GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MAXIMIZE;
    functions |= GDK_FUNC_MAXIMIZE;
  }
  if (flags & WindowFlags::TitleBar) decorations |= GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU;
  const unsigned passed = (flags & WindowFlags::Borderless) ? 0 : decorations | GDK_DECOR_BORDER | GDK_DECOR_TITLE;
  GdkWindow* drawing = gtk_widget_get_window(window);
  gdk_window_set_decorations(drawing, static_cast<GdkWMDecoration>(passed));
  gdk_window_set_functions(drawing, static_cast<GdkWMFunction>(functions));
}

void centre_on_parent(GtkWidget* window, GtkWindow* parent) {
  GdkWindow* parent_drawing = gtk_widget_get_window(GTK_WIDGET(parent));
  GdkWindow* own_drawing = gtk_widget_get_window(window);
  // A parent that was never realized has no frame to centre on.
  if (!parent_drawing || !own_drawing) return;
  GdkRectangle parent_frame{};
  GdkRectangle own_frame{};
  gdk_window_get_frame_extents(parent_drawing, &parent_frame);
  gdk_window_get_frame_extents(own_drawing, &own_frame);
  const int64_t x = int64_t{parent_frame.x} + parent_frame.width / 2 - own_frame.width / 2;
  const int64_t y = int64_t{parent_frame.y} + parent_frame.height / 2 - own_frame.height / 2;
  gtk_widget_set_uposition(window, position(narrow(x)), position(narrow(y)));
}

// The box and the fixed container that receives the window's widgets.
void build_content(GtkWidget* window, int32_t number) {
  GtkWidget* box = gtk_vbox_new(FALSE, 0);
  gtk_container_add(GTK_CONTAINER(window), box);
  g_object_set_data(G_OBJECT(window), gtk::BoxKey, box);
  if (GtkWidget* fixed = gtk::window_container(window))
    g_signal_connect(fixed, "expose-event", G_CALLBACK(on_expose), GINT_TO_POINTER(number));
  gtk_widget_show_all(box);
}

void connect_window_signals(GtkWidget* window, int32_t number) {
  const gpointer data = GINT_TO_POINTER(number);
  g_signal_connect(window, "destroy", G_CALLBACK(on_destroy), data);
  g_signal_connect(window, "configure-event", G_CALLBACK(on_configure), data);
  g_signal_connect(window, "window-state-event", G_CALLBACK(on_window_state), data);
  gtk::set_object_int(window, gtk::IdKey, number);
  g_signal_connect(window, "delete-event", G_CALLBACK(on_delete), data);
  g_signal_connect(window, "focus-in-event", G_CALLBACK(on_focus_in), data);
  g_signal_connect(window, "focus-out-event", G_CALLBACK(on_focus_out), data);
  g_signal_connect(window, "motion-notify-event", G_CALLBACK(on_motion), data);
}

}  // namespace

void set_new_window_handler(NewWindowHandler handler) { library().new_window_handler = handler; }

void init_windows() {
  auto& registry = library().registry;
  if (registry) release_windows();
  registry.emplace(16, [](int number) { close_window(number); });
}

intptr_t open_window(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                     std::u16string_view title, uint32_t flags, GtkWindow* parent) {
  auto& registry = library().registry;
  if (!registry) return 0;
  if (x == -65535 || y == -65535) x = y = -1;

  const bool automatic = number == -1;
  const auto [assigned, record] = registry->allocate(number);
  if (!record) return 0;
  number = assigned;

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  if (!window) return 0;
  GtkWindow* toplevel = GTK_WINDOW(window);
  g_object_set_data(G_OBJECT(window), gtk::WindowKey, window);
  gtk_window_set_title(toplevel, toolkit_title(title).c_str());
  gtk_window_set_default_size(toplevel, default_size(width), default_size(height));
  gtk::set_object_int(window, gtk::PreviousWidthKey, width);
  gtk::set_object_int(window, gtk::PreviousHeightKey, height);
  if (!(flags & (WindowFlags::ScreenCentered | WindowFlags::ParentCentered))) gtk_widget_set_uposition(window, position(x), position(y));

  unsigned functions = GDK_FUNC_MOVE | GDK_FUNC_CLOSE;
  unsigned decorations = 0;
  if (flags & WindowFlags::Resizable) {
    gtk_widget_set_usize(window, 30, 30);
    functions |= GDK_FUNC_RESIZE;
    decorations = GDK_DECOR_BORDER | GDK_DECOR_RESIZEH;
  } else {
    gtk_window_set_resizable(toplevel, FALSE);
    gtk_widget_set_usize(window, size_request(width), size_request(height));
  }
  gtk_widget_realize(window);

  if (flags & WindowFlags::ToolWindow) {
    flags &= ~(WindowFlags::MaximizeButton | WindowFlags::MinimizeButton | WindowFlags::StartMaximized | WindowFlags::StartMinimized);
    gtk_window_set_type_hint(toplevel, GDK_WINDOW_TYPE_HINT_UTILITY);
    gtk_window_set_skip_taskbar_hint(toplevel, FALSE);
    gtk_window_set_skip_pager_hint(toplevel, FALSE);
  }
  apply_decorations(window, flags, decorations, functions);
  if (flags & WindowFlags::ScreenCentered) gtk_window_set_position(toplevel, GTK_WIN_POS_CENTER);
  if ((flags & WindowFlags::ParentCentered) && parent) centre_on_parent(window, parent);

  build_content(window, number);
  if (parent) gtk_window_set_transient_for(toplevel, parent);
  connect_window_signals(window, number);

  record->window = window;
  record->accelerators = gtk::GObjectPtr<GtkAccelGroup>::adopt(gtk_accel_group_new());
  g_object_set_data(G_OBJECT(window), gtk::AcceleratorsKey, record->accelerators.get());
  gtk_window_add_accel_group(toplevel, record->accelerators.get());

  if (flags & WindowFlags::StartMaximized) {
    set_window_state(number, WindowMaximize);
  } else if (flags & WindowFlags::StartMinimized) {
    set_window_state(number, WindowMinimize);
  }
  if (!(flags & WindowFlags::Hidden)) gtk_widget_show(window);
  flush_toolkit_events();
  if (!(flags & WindowFlags::NoWidgetList) && library().new_window_handler) library().new_window_handler(window);
  return automatic ? number : reinterpret_cast<intptr_t>(window);
}

GtkWidget* window_widget(int32_t number) {
  WindowRecord* record = find_window(number);
  return record ? record->window : nullptr;
}

void set_window_keep_above(int32_t number, int32_t above) {
  if (WindowRecord* record = find_window(number)) {
    gtk_window_set_keep_above(GTK_WINDOW(record->window), above != 0);
  }
}

void set_window_state(int32_t number, int32_t state) {
  WindowRecord* record = find_window(number);
  if (!record) return;
  GtkWindow* window = GTK_WINDOW(record->window);
  if (state == WindowMaximize) {
    gtk_window_maximize(window);
    gtk_window_deiconify(window);
  } else if (state == WindowMinimize) {
    gtk_window_iconify(window);
  } else {
    gtk_window_unmaximize(window);
    gtk_window_deiconify(window);
  }
}

void close_window(int32_t number) {
  WindowRecord* record = find_window(number);
  if (!record) return;
  // The destroy handler clears the record before this returns.
  gtk_widget_destroy(record->window);
  flush_toolkit_events();
}

void release_windows() {
  auto& registry = library().registry;
  if (!registry) return;
  registry->rewind();
  while (auto found = registry->next()) close_window(found->number);
}

}  // namespace core
