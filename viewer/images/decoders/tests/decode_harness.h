// Running the registered decoders over bytes the way the image layer does,
// into a buffer whose surroundings are checked for stray writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "images/decoders/image_decoder.h"
#include "images/decoders/tests/reference_image.h"

// init_decoders and the six registrations in start-up order, once per process.
void use_standard_decoders();

struct Decoded {
  bool accepted = false;
  bool decoded = false;
  std::string decoder;
  images::DecodeContext context;  // as identify_image left it
  size_t pitch = 0;
  std::vector<uint8_t> buffer;  // height + 1 rows and a guard zone
  bool wrote_outside = false;   // a byte beyond a row or the image changed

  RgbaImage image() const;  // the decoded rows as RGBA
  bool untouched() const;   // no pixel written at all
};

// Identifies and decodes a copy of the bytes held in a block of exactly their
// size, so that a read past the end shows under AddressSanitizer.
Decoded decode_bytes(const std::vector<uint8_t>& data, int flags = 0);

// The same image turned upside down.
RgbaImage flipped(const RgbaImage& image);
