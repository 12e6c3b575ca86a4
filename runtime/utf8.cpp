#include "utf8.h"

#include <cstdint>

namespace {

// Walks the lenient decoding of one line and hands every unit to `emit`.
// The bytes are followed by an implicit terminating zero byte, which counts
// as a byte that may follow a lead byte and may be consumed by it.
template <typename Emit>
void walk_utf8(std::string_view bytes, Emit&& emit) {
  const size_t n = bytes.size();
  auto at = [&](size_t i) -> uint8_t { return i < n ? static_cast<uint8_t>(bytes[i]) : 0; };
  size_t i = 0;
  while (i < n) {
    const uint8_t lead = at(i);
    uint32_t value;
    size_t continuation;
    if (lead < 0x80) {
      value = lead, continuation = 0;
    } else if (lead < 0xC0) {
      return;
    } else if (lead < 0xE0) {
      value = lead & 0x1F, continuation = 1;
    } else if (lead < 0xF0) {
      value = lead & 0x0F, continuation = 2;
    } else if (lead < 0xF8) {
      value = lead & 0x07, continuation = 3;
    } else {
      return;
    }
    // Bytes after the lead, the terminating zero byte included.
    if (n - i < continuation) return;
    size_t next = i + 1;
    for (size_t k = 0; k < continuation; ++k) {
      const uint8_t c = at(next++);
      if ((c & 0xC0) != 0x80) break;  // consumed, and ends the character early
      value = value * 64 + (c & 0x3F);
    }
    if (value > 0x10FFFF) return;
    if (value >= 0x10000) {
      value -= 0x10000;
      emit(static_cast<char16_t>(0xD800 | (value >> 10)));
      emit(static_cast<char16_t>(0xDC00 | (value & 0x3FF)));
    } else {
      // A unit 0 ends a 16-bit string wherever it stands.
      if (value == 0) return;
      emit(static_cast<char16_t>(value));
    }
    i = next;  // past the terminating zero when the character consumed it
  }
}

}  // namespace

void decode_utf8_append(std::string_view bytes, std::u16string& out) {
  // Never more units than bytes: size the result once, fill it, then trim.
  size_t length = out.size();
  out.resize(length + bytes.size());
  char16_t* units = out.data();
  walk_utf8(bytes, [&](char16_t u) { units[length++] = u; });
  out.resize(length);
}

void decode_utf8(std::string_view bytes, std::u16string& out) {
  out.clear();
  decode_utf8_append(bytes, out);
}

std::u16string decode_utf8(std::string_view bytes) {
  std::u16string out;
  decode_utf8(bytes, out);
  return out;
}

size_t decode_utf8_length(std::string_view bytes) {
  size_t count = 0;
  walk_utf8(bytes, [&](char16_t) { ++count; });
  return count;
}

std::string encode_utf8(std::u16string_view units) {
  std::string out;
  out.reserve(encode_utf8_length(units));
  utf8_detail::walk_encode(units, [&](char b) { out.push_back(b); });
  return out;
}

size_t encode_utf8_length(std::u16string_view units) {
  size_t count = 0;
  utf8_detail::walk_encode(units, [&](char) { ++count; });
  return count;
}
