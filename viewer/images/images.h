// Numbered decoded images. An image's handle is a GdkPixbuf that owns the
// pixel buffer; widgets and tree rows hold their own references to it.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstddef>
#include <cstdint>
#include <span>

namespace images {

void init_images();
// Decodes the bytes of an image file into image `number` (-1: any free
// number). 0 on failure; otherwise the handle for a chosen number, or the new
// number for -1.
intptr_t decode_image(int number, std::span<const uint8_t> bytes);
// The image's pixbuf, or nullptr when no live image has that number.
GdkPixbuf* image_handle(int number);
void release_images();

}  // namespace images
