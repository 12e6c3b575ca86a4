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

#include "object_registry.h"

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

// The rest of the layer's interface (init_widgets, use_widget_list,
// register_widget, destroy_widget, set_widget_hidden, widget_window_number,
// track_pointer, track_clicks, set_widget_font, apply_font, kind_font,
// apply_colour, widget_colour, add_widget_item and access to the widget
// registry for the kinds) is declared below by the layer's implementation.
