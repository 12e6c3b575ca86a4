// The six image formats. Each make_* builds a fresh decoder; each register_*
// appends the format to the decoder list. The start-up order BMP, PNG, JPEG,
// JPEG 2000, TGA, TIFF is the order in which identify_image asks them.
#pragma once

#include <memory>

#include "images/decoders/image_decoder.h"

namespace images {

std::unique_ptr<ImageDecoder> make_bmp_decoder();
std::unique_ptr<ImageDecoder> make_png_decoder();
std::unique_ptr<ImageDecoder> make_jpeg_decoder();
std::unique_ptr<ImageDecoder> make_jpeg2000_decoder();
std::unique_ptr<ImageDecoder> make_tga_decoder();
std::unique_ptr<ImageDecoder> make_tiff_decoder();

// Registers a BMP decoder on every call (start-up calls it once).
void register_bmp_decoder();
// These register their format unless the list holds it already; after
// init_decoders they register it again.
void register_png_decoder();
void register_jpeg_decoder();
void register_jpeg2000_decoder();
void register_tga_decoder();
// Also silences the TIFF library's error and warning handlers.
void register_tiff_decoder();

// A fresh decoder list holding the six formats in start-up order, however
// often it runs. For programs and tests that decode without the viewer's
// start-up sequence.
void register_standard_decoders();

}  // namespace images
