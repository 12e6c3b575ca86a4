// The image widget: one image, or nothing, at a fixed place in a window,
// inside an event box that receives the mouse clicks a bare image cannot.
// Its state is the image handle it shows (0 = none).
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

namespace widgets {

// Creation flags, combined as a plain bit set; other bits are ignored.
struct ImageFlags {
  enum : int32_t {
    Border = 1,  // a sunken frame around the image
  };
};

// The image widget's kind code in the widget layer.
inline constexpr int32_t ImageKindCode = 9;

// Creates an image widget in the current widget list at (x, y) showing image
// (nullptr: nothing). Without an image the widget takes width × height
// pixels (values below -1 request nothing); with one, the image's own size.
// Returns the toolkit image (GtkWidget*) for a chosen number, the automatic
// number for -1, and 0 when nothing could be created or placed.
intptr_t create_image_widget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                             GdkPixbuf* image, int32_t flags = 0);

}  // namespace widgets
