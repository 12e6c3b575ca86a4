// A new toolkit widget held until it has a parent, so that an early return
// on a failed creation destroys it instead of leaking its floating reference.
#pragma once

#include <gtk/gtk.h>

#include <utility>

namespace widgets {

class Unplaced {
 public:
  explicit Unplaced(GtkWidget* widget) : widget_(widget) {
    if (widget_) g_object_ref_sink(widget_);
  }
  ~Unplaced() {
    if (!widget_) return;
    gtk_widget_destroy(widget_);
    g_object_unref(widget_);
  }
  Unplaced(const Unplaced&) = delete;
  Unplaced& operator=(const Unplaced&) = delete;
  GtkWidget* get() const { return widget_; }
  explicit operator bool() const { return widget_ != nullptr; }
  // Hands the widget over with a floating reference again, as it came.
  GtkWidget* release() {
    GtkWidget* widget = std::exchange(widget_, nullptr);
    g_object_force_floating(G_OBJECT(widget));
    return widget;
  }

 private:
  GtkWidget* widget_;
};

}  // namespace widgets
