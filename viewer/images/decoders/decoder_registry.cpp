#include "images/decoders/decoder_registry.h"

#include <array>
#include <string_view>

namespace images {

namespace {

struct DecoderList {
  std::array<std::unique_ptr<ImageDecoder>, MaxDecoders> decoders;
  int count = 0;
  DecodeContext context;
  ImageDecoder* accepted = nullptr;
};

DecoderList& decoder_list() {
  static DecoderList list;
  return list;
}

}  // namespace

void release_decoder() {
  DecoderList& list = decoder_list();
  if (ImageDecoder* decoder = list.accepted) {
    list.accepted = nullptr;
    decoder->release(list.context);
  }
}

void init_decoders() {
  release_decoder();
  DecoderList& list = decoder_list();
  for (auto& decoder : list.decoders) decoder.reset();
  list.count = 0;
  list.context = DecodeContext{};
}

bool register_decoder(std::unique_ptr<ImageDecoder> decoder) {
  DecoderList& list = decoder_list();
  if (!decoder || list.count >= MaxDecoders) return false;
  list.decoders[static_cast<size_t>(list.count++)] = std::move(decoder);
  return true;
}

bool register_decoder_once(std::unique_ptr<ImageDecoder> decoder) {
  if (!decoder) return false;
  const DecoderList& list = decoder_list();
  const std::string_view name = decoder->name();
  for (int i = 0; i < list.count; ++i)
    if (list.decoders[static_cast<size_t>(i)]->name() == name) return true;
  return register_decoder(std::move(decoder));
}

int decoder_count() { return decoder_list().count; }

const char* decoder_name(int position) {
  const DecoderList& list = decoder_list();
  if (position < 0 || position >= list.count) return "";
  return list.decoders[static_cast<size_t>(position)]->name();
}

bool identify_image(std::span<const uint8_t> bytes) {
  // A decoder still holding an earlier image would otherwise leak its state.
  release_decoder();
  DecoderList& list = decoder_list();
  for (int i = 0; i < list.count; ++i) {
    ImageDecoder& decoder = *list.decoders[static_cast<size_t>(i)];
    list.context = DecodeContext{};
    if (bytes.data()) list.context.bytes = bytes;
    if (!decoder.accept(list.context)) continue;
    const DecodeContext& c = list.context;
    // Each decoder checks its header; this keeps a careless one from handing
    // the image layer sizes it cannot allocate.
    if (!image_size_allowed(c.width, c.height) || (c.output_depth != 24 && c.output_depth != 32)) {
      decoder.release(list.context);
      continue;
    }
    list.accepted = &decoder;
    return true;
  }
  list.context = DecodeContext{};
  return false;
}

const DecodeContext& decode_context() { return decoder_list().context; }

const char* accepted_decoder_name() {
  const ImageDecoder* decoder = decoder_list().accepted;
  return decoder ? decoder->name() : "";
}

bool decode_pixels(uint8_t* pixels, size_t pitch, int flags) {
  DecoderList& list = decoder_list();
  ImageDecoder* decoder = list.accepted;
  if (!decoder) return false;
  const DecodeContext& c = list.context;
  size_t row_bytes = static_cast<size_t>(c.width) * static_cast<size_t>(c.output_depth / 8);
  bool done = false;
  if (pixels && pitch >= row_bytes) done = decoder->decode(list.context, pixels, pitch, flags);
  release_decoder();
  return done;
}

}  // namespace images
