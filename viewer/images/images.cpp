#include "images/images.h"

#include <gdk/gdk.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>

#include "images/decoders/decoder_registry.h"
#include "images/decoders/pixel_rows.h"
#include "gtk/gobject_ptr.h"
#include "runtime/object_registry.h"
#include "runtime/owned.h"

namespace images {

namespace {

struct Image {
  gtk::GObjectPtr<GdkPixbuf> handle;  // owns the pixels

  bool live() const { return static_cast<bool>(handle); }
};

struct ImageLibrary {
  std::optional<runtime::ObjectRegistry<Image>> images;
  // Kept from start-up to release and used for nothing else.
  runtime::Owned<GdkWindow, gdk_window_destroy> hidden_window;
};

ImageLibrary& image_library() {
  static ImageLibrary library;
  return library;
}

void release_image(int number) {
  auto& images = image_library().images;
  // Clearing the record drops its reference to the pixbuf; widgets and tree
  // rows that hold their own keep the pixels alive.
  if (images && images->find(number)) images->release(number);
}

void free_pixels(guchar* pixels, gpointer) { g_free(pixels); }

}  // namespace

void init_images() {
  ImageLibrary& library = image_library();
  if (library.images) release_images();
  library.images.emplace(16, release_image);
  gdk_rgb_init();
  GdkWindowAttr attributes{};
  attributes.width = 10;
  attributes.height = 10;
  // A zero type would ask for a root window, which GDK refuses with a warning.
  attributes.window_type = GDK_WINDOW_TOPLEVEL;
  library.hidden_window.reset(gdk_window_new(nullptr, &attributes, 0));
}

intptr_t decode_image(int number, std::span<const uint8_t> bytes) {
  auto& images = image_library().images;
  if (!images || number < -1 || !identify_image(bytes)) return 0;
  const DecodeContext& found = decode_context();
  const int32_t width = found.width, height = found.height, depth = found.output_depth;
  if (width <= 0 || height <= 0) {
    release_decoder();
    return 0;
  }
  const size_t pitch = row_pitch(width, depth);
  // One spare row after the last; zeroed so that rows a decoder does not
  // reach (damaged or short data) come out black rather than as old memory.
  runtime::Owned<guchar, g_free> pixels(
      static_cast<guchar*>(g_try_malloc0(pitch * (size_t(height) + 1))));
  if (!pixels) {
    release_decoder();
    return 0;
  }
  // A decoder that stops early still leaves an image of the reported size.
  decode_pixels(pixels.get(), pitch, 0);

  GdkPixbuf* pixbuf =
      gdk_pixbuf_new_from_data(pixels.get(), GDK_COLORSPACE_RGB, depth == 32, 8, width, height,
                               static_cast<int>(pitch), free_pixels, nullptr);
  if (!pixbuf) return 0;
  pixels.release();  // the pixbuf frees them now
  auto handle = gtk::GObjectPtr<GdkPixbuf>::adopt(pixbuf);

  const auto [assigned, image] = images->allocate(number);
  if (!image) return 0;
  image->handle = std::move(handle);
  if (number == -1) return assigned;
  return reinterpret_cast<intptr_t>(image->handle.get());
}

GdkPixbuf* image_handle(int number) {
  auto& images = image_library().images;
  if (!images) return nullptr;
  const Image* image = images->find(number);
  return image ? image->handle.get() : nullptr;
}

void release_images() {
  ImageLibrary& library = image_library();
  if (library.images) library.images->release_all();
  library.hidden_window.reset();
}

}  // namespace images
