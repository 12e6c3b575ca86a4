#include "widgets/image_widget.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "widgets/unplaced_widget.h"
#include "widgets/widget.h"

namespace widgets {

namespace {

struct ImageData : WidgetData {
  explicit ImageData(GdkPixbuf* image) : image(image) {}
  // Borrowed: the toolkit image holds its own reference while it shows it.
  GdkPixbuf* image;
};

// The toolkit refuses size requests below -1 (with a warning); they mean no
// request at all.
gint size_request_value(int32_t value) { return std::max(value, -1); }

class ImageKind final : public WidgetKind {
 public:
  ImageKind() : WidgetKind(ImageKindCode) {}

  intptr_t get_state(Widget& widget) override {
    auto* data = dynamic_cast<ImageData*>(widget.data.get());
    return data ? reinterpret_cast<intptr_t>(data->image) : 0;
  }

  void set_state(Widget& widget, intptr_t value) override {
    auto* data = dynamic_cast<ImageData*>(widget.data.get());
    if (!data || !widget.main || !widget.outer) return;
    auto* image = reinterpret_cast<GdkPixbuf*>(value);
    data->image = image;
    if (image) {
      gtk_image_set_from_pixbuf(GTK_IMAGE(widget.main), image);
      // The box takes the new image's own size.
      gtk_widget_set_size_request(widget.outer, -1, -1);
    } else {
      // The empty widget keeps the room it had.
      GtkRequisition size{};
      gtk_widget_size_request(widget.outer, &size);
      gtk_image_clear(GTK_IMAGE(widget.main));
      gtk_widget_set_size_request(widget.outer, size.width, size.height);
    }
    gtk_widget_queue_draw(widget.main);
  }
};

ImageKind& image_kind() {
  static ImageKind kind;
  return kind;
}

}  // namespace

intptr_t create_image_widget(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                             GdkPixbuf* image, int32_t flags) {
  ImageKind& kind = image_kind();
  Unplaced box(gtk_event_box_new());
  if (!box) return 0;
  Unplaced picture(image ? gtk_image_new_from_pixbuf(image) : gtk_image_new());
  if (!picture) return 0;

  const bool automatic = number == -1;
  const auto [assigned, record] = widget_registry().allocate(number);
  if (!record) return 0;
  number = assigned;

  GtkWidget* main = picture.get();
  GtkWidget* frame = (flags & ImageFlags::Border) ? gtk_frame_new(nullptr) : nullptr;
  if (frame) {
    gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_IN);
    gtk_container_add(GTK_CONTAINER(frame), picture.release());
    gtk_container_add(GTK_CONTAINER(box.get()), frame);
  } else {
    gtk_container_add(GTK_CONTAINER(box.get()), picture.release());
  }
  if (!image)
    gtk_widget_set_size_request(box.get(), size_request_value(width), size_request_value(height));

  track_pointer(number, box.get());
  g_signal_connect(box.get(), "button-press-event", G_CALLBACK(track_clicks),
                   GINT_TO_POINTER(number));
  g_signal_connect(box.get(), "button-release-event", G_CALLBACK(track_clicks),
                   GINT_TO_POINTER(number));
  GtkWidget* outer = box.get();
  if (!place_widget(box.release(), x, y)) return 0;
  gtk_widget_show_all(outer);

  record->main = main;
  record->outer = outer;
  record->kind = &kind;
  record->data = std::make_unique<ImageData>(image);
  register_widget(*record, number);
  return automatic ? number : reinterpret_cast<intptr_t>(main);
}

}  // namespace widgets
