// The machinery every widget kind shares: the widget registry, the kind's
// table of operations, the current widget list (the container new widgets go
// into), registration, hiding, destruction, click and drag tracking, fonts
// and colours.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/object_registry.h"

namespace widgets {

struct Widget;

// A kind's own per-widget fields (the tree's model and item table, ...).
struct WidgetData {
  virtual ~WidgetData() = default;
};

// The table of operations of one widget kind, in slot order. Every slot does
// nothing (and yields 0, an empty text or none) unless the kind fills it.
// Texts handed to add_item / add_item_at_level are UTF-8; texts elsewhere are
// the system's 16-bit strings.
class WidgetKind {
 public:
  explicit WidgetKind(int32_t code) : code_(code) {}
  virtual ~WidgetKind() = default;
  int32_t code() const { return code_; }

  /* 1 */ virtual void release(Widget&) {}
  /* 2 */ virtual intptr_t get_state(Widget&) { return 0; }
  /* 3 */ virtual void set_state(Widget&, intptr_t /*value*/) {}
  /* 4 */ virtual std::u16string get_text(Widget&) { return {}; }
  /* 5 */ virtual void set_text(Widget&, std::u16string_view) {}
  /* 6 */ virtual int32_t add_item(Widget&, int32_t /*position*/, const char* /*utf8*/,
                                   GdkPixbuf* /*image*/) { return 0; }
  // A kind without a level-aware add falls back on its plain add.
  /* 7 */ virtual int32_t add_item_at_level(Widget& widget, int32_t position, const char* utf8,
                                            GdkPixbuf* image, int32_t /*level*/) {
    return add_item(widget, position, utf8, image);
  }
  /* 8 */ virtual void remove_item(Widget&, int32_t /*index*/) {}
  /* 9 */ virtual void clear_items(Widget&) {}
  /* 10 */ virtual int32_t count_items(Widget&) { return 0; }
  /* 11 */ virtual int32_t get_item_state(Widget&, int32_t /*index*/) { return 0; }
  /* 12 */ virtual void set_item_state(Widget&, int32_t /*index*/, int32_t /*state*/) {}
  /* 13 */ virtual std::u16string get_item_text(Widget&, int32_t /*index*/) { return {}; }
  /* 14 */ virtual void set_item_text(Widget&, int32_t /*index*/, std::u16string_view) {}
  /* 15 */ virtual void set_font(Widget&, PangoFontDescription*) {}
  /* 16 */ virtual int32_t get_item_attribute(Widget&, int32_t /*index*/, int32_t /*attribute*/) { return 0; }
  /* 17 */ virtual void set_colour(Widget&, int32_t /*which*/, int32_t /*colour*/) {}
  /* 18 */ virtual int32_t get_colour(Widget&, int32_t /*which*/) { return 0; }
  /* 19 */ virtual void set_item_colour(Widget&, int32_t /*index*/, int32_t /*which*/, int32_t /*colour*/) {}
  /* 20 */ virtual int32_t get_item_colour(Widget&, int32_t /*index*/, int32_t /*which*/) { return 0; }
  /* 21 */ virtual void set_item_data(Widget&, int32_t /*index*/, intptr_t /*value*/) {}
  /* 22 */ virtual intptr_t get_item_data(Widget&, int32_t /*index*/) { return 0; }
  /* 23 */ virtual PangoFontDescription* get_font(Widget&) { return nullptr; }

 private:
  int32_t code_;
};

struct Widget {
  GtkWidget* main = nullptr;   // non-null while the widget is live
  GtkWidget* outer = nullptr;  // the widget placed in the container, when not main
  WidgetKind* kind = nullptr;
  int32_t front_colour = 0;  // colour + 1; 0 = none
  int32_t back_colour = 0;
  std::unique_ptr<WidgetData> data;

  bool live() const { return main != nullptr; }
  GtkWidget* placed() const { return outer ? outer : main; }
};

// Starts the layer: a fresh widget registry (16 slots, released through
// destroy_widget) and an empty widget-list state. Starting again forgets the
// widgets of the earlier start.
void init_widgets();

// Widget numbers map to these records. A kind's create operation allocates
// its number here (-1 gives an automatic number, which allocate returns).
runtime::ObjectRegistry<Widget>& widget_registry();

// Makes a window (its "gw_gadgetlist" container, created when missing) or a
// container the place where new widgets go, and returns the window or
// container that was current before. nullptr only returns the current one.
// A window that is destroyed while current leaves no current list.
GtkWidget* use_widget_list(GtkWidget* target);
// The container that receives new widgets, or nullptr.
GtkWidget* current_container();
// Puts a newly built, unparented widget into the current container at (x, y)
// pixels. Without a current container the widget is destroyed instead and
// false is returned: the kind then registers nothing and returns 0.
bool place_widget(GtkWidget* widget, int32_t x, int32_t y);

// Finishes a new widget once its record is filled and it has been placed:
// realizes it, applies the default font, hooks up the destroy handling (which
// runs the kind's release and clears the number) and sets "gw_id" on the main
// widget to number + 1.
void register_widget(Widget& widget, int32_t number);
// The registry's release callback: destroys the widget under number (its
// outer widget when it has one), which also clears the number.
void destroy_widget(int32_t number);
// Hides (hide != 0) or shows the widget's outer widget, else its main widget.
void set_widget_hidden(int32_t number, int32_t hide);
// The number of the window a toolkit widget sits in ("gw_id" of its
// top-level window, 0 when absent); -1 when it is not inside a window.
int32_t widget_window_number(GtkWidget* widget);

// Equips the widget with drag detection: one WidgetEvent DragStart per left
// button press once the pointer moves past the toolkit's drag threshold.
void track_pointer(int32_t number, GtkWidget* widget);
// Handler to connect to "button-press-event" and "button-release-event" of
// the widget that receives the button events, with GINT_TO_POINTER(number)
// as user data. Posts LeftClick, RightClick, LeftDoubleClick or
// RightDoubleClick at the release. Always returns FALSE.
gboolean track_clicks(GtkWidget* widget, GdkEventButton* event, gpointer number);

// nullptr is the toolkit's default font. Number -1 sets the font that every
// widget registered from now on gets; any other number hands the font to the
// live widget's kind (set_font slot). The font is copied.
void set_widget_font(int32_t number, PangoFontDescription* font);

// Common implementations of the kind slots set font, get font, set colour and
// get colour. Colours are 0xBBGGRR, -1 for none; which 1 is the text colour,
// 2 the background. kind_font's result belongs to the widget.
void apply_font(Widget& widget, PangoFontDescription* font);
PangoFontDescription* kind_font(Widget& widget);
void apply_colour(Widget& widget, int32_t which, int32_t colour);
int32_t widget_colour(const Widget& widget, int32_t which);

// Hands an item to the kind's add_item_at_level slot (its add_item by
// default) with the text as UTF-8. 0 when number holds no live widget.
int32_t add_widget_item(int32_t number, int32_t position, std::u16string_view text,
                        GdkPixbuf* image, int32_t level);
// The same with a text that is UTF-8 already (zero-terminated).
int32_t add_widget_item_utf8(int32_t number, int32_t position, const char* utf8, GdkPixbuf* image,
                             int32_t level);

}  // namespace widgets
