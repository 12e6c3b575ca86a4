#include "images/decoders/decoder_registry.h"
#include "images/decoders/decoders.h"

namespace images {

void register_standard_decoders() {
  init_decoders();
  register_bmp_decoder();
  register_png_decoder();
  register_jpeg_decoder();
  register_jpeg2000_decoder();
  register_tga_decoder();
  register_tiff_decoder();
}

}  // namespace images
