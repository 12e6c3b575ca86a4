// Widget-wide font and colours: the common implementations that kinds put in
// their set font, get font, set colour and get colour slots.
#include <array>

#include "gtk/object_data.h"
#include "gtk/toolkit_colour.h"
#include "widgets/widget.h"

namespace widgets {

namespace {


constexpr int32_t Front = 1;
constexpr int32_t Back = 2;
constexpr int32_t NoColour = -1;

constexpr std::array ColouredStates = {GTK_STATE_NORMAL, GTK_STATE_ACTIVE, GTK_STATE_PRELIGHT};

// Colours are stored + 1 so that a zero-filled record has none; the
// arithmetic wraps instead of overflowing for colours with the top bits set.
int32_t shifted(int32_t value, int32_t by) {
  return static_cast<int32_t>(static_cast<uint32_t>(value) + static_cast<uint32_t>(by));
}

void free_font(gpointer font) { pango_font_description_free(static_cast<PangoFontDescription*>(font)); }

void modify_colours(GtkWidget* target, int32_t which, int32_t colour) {
  GtkRcStyle* style = gtk_widget_get_modifier_style(target);
  const unsigned flags = which == Front ? GTK_RC_FG | GTK_RC_TEXT : GTK_RC_BG | GTK_RC_BASE;
  const GdkColor value = gtk::toolkit_colour(colour);
  for (GtkStateType state : ColouredStates) {
    unsigned state_flags = style->color_flags[state];
    if (colour == NoColour) {
      state_flags &= ~flags;
    } else {
      if (which == Front) {
        style->fg[state] = value;
        style->text[state] = value;
      } else {
        style->bg[state] = value;
        style->base[state] = value;
      }
      state_flags |= flags;
    }
    style->color_flags[state] = static_cast<GtkRcFlags>(state_flags);
  }
  gtk_widget_modify_style(target, style);
}

}  // namespace

void apply_font(Widget& widget, PangoFontDescription* font) {
  if (!widget.main) return;
  GObject* main = G_OBJECT(widget.main);
  if (!font) {
    g_object_set_data(main, gtk::FontKey, nullptr);
    gtk_widget_modify_font(widget.main, nullptr);
    return;
  }
  // The copy is stored first: font may be the very description the key held.
  PangoFontDescription* copy = pango_font_description_copy(font);
  g_object_set_data_full(main, gtk::FontKey, copy, free_font);
  gtk_widget_modify_font(widget.main, copy);
}

PangoFontDescription* kind_font(Widget& widget) {
  if (!widget.main) return nullptr;
  GtkStyle* style = gtk_widget_get_style(widget.main);
  if (!style) return nullptr;
  if (auto* font = static_cast<PangoFontDescription*>(g_object_get_data(G_OBJECT(widget.main), gtk::FontKey)))
    return font;
  return style->font_desc;
}

void apply_colour(Widget& widget, int32_t which, int32_t colour) {
  if (which != Front && which != Back) return;
  const int32_t stored = colour == NoColour ? 0 : shifted(colour, 1);
  (which == Front ? widget.front_colour : widget.back_colour) = stored;
  if (!widget.main) return;
  modify_colours(widget.main, which, colour);
  if (which == Back && widget.outer) modify_colours(widget.outer, which, colour);
}

int32_t widget_colour(const Widget& widget, int32_t which) {
  if (which == Front) return shifted(widget.front_colour, -1);
  if (which == Back) return shifted(widget.back_colour, -1);
  return NoColour;
}

}  // namespace widgets
