// The ordered list of image decoders and the one decoding context they share.
// identify_image asks the decoders in registration order; the one that
// accepts holds its state until decode_pixels or release_decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "images/decoders/image_decoder.h"

namespace images {

inline constexpr int MaxDecoders = 30;

// Empties the list (releasing a decoder that still holds state).
void init_decoders();
// Appends a decoder; false when the list is full.
bool register_decoder(std::unique_ptr<ImageDecoder> decoder);
// Appends a decoder unless the list already holds one of the same name; true
// when the list holds that format afterwards. The formats' registration
// routines use it, so each format is in the list once however often they run,
// and again after init_decoders has emptied it.
bool register_decoder_once(std::unique_ptr<ImageDecoder> decoder);
int decoder_count();
// The name of the decoder at a position in the list, "" past its end.
const char* decoder_name(int position);

// True when a decoder accepts the bytes; the context then holds the image's
// size and depths until the accepting decoder is released.
bool identify_image(std::span<const uint8_t> bytes);
// The context as the last identify_image left it.
const DecodeContext& decode_context();
// The name of the decoder that accepted the data, "" when none holds it.
const char* accepted_decoder_name();
// Runs the accepting decoder's decode step into `pixels` (at least height
// rows `pitch` bytes apart), then its release step; returns the decode
// step's result. False at once when no decoder holds data or the pitch is
// too small for a row.
bool decode_pixels(uint8_t* pixels, size_t pitch, int flags);
// Frees the accepting decoder's state without decoding.
void release_decoder();

}  // namespace images
